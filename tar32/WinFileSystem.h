#pragma once
// The Windows file system through the ANSI (code page 932) file API.
#include <cstdint>
#include <functional>

#include "tar32/Core.h"

namespace tar32 {

// The last-write time, as a FILETIME's ticks (UTC), that a member written
// with this time gets: a DOS time is wall time, converted by the time-zone
// rules of its own date. False when it cannot be converted.
bool WrittenFileTime(const FileTime& time, std::uint64_t& utcTicks);

class WinFileSystem : public FileSystem {
  public:
    // Fills size bytes that a temporary name is made of; false when it cannot.
    using RandomSource = std::function<bool(unsigned char* bytes, std::size_t size)>;
    // Without a source of its own, the system's random numbers.
    explicit WinFileSystem(RandomSource random = nullptr);

    char Separator() const override { return '\\'; }
    std::unique_ptr<Source> OpenRead(const std::string& path) override;
    bool MakeFolder(const std::string& path) override;
    std::unique_ptr<OutFile> CreateTemp(const std::string& folder) override;
    bool FreeSpace(const std::string& folder, std::uint64_t& bytes) override;
    bool Utf8ToShiftJis(const std::string& utf8, std::string& sjis) override;

  private:
    RandomSource random_;
};

} // namespace tar32
