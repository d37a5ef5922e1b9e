#include "engine/SelfUpdate.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/UpdaterApp.h"
#include "engine/FileIdentity.h"
#include "engine/Diagnostics.h"
#include "text/ShiftJis.h"
#include "win/ScopedHandle.h"

namespace {

constexpr char kSetAsideMark[] = ".old-";
constexpr std::size_t kSetAsideDigits = 8;
constexpr int kSetAsideAttempts = 64;

// The running program's file, identified once before anything is renamed:
// afterwards its name leads to the new copy.
struct RunningProgram {
    bool known = false;
    std::string path; // as the loader gives it; set-aside names build on it
    FileObjectId identity;
};

const RunningProgram& Running() {
    static const RunningProgram running = [] {
        RunningProgram program;
        program.path = ModuleFileName(nullptr);
        program.known = !program.path.empty() && IdentifyFileObject(program.path, program.identity);
        return program;
    }();
    return running;
}

bool IsRunningProgram(const std::string& path) {
    FileObjectId identity;
    return Running().known && IdentifyFileObject(path, identity) && identity == Running().identity;
}

std::string FullPath(const std::string& path) {
    std::string full;
    return FullPathName(path, full) ? full : path;
}

bool IsListed(const std::string& path, const std::vector<std::string>& listed) {
    const std::string full = FullPath(path);
    for (const std::string& entry : listed)
        if (lstrcmpiA(full.c_str(), FullPath(entry).c_str()) == 0)
            return true;
    return false;
}

// Renames the running program's file, reached as destination, to a free
// set-aside name beside it; that name, or "" when none could be taken. The
// name builds on the program's own path, whatever spelling or link the
// settings reach it by, so that the start-up clean-up finds it.
std::string SetAside(const std::string& destination, const std::vector<std::string>& listed) {
    DWORD number = (GetTickCount() * 2654435761u) ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < kSetAsideAttempts; ++attempt, number = number * 69069u + 1) {
        char suffix[sizeof(kSetAsideMark) + kSetAsideDigits];
        std::snprintf(suffix, sizeof(suffix), "%s%08lx", kSetAsideMark,
                      static_cast<unsigned long>(number));
        const std::string aside = Running().path + suffix;
        if (IsListed(aside, listed))
            continue;
        // Without MOVEFILE_REPLACE_EXISTING a taken name fails: try another.
        if (MoveFileExA(destination.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
            return aside;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;
    }
    return std::string();
}

// Whether name (without folder) is one that a set-aside copy of the
// program file programName gets: programName + ".old-" + 8 hex digits.
bool IsSetAsideName(const std::string& name, const std::string& programName) {
    const std::size_t head = programName.size() + std::strlen(kSetAsideMark);
    if (name.size() != head + kSetAsideDigits ||
        lstrcmpiA(name.substr(0, head).c_str(), (programName + kSetAsideMark).c_str()) != 0)
        return false;
    for (std::size_t i = head; i < name.size(); ++i)
        if (std::strchr("0123456789abcdefABCDEF", name[i]) == nullptr)
            return false;
    return true;
}

} // namespace

bool MoveIntoPlace(const std::string& temporary, const std::string& destination,
                   const std::vector<std::string>& listed) {
    if (!IsRunningProgram(destination))
        return MoveFileExA(temporary.c_str(), destination.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    const std::string aside = SetAside(destination, listed);
    if (aside.empty())
        return false;
    // The new copy takes the program's own name, not an alias the settings
    // may reach it by.
    const std::string& program = Running().path;
    if (MoveFileExA(temporary.c_str(), program.c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    // The file goes back where it was: destination may be another link to
    // it, and the program's own name is then still taken. The caller
    // reports why the move failed.
    const DWORD error = GetLastError();
    if (!MoveFileExA(aside.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH))
        LogCause("%s stays set aside as %s: %s", destination.c_str(), aside.c_str(),
                 Win32ErrorText(GetLastError()).c_str());
    SetLastError(error);
    return false;
}

void UpdaterApp::RemoveSetAsideCopies() {
    const std::string program = ModulePath();
    const std::size_t slash = sjis::FindLastChar(program, '\\');
    if (slash == std::string::npos)
        return;
    const std::string folder = program.substr(0, slash + 1);
    const std::string programName = program.substr(slash + 1);

    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    {
        const ScopedFind search(FindFirstFileA((program + kSetAsideMark + "*").c_str(), &found));
        if (!search)
            return;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                IsSetAsideName(found.cFileName, programName))
                names.push_back(found.cFileName);
        } while (FindNextFileA(search.get(), &found));
    }

    if (names.empty())
        return;
    // A listed file is the user's, whatever its name. A copy still running
    // (another instance) stays until a later start.
    const std::vector<std::string> listed = ListedFilePaths();
    for (const std::string& name : names)
        if (!IsListed(folder + name, listed) && !DeleteFileA((folder + name).c_str()))
            LogCause("set-aside copy %s stays: %s", (folder + name).c_str(),
                     Win32ErrorText(GetLastError()).c_str());
}
