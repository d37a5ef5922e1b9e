#include "tests/support/Scratch.h"

#include "framework/WinApp.h"
#include "text/ShiftJis.h"
#include "win/ScopedHandle.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

ScratchFolder::ScratchFolder() {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char name[64];
    std::snprintf(name, sizeof(name), "tovarind-%lu-%d\\", GetCurrentProcessId(), ++counter);
    path_ = std::string(temp) + name;
    RemoveTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr))
        throw std::runtime_error("cannot create scratch folder " + path_);
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(path_);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    BOOL ok =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    file.reset();
    if (!ok || written != bytes.size())
        throw std::runtime_error("short write to " + path);
}

std::string ReadFileBytes(const std::string& path) {
    const ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    if (!file)
        return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr) && !FolderExists(path))
        throw std::runtime_error("cannot create folder " + path);
}

void RemoveTree(const std::string& path) {
    // The \\?\ form reaches names that plain paths fold, such as "x. ".
    std::string folder = path.compare(0, 4, "\\\\?\\") == 0 ? path : "\\\\?\\" + path;
    // A trailing separator goes; the 0x5C trail byte of a name ending in,
    // say, "表" stays.
    if (sjis::FindLastChar(folder, '\\') == folder.size() - 1)
        folder.pop_back();
    if (!FolderExists(folder)) {
        SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(folder.c_str());
        return;
    }
    for (const std::string& name : FindNames(folder + "\\*"))
        RemoveTree(folder + "\\" + name);
    RemoveDirectoryA(folder.c_str());
}

std::vector<WIN32_FIND_DATAA> FindEntries(const std::string& pattern) {
    std::vector<WIN32_FIND_DATAA> entries;
    WIN32_FIND_DATAA found;
    const ScopedFind search(FindFirstFileA(pattern.c_str(), &found));
    if (!search)
        return entries;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            entries.push_back(found);
    } while (FindNextFileA(search.get(), &found));
    return entries;
}

std::vector<std::string> FindNames(const std::string& pattern) {
    std::vector<std::string> names;
    for (const WIN32_FIND_DATAA& entry : FindEntries(pattern))
        names.push_back(entry.cFileName);
    return names;
}

std::string BinaryFolder() {
    const std::string path = ModuleFileName(nullptr);
    return path.substr(0, sjis::FindLastChar(path, '\\') + 1);
}

void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                       int second, int milliseconds) {
    SYSTEMTIME local = {};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    local.wMilliseconds = static_cast<WORD>(milliseconds);
    SYSTEMTIME utc;
    FILETIME time;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !SystemTimeToFileTime(&utc, &time))
        throw std::runtime_error("bad time for " + path);
    const ScopedFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
        throw std::runtime_error("cannot open " + path);
    if (!SetFileTime(file.get(), nullptr, nullptr, &time))
        throw std::runtime_error("cannot set the time of " + path);
}

std::string LocalWriteTimeText(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME utc, local;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof(text), "%04u/%02u/%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute, local.wSecond);
    return text;
}

LockedFile::LockedFile(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}

LockedFile::~LockedFile() = default;

bool RunToEnd(std::string command, const std::string& folder, DWORD timeoutMs, DWORD* exitCode) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return false;
    const ScopedProcessInformation started(process);
    WaitForSingleObject(started.process.get(), timeoutMs);
    if (exitCode != nullptr)
        GetExitCodeProcess(started.process.get(), exitCode);
    return true;
}
