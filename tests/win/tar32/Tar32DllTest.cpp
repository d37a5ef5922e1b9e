#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "engine/TarCommand.h"
#include "Tar32Fixtures.h"
#include "tar32/Tar32.h"
#include "tests/support/Scratch.h"

namespace {

// The library as the program meets it: loaded by name from the exe's folder.
class Library {
  public:
    Library() : module_(LoadLibraryA("tar32.dll")) {
        if (module_) {
            tar_ = reinterpret_cast<TarProc>(
                reinterpret_cast<void (*)()>(GetProcAddress(module_.get(), "Tar")));
        }
    }
    bool Loaded() const { return tar_ != nullptr; }
    TarProc Tar() const { return tar_; } // called bare
    int Call(const std::string& commandLine, std::string* output = nullptr) {
        char buffer[1024 + 1];
        std::memset(buffer, 'Z', sizeof buffer);
        const int code = tar_(nullptr, commandLine.c_str(), buffer, 1024);
        EXPECT_EQ(buffer[1024], 'Z'); // never beyond the size it was told
        EXPECT_NE(std::memchr(buffer, '\0', 1024), nullptr);
        if (output) {
            *output = buffer;
        }
        return code;
    }

  private:
    ScopedModule module_;
    TarProc tar_ = nullptr;
};

// Empties and removes a folder through plain paths (one level deep).
void RemoveFlatFolder(const std::string& folder) {
    for (const WIN32_FIND_DATAA& found : FindEntries(folder + "\\*")) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            EXPECT_TRUE(DeleteFileA((folder + "\\" + found.cFileName).c_str()))
                << found.cFileName << " still open?";
        }
    }
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << folder;
}

// Which of the fixtures' expected local times applies: Japan's (the default
// of our Wine runs) or Berlin's (a zone with summer time).
int ZoneIndex() {
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    return zone.Bias == -540 ? 0 : 1;
}

// The folder as the program names it: no trailing backslash.
std::string Folder(const ScratchFolder& folder) {
    return folder.Path().substr(0, folder.Path().size() - 1);
}

