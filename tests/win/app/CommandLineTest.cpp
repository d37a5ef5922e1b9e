#include <gtest/gtest.h>

#include "tests/support/Scratch.h"
#include "tests/support/SystemTexts.h"
#include "tests/support/TestApp.h"

namespace {

struct CommandLineTest : testing::Test {
    ScratchFolder scratch;
    std::string folder = scratch.Path();
    TestApp app{folder};

    void SetUp() override {
        WriteFileBytes(folder + "Tovarind.ini", "[Archive]\r\nURL=http://default/\r\n");
        WriteFileBytes(folder + "other.ini", "[Archive]\r\nURL=http://other/\r\n");
        WriteFileBytes(folder + "third.ini", "[Archive]\r\nURL=http://third/\r\n");
        MakeFolder(folder + "conf");
    }

    std::string Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "Tovarind.exe");
        app.messages.clear();
        app.PrepareSettings(arguments);
        return app.m_pszProfileName;
    }
};

TEST_F(CommandLineTest, ChoosesTheSettingsFile) {
    EXPECT_EQ(Run({}), folder + "Tovarind.ini");
    EXPECT_EQ(app.Settings().URL, "http://default/");
    EXPECT_EQ(Run({"other.ini"}), folder + "other.ini");
    EXPECT_EQ(app.Settings().URL, "http://other/");
    EXPECT_EQ(Run({"/other.ini"}), folder + "other.ini");
    EXPECT_EQ(Run({"-other.ini"}), folder + "other.ini");
    EXPECT_EQ(Run({"absent.ini"}), folder + "Tovarind.ini");
    EXPECT_EQ(Run({"other.ini", "third.ini"}), folder + "third.ini");
    EXPECT_EQ(Run({"other.ini", "absent.ini", ""}), folder + "other.ini");
    EXPECT_EQ(Run({"*.ini"}), folder + "Tovarind.ini");
    // An absolute path is joined to the program folder.
    EXPECT_EQ(Run({folder + "other.ini"}), folder + "Tovarind.ini");
    // A subfolder is taken, and reads as settings without a URL.
    EXPECT_EQ(Run({"conf"}), folder + "conf");
    EXPECT_EQ(app.MessageTexts(), std::vector<std::string>({texts::kMissingUrl}));
}

} // namespace
