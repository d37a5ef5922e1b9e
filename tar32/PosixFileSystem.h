#pragma once
// The file system of a POSIX machine: the native tests and the benchmark
// driver extract through it. Names are written as the bytes they are
// (Shift-JIS); UTF-8 names are converted with iconv.
#include "tar32/Core.h"

namespace tar32 {

class PosixFileSystem : public FileSystem {
  public:
    char Separator() const override { return '/'; }
    std::unique_ptr<Source> OpenRead(const std::string& path) override;
    bool MakeFolder(const std::string& path) override;
    std::unique_ptr<OutFile> CreateTemp(const std::string& folder) override;
    bool FreeSpace(const std::string& folder, std::uint64_t& bytes) override;
    bool Utf8ToShiftJis(const std::string& utf8, std::string& sjis) override;
};

} // namespace tar32
