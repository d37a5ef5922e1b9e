#include <sstream>

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

    // The probe's record: its command line, its current folder, its show
    // state and its process group. Waits for the started process, which
    // nobody else waits for, and takes the record away for the next start.
    std::vector<std::string> Marker(const std::string& relative) {
        const std::string marker = programFolder + relative + ".marker";
        for (int i = 0; i < 600 && !FileExists(marker); ++i)
            Sleep(50);
        std::istringstream text(ReadFileBytes(marker));
        DeleteFileA(marker.c_str());
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }
};

// The program gets its quoted full path, our folder, the default show and a
// process group of its own; the document opens after an update only, shown
// normally; each start that fails has its message, the program's first.
TEST_F(LaunchTest, StartsTheProgramThenTheDocument) {
    const std::string notStarted = texts::kProgramNotStarted + "\"" + programFolder;
    const std::string gone = notStarted + "gone.exe\"", safe = notStarted + "app.exe /safe\"";
    const std::string history = texts::kDocumentNotOpened + programFolder + "更新履歴.txt";
    const struct {
        const char* name;
        std::string program, document;
        bool afterUpdate, programRuns, documentRuns;
        std::vector<std::string> messages;
    } cases[] = {
        // No document after a check without updates.
        {"check", "my tools\\probe app.exe", "missing.txt", false, true, false, {}},
        // The document is one that the shell opens by running it.
        {"update", "app.exe", "doc\\notes.exe", true, true, true, {}},
        // A missing program does not keep the document from opening.
        {"no program", "gone.exe", "doc\\notes.exe", true, false, true, {gone}},
        // Arguments belong to the path inside the quotes, so this start fails.
        {"both fail", "app.exe /safe", "更新履歴.txt", true, false, false, {safe, history}},
        {"nothing after an update", "", "", true, false, false, {}},
        {"nothing after a check", "", "", false, false, false, {}},
    };
    for (const char* probe : {"my tools\\probe app.exe", "app.exe", "doc\\notes.exe"})
        InstallProbe(probe);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.messages.clear();
        Configure("http://127.0.0.1:1/", c.program, c.document);
        app.StartAutoRun(c.afterUpdate);
        if (c.programRuns) {
            EXPECT_EQ(Marker(c.program),
                      std::vector<std::string>({"\"" + programFolder + c.program + "\"", workFolder,
                                                "show 10", "new process group 1"}));
        }
        if (c.documentRuns) {
            std::vector<std::string> marker = Marker(c.document);
            marker.resize(4); // a missing record fails this row alone
            EXPECT_EQ(marker[2], "show 1");
        }
        ExpectMessages(app, c.messages);
    }
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
        ExpectMessages(app, c.opened ? std::vector<std::string>()
                                     : std::vector<std::string>(
                                           {texts::kDocumentNotOpened + folder + "更新履歴.txt"}));
    }
}

TEST_F(LaunchTest, RunProgramReportsWhetherTheProcessWasCreated) {
    InstallProbe("p.exe");
    EXPECT_TRUE(RunProgram("\"" + programFolder + "p.exe\"", SW_SHOWDEFAULT));
    EXPECT_FALSE(Marker("p.exe").empty());
    EXPECT_FALSE(RunProgram("\"" + programFolder + "none.exe\"", SW_SHOWDEFAULT));
}

} // namespace
