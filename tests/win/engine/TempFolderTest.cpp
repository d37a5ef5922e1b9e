#include <algorithm>

#include "tests/win/engine/EngineFixture.h"

namespace {

struct TempFolderTest : EngineTest {
    void SetUp() override { Configure("http://127.0.0.1:1/update.zip"); }
};

// Files one level deep go; folders, empty or not, are not the clean-up's,
// and a file that cannot be deleted stays silently.
TEST_F(TempFolderTest, DeletesFilesOneLevelDeepAndKeepsFolders) {
    WriteFileBytes(archivePath, "PK");
    WriteFileBytes(tempFolder + "app.exe", "a");
    WriteFileBytes(tempFolder + "更新.txt", "b");
    WriteFileBytes(tempFolder + "locked.bin", "x");
    MakeFolder(tempFolder + "sub");
    WriteFileBytes(tempFolder + "sub\\inner.txt", "c");
    MakeFolder(tempFolder + "empty");
    WriteFileBytes(programFolder + "app.exe", "installed");
    {
        LockedFile lock(tempFolder + "locked.bin");
        ASSERT_TRUE(lock.IsOpen());
        app.ClearTempFolder();
    }
    std::vector<std::string> left = FindNames(tempFolder + "*.*");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, std::vector<std::string>({"empty", "locked.bin", "sub"}));
    EXPECT_TRUE(FileExists(tempFolder + "sub\\inner.txt"));
    EXPECT_EQ(ReadFileBytes(programFolder + "app.exe"), "installed");
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(TempFolderTest, NamesEndingInDotsOrABlankAreDeletedToo) {
    // Only a name in the "\\?\" form keeps its trailing dots and blanks.
    const std::string exact = "\\\\?\\" + tempFolder;
    const std::vector<std::string> names = {"...", "blank "};
    for (const std::string& name : names)
        if (!ScopedFile(CreateFileA((exact + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)))
            GTEST_SKIP() << "this file system cannot hold a file named \"" << name << "\"";
    const std::vector<std::string> found = FindNames(tempFolder + "*.*");
    for (const std::string& name : names)
        EXPECT_NE(std::find(found.begin(), found.end(), name), found.end()) << name;
    app.ClearTempFolder();
    for (const std::string& name : names)
        EXPECT_EQ(GetFileAttributesA((exact + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_TRUE(FolderExists(tempFolder));
}

TEST_F(TempFolderTest, MissingFolderIsNoError) {
    RemoveTree(tempFolder);
    app.ClearTempFolder();
    EXPECT_FALSE(FolderExists(tempFolder));
    EXPECT_TRUE(app.messages.empty());
}

} // namespace
