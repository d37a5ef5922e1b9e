#pragma once
// Helpers for the native tar32 tests: the archives made once per run by the
// real tools, scratch folders, and the core called as the DLL would be.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tar32/Tar32.h"

namespace tar32test {

// The folder holding the archives mkarchive.py makes (made at first use).
const std::string& Fixtures();
std::string Fixture(const std::string& name);
// Runs mkarchive.py with the given mode and arguments (shell-quoted here).
void MakeArchive(const std::string& mode, const std::string& out,
                 const std::vector<std::string>& names);
void Gzip(const std::string& from, const std::string& to);

class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::string& Path() const { return path_; } // no trailing slash
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

constexpr std::uint64_t kRealFreeSpace = ~std::uint64_t(0);
// The core through the POSIX file system, the listing returned in *output;
// any other freeSpace is what the output volume claims to have.
int RunTar(const std::string& commandLine, std::string* output = nullptr,
           std::uint64_t freeSpace = kRealFreeSpace);
// The program's own command line for an archive and an output folder.
std::string ProgramCommandLine(const std::string& archive, const std::string& outputFolder);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
void Remove(const std::string& path);               // with everything below it
std::int64_t ModifiedTime(const std::string& path); // Unix seconds
// Every file below root, by its path relative to root ("a/b.txt") -> content.
using Files = std::map<std::string, std::string>;
Files Tree(const std::string& root);
// The same files' modification times.
using Times = std::map<std::string, std::int64_t>;
Times ModifiedTimes(const std::string& root);

} // namespace tar32test
