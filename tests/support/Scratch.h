#pragma once
// Scratch folders and file helpers for tests that run against the real
// Windows file system under Wine.
#include <windows.h>

#include <string>
#include <vector>

#include "win/ScopedHandle.h"

// A fresh folder below %TEMP%, removed with everything in it on destruction.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Ends with a backslash.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + relative; }

  private:
    std::string path_;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);   // a file, not a folder
bool FolderExists(const std::string& path); // a folder
void MakeFolder(const std::string& path);
void RemoveTree(const std::string& path);

// What FindFirstFile finds for pattern ("folder\\*", "folder\\t32*.tmp"),
// without "." and ".."; none when nothing matches.
std::vector<WIN32_FIND_DATAA> FindEntries(const std::string& pattern);
std::vector<std::string> FindNames(const std::string& pattern);

// The folder of the running test binary, ending with a backslash: helper
// programs, fixtures and the archive library are built beside it.
std::string BinaryFolder();

// Runs a command line in folder until it ends or timeoutMs pass; false when
// it cannot be started. exitCode gets its exit code (STILL_ACTIVE while it
// runs on).
bool RunToEnd(std::string command, const std::string& folder, DWORD timeoutMs,
              DWORD* exitCode = nullptr);

// Last-write time given and read as local time (time-zone rules of the date).
void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                       int second, int milliseconds = 0);
std::string LocalWriteTimeText(const std::string& path); // "YYYY/MM/DD hh:mm:ss" or ""

// Keeps a file open with no sharing for as long as the object lives.
class LockedFile {
  public:
    explicit LockedFile(const std::string& path);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    bool IsOpen() const { return static_cast<bool>(handle_); }

  private:
    ScopedFile handle_;
};
