#include <windows.h>

#include "engine/TarCommand.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

std::string CommandLineFor(const std::string& programFolder) {
    return TarCommandLine(programFolder + "UpdateArchive\\Archive.zip",
                          programFolder + "UpdateArchive");
}

struct ExtractTest : EngineTest {
    std::string log = scratch / "tar.log";
    void SetUp() override {
        SetEnvironmentVariableA("TOVARIND_FAKE_TAR_LOG", log.c_str());
        Configure("http://127.0.0.1:1/update.zip");
    }
    void TearDown() override { SetEnvironmentVariableA("TOVARIND_FAKE_TAR_LOG", nullptr); }
};

TEST_F(ExtractTest, FailingLibraryShowsTheWholeCommandLine) {
    PreloadedFakeTar fake("fails");
    ASSERT_TRUE(fake.Loaded());
    EXPECT_FALSE(app.ExtractArchive());
    ASSERT_EQ(app.messages.size(), 1u);
    EXPECT_EQ(app.messages[0].text, texts::kUnpackFailed + CommandLineFor(programFolder));
    EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
    // What the library was given: no owner window, 1024 bytes of room.
    EXPECT_EQ(ReadFileBytes(log), "hwnd=00000000 size=1024\n" + CommandLineFor(programFolder));
}

TEST_F(ExtractTest, LibraryWithoutTheEntryPointIsAnUnpackingError) {
    PreloadedFakeTar fake("no_entry");
    ASSERT_TRUE(fake.Loaded());
    EXPECT_FALSE(app.ExtractArchive());
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>({texts::kUnpackFailed + CommandLineFor(programFolder)}));
    EXPECT_FALSE(FileExists(log));
}

// The copy below runs where no tar32.dll can be found.
TEST_F(ExtractTest, MissingLibraryIsAnUnpackingError) {
    EXPECT_TRUE(PassesInACopy(scratch / "isolated\\", "ExtractTest.DISABLED_WithoutAnyLibrary"));
}

TEST_F(ExtractTest, DISABLED_WithoutAnyLibrary) {
    ASSERT_EQ(GetModuleHandleA("tar32.dll"), nullptr);
    ASSERT_FALSE(FileExists(BinaryFolder() + "tar32.dll"));
    EXPECT_FALSE(app.ExtractArchive());
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>({texts::kUnpackFailed + CommandLineFor(programFolder)}));
    WriteFileBytes(BinaryFolder() + "ran", "");
}

using ExtractCommandLine = ExtractTest;

TEST_F(ExtractCommandLine, PlaceholderTextInTheProgramFolderStaysAsItIs) {
    const std::string folder = scratch / "A%2b%1c%0\\";
    MakeFolder(folder);
    TestApp app(folder);
    app.WriteSettings("[Archive]\r\nURL=http://127.0.0.1:1/\r\n");
    ASSERT_TRUE(app.LoadSettings());
    {
        PreloadedFakeTar fake("fails");
        ASSERT_TRUE(fake.Loaded());
        EXPECT_FALSE(app.ExtractArchive());
    }
    EXPECT_EQ(ReadFileBytes(log), "hwnd=00000000 size=1024\n" + CommandLineFor(folder));
    ASSERT_EQ(app.messages.size(), 1u);
    EXPECT_EQ(app.messages[0].text, texts::kUnpackFailed + CommandLineFor(folder));
}

} // namespace
