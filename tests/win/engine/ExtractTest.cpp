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

    // Unpacking fails with the one message that shows the whole command
    // line; a library that was called was given it with no owner window
    // and 1024 bytes of room.
    void ExpectUnpackingError(TestApp& app, const std::string& folder, bool called) {
        EXPECT_FALSE(app.ExtractArchive());
        ExpectMessages(app, {texts::kUnpackFailed + CommandLineFor(folder)});
        if (called) {
            EXPECT_EQ(ReadFileBytes(log), "hwnd=00000000 size=1024\n" + CommandLineFor(folder));
        } else {
            EXPECT_FALSE(FileExists(log));
        }
    }
};

TEST_F(ExtractTest, AFailingLibraryOrOneWithoutTheEntryPointIsAnUnpackingError) {
    const struct {
        const char* kind;
        std::string folder;
        bool called;
    } cases[] = {
        {"fails", programFolder, true},
        {"no_entry", programFolder, false},
        // Placeholder text in the program folder stays as it is.
        {"fails", scratch / "A%2b%1c%0\\", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind + (" in " + c.folder));
        DeleteFileA(log.c_str());
        MakeFolder(c.folder);
        TestApp app(c.folder);
        app.WriteSettings("[Archive]\r\nURL=http://127.0.0.1:1/\r\n");
        ASSERT_TRUE(app.LoadSettings());
        PreloadedFakeTar fake(c.kind);
        ASSERT_TRUE(fake.Loaded());
        ExpectUnpackingError(app, c.folder, c.called);
    }
}

// The copy below runs where no tar32.dll can be found.
TEST_F(ExtractTest, MissingLibraryIsAnUnpackingError) {
    EXPECT_TRUE(PassesInACopy(scratch / "isolated\\", "ExtractTest.DISABLED_WithoutAnyLibrary"));
}

TEST_F(ExtractTest, DISABLED_WithoutAnyLibrary) {
    ASSERT_EQ(GetModuleHandleA("tar32.dll"), nullptr);
    ASSERT_FALSE(FileExists(BinaryFolder() + "tar32.dll"));
    ExpectUnpackingError(app, programFolder, false);
    WriteFileBytes(BinaryFolder() + "ran", "");
}

} // namespace
