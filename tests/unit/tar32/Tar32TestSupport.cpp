#include "Tar32TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "tar32/Core.h"
#include "tar32/PosixFileSystem.h"

namespace fs = std::filesystem;

namespace tar32test {
namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

std::string MakeTempFolder() {
    std::string path = "/tmp/tar32-test-XXXXXX";
    if (mkdtemp(&path[0]) == nullptr)
        throw std::runtime_error("mkdtemp");
    return path;
}

struct FixtureFolder {
    FixtureFolder() {
        // DOS times are local: the tests read them in Japan's zone, the
        // archives were made in another.
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        MakeArchive("all", path, {});
    }
    ~FixtureFolder() { Remove(path); }
    std::string path = MakeTempFolder();
};

class FreeSpaceFileSystem : public tar32::PosixFileSystem {
  public:
    explicit FreeSpaceFileSystem(std::uint64_t freeSpace) : freeSpace_(freeSpace) {}
    bool FreeSpace(const std::string& folder, std::uint64_t& bytes) override {
        if (freeSpace_ == kRealFreeSpace)
            return PosixFileSystem::FreeSpace(folder, bytes);
        bytes = freeSpace_;
        return true;
    }

  private:
    std::uint64_t freeSpace_;
};

} // namespace

const std::string& Fixtures() {
    static FixtureFolder folder;
    return folder.path;
}

std::string Fixture(const std::string& name) {
    return Fixtures() + "/" + name;
}

void MakeArchive(const std::string& mode, const std::string& out,
                 const std::vector<std::string>& names) {
    std::string command = "python3 " + Quote(TAR32_MKARCHIVE) + " " + mode + " " + Quote(out);
    for (const std::string& name : names)
        command += " " + Quote(name);
    Shell(command);
}

void Gzip(const std::string& from, const std::string& to) {
    Shell("gzip -c " + Quote(from) + " > " + Quote(to));
}

Scratch::Scratch() : path_(MakeTempFolder()) {}
Scratch::~Scratch() {
    Remove(path_);
}

int RunTar(const std::string& commandLine, std::string* output, std::uint64_t freeSpace) {
    Fixtures(); // the time zone
    FreeSpaceFileSystem fs(freeSpace);
    char buffer[4096];
    const int code = tar32::Run(commandLine.c_str(), buffer, sizeof buffer, fs);
    if (output)
        *output = buffer;
    return code;
}

std::string ProgramCommandLine(const std::string& archive, const std::string& outputFolder) {
    return "--use-directory=0 --display-dialog=0 xvf \"" + archive + "\" -o \"" + outputFolder +
           "\"";
}

std::string ReadFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool Exists(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

void Remove(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::int64_t ModifiedTime(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

Files Tree(const std::string& root) {
    Files out;
    const std::size_t prefix = root.size() + (root.back() == '/' ? 0 : 1);
    std::error_code ignored; // no folder: no files
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, ignored)) {
        const fs::file_status status = entry.symlink_status();
        if (!fs::is_directory(status))
            out[entry.path().string().substr(prefix)] =
                fs::is_regular_file(status) ? ReadFile(entry.path()) : "<not a file>";
    }
    return out;
}

Times ModifiedTimes(const std::string& root) {
    Times out;
    for (const auto& [name, bytes] : Tree(root))
        out[name] = ModifiedTime(root + "/" + name);
    return out;
}

} // namespace tar32test
