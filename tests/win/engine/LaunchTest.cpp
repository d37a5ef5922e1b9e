#include "engine/Launch.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

struct LaunchTest : EngineTest {
    std::string workFolder = scratch / "work";
    char previousFolder[MAX_PATH + 1] = {};

    void SetUp() override {
        MakeFolder(workFolder);
        GetCurrentDirectoryA(MAX_PATH, previousFolder);
        SetCurrentDirectoryA(workFolder.c_str());
    }
    void TearDown() override { SetCurrentDirectoryA(previousFolder); }

    // Puts a copy of the probe below the program folder.
    void InstallProbe(const std::string& relative) {
        const std::size_t slash = relative.rfind('\\');
        if (slash != std::string::npos)
            MakeFolder(programFolder + relative.substr(0, slash));
        ASSERT_TRUE(CopyFileA((BinaryFolder() + "launch_probe.exe").c_str(),
                              (programFolder + relative).c_str(), FALSE));
    }

    // The probe's record: its command line and its current folder. Waits
    // for the started process, which nobody else waits for.
    std::vector<std::string> Marker(const std::string& relative) {
        const std::string marker = programFolder + relative + ".marker";
        for (int i = 0; i < 600 && !FileExists(marker); ++i)
            Sleep(50);
        std::vector<std::string> lines;
        const std::string text = ReadFileBytes(marker);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            lines.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }
};

TEST_F(LaunchTest, ProgramGetsItsQuotedFullPathOurFolderTheDefaultShowAndAGroupOfItsOwn) {
    InstallProbe("my tools\\probe app.exe");
    Configure("http://127.0.0.1:1/", "my tools\\probe app.exe", "missing.txt");
    app.StartAutoRun(false); // no document after a check without updates
    EXPECT_EQ(Marker("my tools\\probe app.exe"),
              std::vector<std::string>({"\"" + programFolder + "my tools\\probe app.exe\"",
                                        workFolder, "show 10", "new process group 1"}));
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(LaunchTest, AfterAnUpdateTheDocumentOpensToo) {
    InstallProbe("app.exe");
    InstallProbe("doc\\notes.exe"); // a document that the shell opens by running it
    Configure("http://127.0.0.1:1/", "app.exe", "doc\\notes.exe");
    app.StartAutoRun(true);
    EXPECT_EQ(Marker("app.exe").at(0), "\"" + programFolder + "app.exe\"");
    EXPECT_EQ(Marker("doc\\notes.exe").at(2), "show 1");
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(LaunchTest, AMissingProgramDoesNotKeepTheDocumentFromOpening) {
    InstallProbe("doc\\notes.exe");
    Configure("http://127.0.0.1:1/", "gone.exe", "doc\\notes.exe");
    app.StartAutoRun(true);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({texts::kProgramNotStarted + "\"" +
                                                        programFolder + "gone.exe\""}));
    EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_FALSE(Marker("doc\\notes.exe").empty());
}

TEST_F(LaunchTest, ProgramFirstThenDocumentEachWithItsMessage) {
    InstallProbe("app.exe");
    // Arguments belong to the path inside the quotes, so this start fails.
    Configure("http://127.0.0.1:1/", "app.exe /safe", "更新履歴.txt");
    app.StartAutoRun(true);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>(
                  {texts::kProgramNotStarted + "\"" + programFolder + "app.exe /safe\"",
                   texts::kDocumentNotOpened + programFolder + "更新履歴.txt"}));
    EXPECT_EQ(app.messages[1].style, UINT(MB_OK | MB_ICONEXCLAMATION));
}

// The shell's answer decides: above 32 it opened the document; 32 and below
// are its error codes (32 itself: a library it needed was not found).
TEST(LaunchDocument, ShellAnswersUpTo32AreFailures) {
    struct ShellStandIn : TestApp {
        using TestApp::TestApp;
        INT_PTR ShellOpen(const std::string& path) const override {
            opened.push_back(path);
            return answer;
        }
        INT_PTR answer = 0;
        mutable std::vector<std::string> opened;
    };
    ScratchFolder scratch;
    const std::string folder = scratch.Path();
    ShellStandIn app(folder);
    app.WriteSettings(
        "[Archive]\r\nURL=http://127.0.0.1:1/\r\n[AutoRun]\r\nUpdateDoc=更新履歴.txt\r\n");
    ASSERT_TRUE(app.LoadSettings());
    const struct {
        INT_PTR answer;
        bool opened;
    } cases[] = {
        {0, false}, {SE_ERR_FNF, false}, {SE_ERR_NOASSOC, false}, {SE_ERR_DLLNOTFOUND, false},
        {33, true}, {42, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        app.answer = c.answer;
        app.messages.clear();
        app.opened.clear();
        app.StartAutoRun(true);
        EXPECT_EQ(app.opened, std::vector<std::string>({folder + "更新履歴.txt"}));
        if (c.opened) {
            EXPECT_TRUE(app.messages.empty());
        } else {
            ASSERT_EQ(app.messages.size(), 1u);
            EXPECT_EQ(app.messages[0].text, texts::kDocumentNotOpened + folder + "更新履歴.txt");
            EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
        }
    }
}

TEST_F(LaunchTest, NothingToStartShowsNothing) {
    Configure("http://127.0.0.1:1/");
    app.StartAutoRun(true);
    app.StartAutoRun(false);
    EXPECT_TRUE(app.messages.empty());
}

TEST_F(LaunchTest, RunProgramReportsWhetherTheProcessWasCreated) {
    InstallProbe("p.exe");
    EXPECT_TRUE(RunProgram("\"" + programFolder + "p.exe\"", SW_SHOWDEFAULT));
    EXPECT_FALSE(Marker("p.exe").empty());
    EXPECT_FALSE(RunProgram("\"" + programFolder + "none.exe\"", SW_SHOWDEFAULT));
}

} // namespace