std::string Bytes(const unsigned char* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Every test calls the library; none goes on without it.
struct Tar32Dll : testing::Test {
    void SetUp() override { ASSERT_TRUE(dll.Loaded()); }
    // Writes the archive to path and unpacks it into folder as the program does.
    int Unpack(const std::string& bytes, const std::string& path, const std::string& folder,
               std::string* listing = nullptr) {
        WriteFileBytes(path, bytes);
        return dll.Call(TarCommandLine(path, folder), listing);
    }
    Library dll;
    // The Info-ZIP archive, folders and all.
    const std::string infoZip = Bytes(fixtures::kArchives[0].data, fixtures::kArchives[0].size);
};

TEST_F(Tar32Dll, ExportsTarUndecorated) {
    HMODULE module = GetModuleHandleA("tar32.dll");
    EXPECT_EQ(GetProcAddress(module, "Tar@16"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_Tar@16"), nullptr);
}

TEST_F(Tar32Dll, ExtractsEveryArchiveByteAndTimeExact) {
    for (const fixtures::Archive& archive : fixtures::kArchives) {
        SCOPED_TRACE(archive.label);
        ScratchFolder program;
        // A temporary folder ending in "表", whose trail byte is a backslash,
        // right before the closing quote.
        const std::string temp = program / "更新表";
        MakeFolder(temp);
        std::string listing;
        ASSERT_EQ(Unpack(Bytes(archive.data, archive.size), temp + "\\Archive.zip", temp, &listing),
                  TAR32_OK)
            << listing;
        // Nothing but the archive and its members, with their bytes and
        // times: no folders, no leftovers.
        std::map<std::string, std::pair<std::string, std::string>> expected, found;
        for (std::size_t i = 0; i < archive.count; ++i) {
            const fixtures::Member& m = archive.members[i];
            expected[m.name] = {Bytes(m.data, m.size), m.localTime[ZoneIndex()]};
        }
        const std::vector<WIN32_FIND_DATAA> entries = FindEntries(temp + "\\*");
        for (const WIN32_FIND_DATAA& entry : entries) {
            EXPECT_FALSE(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << entry.cFileName;
            const std::string path = temp + "\\" + entry.cFileName;
            if (std::string(entry.cFileName) != "Archive.zip") {
                found[entry.cFileName] = {ReadFileBytes(path), LocalWriteTimeText(path)};
            }
        }
        EXPECT_EQ(found, expected);
        EXPECT_EQ(entries.size(), archive.count + 1);
        // Also shows that the library left no file open.
        RemoveFlatFolder(temp);
    }
}

TEST_F(Tar32Dll, KeepsFoldersWhenAsked) {
    ScratchFolder out;
    WriteFileBytes(out / "a.zip", infoZip);
    ASSERT_EQ(dll.Call("--use-directory=1 xf \"" + out / "a.zip" + "\" -o \"" + out / "x\""),
              TAR32_OK);
    EXPECT_TRUE(FileExists(out / "x\\data\\docs\\表示.txt"));
    EXPECT_TRUE(FileExists(out / "x\\Program.exe"));
}

TEST_F(Tar32Dll, CorruptMemberIsNotLeftBehind) {
    ScratchFolder out;
    std::string bytes = infoZip;
    // Damage the compressed data of the first member that has some.
    auto le = [&](std::size_t at, int n) {
        unsigned value = 0;
        for (int i = n - 1; i >= 0; --i) {
            value = value * 256 + static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    };
    std::size_t at = 0;
    while (le(at + 18, 4) < 16) {
        at += 30 + le(at + 26, 2) + le(at + 28, 2) + le(at + 18, 4);
    }
    std::string name = bytes.substr(at + 30, le(at + 26, 2));
    name = name.substr(name.rfind('/') + 1);
    bytes[at + 30 + le(at + 26, 2) + le(at + 28, 2) + 8] ^= 0x55;
    std::string listing;
    EXPECT_NE(Unpack(bytes, out / "Archive.zip", out / "t", &listing), TAR32_OK);
    EXPECT_NE(listing.find("error"), std::string::npos) << listing;
    EXPECT_FALSE(FileExists(out / "t\\" + name)) << name;
    const std::vector<std::string> left = FindNames(out / "t\\*.tmp");
    EXPECT_TRUE(left.empty()) << "temporary file left: " << left.front();
}

// Archives that lie, each stored where the program stores it: Archive.zip in
// the folder it is unpacked into.
TEST_F(Tar32Dll, EdgeCasesEndAsOnEveryBuild) {
    for (const fixtures::EdgeCase& edge : fixtures::kEdgeCases) {
        SCOPED_TRACE(edge.label);
        ScratchFolder out;
        const std::string bytes = Bytes(edge.data, edge.size);
        std::string listing;
        EXPECT_EQ(Unpack(bytes, out / "Archive.zip", Folder(out), &listing), edge.code) << listing;
        EXPECT_EQ(FileExists(out / edge.name), edge.written) << listing;
        EXPECT_TRUE(ReadFileBytes(out / "Archive.zip") == bytes);
    }
}

// With every name GetTempFileName would try already taken, as an archive of
// t32XXXX.tmp members leaves them, members are still written. The folder is
// made natively (the win_tar32_tests_taken_names entry).
TEST_F(Tar32Dll, TemporaryNamesCannotBeTakenInAdvance) {
    const char* taken = std::getenv("TAR32_TAKEN_NAMES");
    if (taken == nullptr) {
        GTEST_SKIP() << "needs TAR32_TAKEN_NAMES";
    }
    const std::string folder = taken;
    ASSERT_TRUE(FileExists(folder + "\\t32ffff.tmp"));
    std::string listing;
    EXPECT_EQ(Unpack(infoZip, folder + "\\Archive.zip", folder, &listing), TAR32_OK) << listing;
    EXPECT_TRUE(FileExists(folder + "\\Program.exe"));
    // None of them was taken over (Wine's GetTempFileName hands out a taken
    // name when all are).
    std::size_t count = 0;
    for (const WIN32_FIND_DATAA& found : FindEntries(folder + "\\t32*.tmp")) {
        count += found.nFileSizeLow == 0 && found.nFileSizeHigh == 0;
    }
    EXPECT_EQ(count, 0x10000u);
}

TEST_F(Tar32Dll, FailuresHaveTheirCodes) {
    ScratchFolder out;
    EXPECT_EQ(dll.Call(TarCommandLine(out / "missing.zip", out / "t")), TAR32_ERROR_OPEN);
    EXPECT_EQ(Unpack("<html>502 Bad Gateway</html>", out / "page.zip", out / "t"),
              TAR32_ERROR_FORMAT);
    EXPECT_EQ(dll.Call("--frobnicate=1 " + TarCommandLine(out / "page.zip", out / "t")),
              TAR32_ERROR_COMMAND_LINE);
    // A null buffer and a zero size are allowed.
    EXPECT_EQ(dll.Tar()(nullptr, "xf", nullptr, 0), TAR32_ERROR_COMMAND_LINE);
    EXPECT_EQ(dll.Tar()(nullptr, nullptr, nullptr, 1024), TAR32_ERROR_COMMAND_LINE);
}

} // namespace
