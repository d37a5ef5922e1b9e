#pragma once
// The portable heart of tar32: command line, archive readers and name rules.
// Everything that touches the operating system goes through FileSystem, so the
// same code runs in the Windows DLL, in the native tests, the benchmark driver
// and the fuzz target.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tar32/Tar32.h"

namespace tar32 {

// A failure that ends the whole call with one of the TAR32_ERROR_* codes.
struct Failure {
    int code;
    std::string message;
};
[[noreturn]] void Fail(int code, const std::string& message);

// A member's modification time. Utc: ticks are 100 ns since 1601-01-01 UTC
// (the Windows FILETIME scale). Local: the same scale, but counting local wall
// time (a DOS date and time), which the file system turns into UTC with the
// time-zone rules of that date.
struct FileTime {
    enum Kind { None, Utc, Local } kind = None;
    std::int64_t ticks = 0;
};
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochTicks = 116444736000000000; // 1970-01-01 on the 1601 scale
FileTime FromUnixSeconds(std::int64_t seconds, std::int64_t extraTicks = 0);
// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

// Random-access view of the archive file.
class Source {
  public:
    virtual ~Source() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to size bytes at offset; returns how many were read (fewer only
    // at the end of the file). Throws Failure(TAR32_ERROR_OPEN) on a read error.
    virtual std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) = 0;
    // True when path leads to this very file, under whatever name or link:
    // writing there would destroy the archive while it is read.
    virtual bool IsSameFile(const std::string& path) const = 0;
};

// A file being written under a temporary name. Destroying it without Commit
// removes it.
class OutFile {
  public:
    virtual ~OutFile() = default;
    virtual bool Write(const void* data, std::size_t size) = 0;
    // Sets the time, closes and renames the file over finalPath.
    virtual bool Commit(const std::string& finalPath, const FileTime& time) = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual char Separator() const = 0;
    virtual std::unique_ptr<Source> OpenRead(const std::string& path) = 0;
    // Creates the folder unless it exists already as a folder.
    virtual bool MakeFolder(const std::string& path) = 0;
    // A new empty file with a unique temporary name in folder (which ends in
    // the separator), or null. The name is unpredictable: an archive must not
    // be able to occupy the names in advance.
    virtual std::unique_ptr<OutFile> CreateTemp(const std::string& folder) = 0;
    // The bytes this caller may still write on the volume holding folder;
    // false when that cannot be told (then nothing is refused for it).
    virtual bool FreeSpace(const std::string& folder, std::uint64_t& bytes) = 0;
    // UTF-8 to Shift-JIS (code page 932). False when the text is not valid
    // UTF-8 or holds a character that code page 932 cannot represent.
    virtual bool Utf8ToShiftJis(const std::string& utf8, std::string& sjis) = 0;
};

// What must stay free on the output volume after the declared sizes are
// written, and what each file costs beyond its bytes (the rounding up to a
// whole cluster, its directory entry).
constexpr std::uint64_t kFreeSpaceMargin = 16 * 1024 * 1024;
constexpr std::uint64_t kSpacePerMember = 4096;

// The whole call: parse, open, recognise, extract or list. Never throws.
int Run(const char* commandLine, char* output, std::size_t outputSize, FileSystem& fs);

} // namespace tar32
