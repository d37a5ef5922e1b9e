// The whole program as a user meets it: the real Tovarind.exe and tar32.dll
// in a program folder, an archive on a loopback server, dialogs and message
// boxes worked from outside the process.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "res/Version.h"
#include "res/resource.h"
#include "tests/e2e/Desktop.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/Scratch.h"
#include "tests/support/SystemTexts.h"
#include "ui/ListColours.h"
#include "ui/MainDialog.h"

namespace {

constexpr DWORD kWait = 30000;
const std::string kCaption = texts::MainCaption("サンプル アプリ");
const char kBox[] = "Tovarind";
const std::string kFound = texts::FilesFound(3);

constexpr int kCheck = IDOK;
constexpr int kExit = IDCANCEL;

void CopyTree(const std::string& from, const std::string& to) {
    MakeFolder(to);
    ASSERT_TRUE(FolderExists(from)) << from;
    for (const WIN32_FIND_DATAA& found : FindEntries(from + "*")) {
        const std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + name + "\\", to + name + "\\");
        else
            ASSERT_TRUE(CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE)) << name;
    }
}

// Files of a folder, without sub-folders.
int FileCount(const std::string& folder) {
    int count = 0;
    for (const WIN32_FIND_DATAA& found : FindEntries(folder + "*"))
        count += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    return count;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

struct Flow : testing::Test {
    ScratchFolder scratch;
    std::string app = scratch / "Sample App\\";
    std::string fixture = BinaryFolder() + "e2e-fixture\\";
    std::string artifacts = BinaryFolder() + "..\\e2e-artifacts\\";
    LoopbackServer server;
    std::unique_ptr<RunningProgram> program;
    HWND dialog = nullptr; // the main dialog of the last start

    void SetUp() override {
        MakeFolder(artifacts);
        server.ServeFile("/update.zip", fixture + "update.zip");
    }

    // A program folder of the fixture ("App\\", "AppCurrent\\", "AppSigned\\") whose
    // settings point at url (default: the served archive); its sample
    // application notes its start and ends at once.
    void Install(const std::string& folder = "App\\", const std::string& url = "") {
        CopyTree(fixture + folder, app);
        WriteFileBytes(app + "SampleApp.autoclose", "");
        WriteFileBytes(app + "Tovarind.ini",
                       Replaced(ReadFileBytes(app + "Tovarind.ini"),
                                "http://127.0.0.1:1/update.zip",
                                url.empty() ? server.Url("/update.zip") : url));
    }

    HWND Start(const std::string& arguments = "", const std::string& caption = kCaption) {
        program = std::make_unique<RunningProgram>(app + "Tovarind.exe", arguments, app);
        EXPECT_TRUE(program->Started());
        return dialog = WaitForCaption(program->Id(), caption, false, kWait);
    }

    // A file an earlier run left in the temporary folder.
    void LeaveEarlierFile() {
        MakeFolder(app + "UpdateArchive");
        WriteFileBytes(app + "UpdateArchive\\Archive.zip", "from an earlier run");
    }

    // The next message box, which must say text.
    SeenMessageBox Box(const std::string& text) {
        SeenMessageBox box = WaitForMessageBox(program->Id(), kBox, kWait);
        EXPECT_EQ(box.text, text);
        return box;
    }

    // Presses a button of the dialog; the message box that follows must say text.
    SeenMessageBox Press(int button, const std::string& text) {
        PressButton(dialog, button);
        return Box(text);
    }

    // Answers a message box (or closes a dialog) by its button; waits for it to go.
    void Answer(HWND window, int button = IDOK) {
        ASSERT_NE(window, nullptr);
        PressButton(window, button);
        for (int i = 0; i < 200 && IsWindow(window); ++i)
            Sleep(25);
    }

    void PressAndAnswer(int button, const std::string& text, int answer = IDOK) {
        Answer(Press(button, text).window, answer);
    }

    void Shot(const std::string& name, const RECT& area) {
        Settle();
        ScreenCapture(area).SaveBmp(artifacts + name + ".bmp");
    }

    // The list as painted; scrolledRight shows the mark column, beyond the list's width.
    ScreenCapture ListPixels(bool scrolledRight = false) {
        HWND list = GetDlgItem(dialog, IDC_UPDATE_LIST);
        SendMessageA(list, LVM_SCROLL, scrolledRight ? 1000 : -1000, 0);
        Settle();
        return ScreenCapture(WindowArea(list));
    }

    // Waits for Tovarind to end; reports what it still shows when it does not.
    void ExpectExit() {
        ASSERT_TRUE(program->WaitForExit(kWait)) << DescribeWindows(program->Id());
    }

    // Leaves by the exit button, which asks nothing here.
    void Leave() {
        PressButton(dialog, kExit);
        ExpectExit();
    }

    // What the sample application noted; it starts after Tovarind has handed
    // it over, so give it a moment.
    std::string Log(bool expectStart = true) {
        for (int i = 0; expectStart && i < 200 && !FileExists(app + "SampleApp.log"); ++i)
            Sleep(50);
        if (!expectStart)
            Sleep(1000);
        return ReadFileBytes(app + "SampleApp.log");
    }

    // Ready to check, or with updates pending.
    void ExpectState(bool pending) {
        EXPECT_EQ(ItemEnabled(dialog, kCheck), !pending);
        EXPECT_EQ(ItemEnabled(dialog, IDC_UPDATE), pending);
        EXPECT_EQ(ItemText(dialog, kExit), pending ? texts::kAbortButton : texts::kExitButton);
    }

    void ExpectOldFiles() {
        EXPECT_EQ(LocalWriteTimeText(app + "SampleApp.exe"), "2025/04/01 09:00:00");
        EXPECT_EQ(ReadFileBytes(app + "data\\sample.dat"),
                  ReadFileBytes(fixture + "App\\data\\sample.dat"));
    }

    void ExpectNewFiles() {
        for (const char* name :
             {"SampleApp.exe", "data\\sample.dat", "readme.txt", "更新履歴.txt"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(ReadFileBytes(app + name), ReadFileBytes(fixture + "AppCurrent\\" + name));
            EXPECT_EQ(LocalWriteTimeText(app + name),
                      LocalWriteTimeText(fixture + "AppCurrent\\" + name));
        }
    }

    // The update document is open in its application (Notepad under Wine).
    void CloseTheDocument() {
        HWND document = WaitForCaption(0, "更新履歴", true, kWait);
        EXPECT_NE(document, nullptr);
        if (document != nullptr)
            PostMessageA(document, WM_CLOSE, 0, 0);
    }

    // The temporary folder stays, without files.
    void ExpectTempFolderEmptied() {
        EXPECT_TRUE(FolderExists(app + "UpdateArchive"));
        EXPECT_EQ(FileCount(app + "UpdateArchive\\"), 0);
    }

    // Ended with nothing copied or started and the temporary folder cleared.
    void ExpectNothingDone() {
        ExpectExit();
        ExpectOldFiles();
        EXPECT_EQ(Log(false), "");
        ExpectTempFolderEmptied();
    }

    // Ended with every file new, the temporary folder cleared, the document shown.
    void ExpectUpdated() {
        ExpectExit();
        ExpectNewFiles();
        ExpectTempFolderEmptied();
        CloseTheDocument();
    }
};

TEST_F(Flow, MissingUrlEndsWithItsMessage) {
    Install();
    WriteFileBytes(app + "Tovarind.ini", "[Archive]\r\nTitle=x\r\n");
    program = std::make_unique<RunningProgram>(app + "Tovarind.exe", "", app);
    const SeenMessageBox box = Box(texts::kMissingUrl);
    Shot("missing-url", WindowArea(box.window));
    Answer(box.window);
    ExpectExit();
    EXPECT_FALSE(FolderExists(app + "UpdateArchive"));
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(Flow, CheckUpdateAndLaunch) {
    Install();
    ASSERT_NE(Start(), nullptr);
    ExpectState(false);
    EXPECT_EQ(ItemText(dialog, IDC_URL_TEXT), server.Url("/update.zip"));
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_UPDATE_LIST, LVM_GETITEMCOUNT, 0, 0), 4);
    const ScreenCapture before = ListPixels();
    EXPECT_GT(before.Count(kEvenRowColour), 1000); // rows 1 and 3
    EXPECT_GT(before.Count(kBlue), 50);            // local stamps
    EXPECT_EQ(before.Count(kRed), 0);              // nothing compared yet
    Shot("main-before-check", WindowArea(dialog));

    SeenMessageBox box = Press(kCheck, kFound);
    EXPECT_GT(ListPixels().Count(kRed), 50); // archive stamps that differ
    Shot("main-after-check", ScreenArea());
    Answer(box.window);
    ExpectState(true);
    EXPECT_EQ(server.RequestCount("/update.zip"), 1);
    EXPECT_EQ(server.RequestCount("/update.zip.minisig"), 0); // no key: no signature asked for
    EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
    ExpectOldFiles();

    box = Press(IDC_UPDATE, texts::kAllDone);
    EXPECT_GT(ListPixels(true).Count(kDarkGreen), 20); // "済"
    Shot("main-after-update", WindowArea(dialog));
    Answer(box.window);
    ExpectUpdated();
    const std::string log = Log();
    EXPECT_NE(log.find("started version 2.0; command line \"" + app + "SampleApp.exe\"; folder " +
                       app.substr(0, app.size() - 1)),
              std::string::npos)
        << log;
}

TEST_F(Flow, NothingNewStartsTheProgramOnly) {
    Install("AppCurrent\\");
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(kCheck, texts::kNothingNew);
    ExpectExit();
    EXPECT_NE(Log().find("started version 2.0"), std::string::npos);
    ExpectTempFolderEmptied();
}

TEST_F(Flow, LeavingWithUpdatesPendingAsksFirst) {
    Install();
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(kCheck, kFound);
    ExpectState(true);
    PressAndAnswer(kExit, texts::kLeaveUnfinished, IDCANCEL);
    EXPECT_TRUE(IsWindow(dialog));
    ExpectState(true);
    PressAndAnswer(kExit, texts::kLeaveUnfinished);
    ExpectNothingDone();
}

TEST_F(Flow, FailedCheckStaysReady) {
    server.ServeStatus("/missing.zip", 404, "<html>Not Found</html>");
    Install("App\\", server.Url("/missing.zip"));
    LeaveEarlierFile();
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(kCheck, texts::kReceiveFailed + server.Url("/missing.zip"));
    ExpectState(false);
    Leave(); // asks nothing; the clean-up runs all the same
    ExpectNothingDone();
}

// Unpacking fails without the archive library; the dialog goes on as after
// a check that found nothing: it ends and starts the program.
TEST_F(Flow, UnpackingWithoutTheLibraryEndsLikeNothingNew) {
    Install();
    ASSERT_TRUE(DeleteFileA((app + "tar32.dll").c_str()));
    ASSERT_NE(Start(), nullptr);
    const std::string temp = app + "UpdateArchive";
    PressAndAnswer(kCheck, texts::kUnpackFailed + "--use-directory=0 --display-dialog=0 xvf \"" +
                               temp + "\\Archive.zip\" -o \"" + temp + "\"");
    Answer(Box(texts::kNothingNew).window);
    ExpectExit();
    ExpectOldFiles();
    EXPECT_NE(Log().find("started version 1.0"), std::string::npos);
    ExpectTempFolderEmptied();
}

// As Windows hands it over, a quoted settings name with blanks is one argument.
TEST_F(Flow, QuotedSettingsNameWithBlanks) {
    Install();
    WriteFileBytes(
        app + "other settings.ini",
        Replaced(ReadFileBytes(app + "Tovarind.ini"), "Title=サンプル アプリ", "Title=別の 設定"));
    ASSERT_NE(Start("\"other settings.ini\"", texts::MainCaption("別の 設定")), nullptr)
        << DescribeWindows(program->Id());
    Leave();
}

TEST_F(Flow, SignedUpdateCompletes) {
    server.ServeFile("/update.zip.minisig", fixture + "update.zip.minisig");
    Install("AppSigned\\");
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(kCheck, kFound);
    ExpectState(true);
    EXPECT_EQ(server.RequestCount("/update.zip.minisig"), 1);
    PressAndAnswer(IDC_UPDATE, texts::kAllDone);
    ExpectUpdated();
}

TEST_F(Flow, ArchiveNotMatchingItsSignatureIsRefused) {
    // Other bytes than those signed, under the archive's signature.
    server.ServeBytes("/other.zip", ReadFileBytes(fixture + "App\\Tovarind.ini"));
    server.ServeFile("/other.zip.minisig", fixture + "update.zip.minisig");
    Install("AppSigned\\", server.Url("/other.zip"));
    ASSERT_NE(Start(), nullptr);
    const SeenMessageBox box = Press(kCheck, texts::kSignatureRefused + server.Url("/other.zip"));
    Shot("signature-refused", WindowArea(box.window));
    Answer(box.window);
    ExpectState(false);
    // Nothing was unpacked: the temporary folder holds the download only.
    EXPECT_EQ(FileCount(app + "UpdateArchive\\"), 1);
    EXPECT_TRUE(FileExists(app + "UpdateArchive\\Archive.zip"));
    Leave();
    ExpectNothingDone();
}

TEST_F(Flow, FailedUpdateCanBeRetried) {
    Install();
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(kCheck, kFound);
    {
        LockedFile inUse(app + "data\\sample.dat"); // held open by the "running" application
        ASSERT_TRUE(inUse.IsOpen());
        const SeenMessageBox box = Press(IDC_UPDATE, texts::kUpdateFailed);
        Shot("main-after-failed-update", ScreenArea());
        Answer(box.window);
        ExpectState(true);
    }
    // The file in use was left as it was; the others were updated.
    EXPECT_EQ(ReadFileBytes(app + "data\\sample.dat"),
              ReadFileBytes(fixture + "App\\data\\sample.dat"));
    EXPECT_EQ(ReadFileBytes(app + "SampleApp.exe"),
              ReadFileBytes(fixture + "AppCurrent\\SampleApp.exe"));
    PressAndAnswer(IDC_UPDATE, texts::kAllDone);
    ExpectUpdated();
}

TEST_F(Flow, UpdatesItsOwnProgramFileAndArchiveLibrary) {
    server.ServeFile("/update-self.zip", fixture + "update-self.zip");
    Install("App\\", server.Url("/update-self.zip"));
    // Listed in other letters than the program's own name.
    WriteFileBytes(app + "Tovarind.ini", Replaced(ReadFileBytes(app + "Tovarind.ini"),
                                                  "UpdateDoc=更新履歴.txt", "UpdateDoc=") +
                                             "F05=TOVARIND.exe\r\nF06=tar32.dll\r\n");
    const std::string installed = ReadFileBytes(app + "Tovarind.exe");
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(kCheck, texts::FilesFound(5));
    PressAndAnswer(IDC_UPDATE, texts::kAllDone);
    ExpectExit();

    // The new copies took the names; the program that ran, which cannot go
    // while it runs, waits beside them under a set-aside name.
    ExpectNewFiles();
    const std::string newer = ReadFileBytes(app + "Tovarind.exe");
    EXPECT_EQ(newer.compare(0, installed.size(), installed), 0);
    EXPECT_GT(newer.size(), installed.size());
    EXPECT_EQ(LocalWriteTimeText(app + "Tovarind.exe"), "2026/12/01 10:00:00");
    EXPECT_EQ(FindNames(app + "Tovarind.exe"),
              std::vector<std::string>{"Tovarind.exe"}); // its own name, as it was
    EXPECT_EQ(LocalWriteTimeText(app + "tar32.dll"), "2026/12/01 10:00:00");
    const std::vector<std::string> aside = FindNames(app + "Tovarind.exe.old-*");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].size(), std::string("Tovarind.exe.old-12345678").size()) << aside[0];
    EXPECT_EQ(ReadFileBytes(app + aside[0]), installed);
    EXPECT_TRUE(FindNames(app + "tov*.tmp*").empty()); // no temporary copies left
    // The new program starts and removes the set-aside copy.
    ASSERT_NE(Start(), nullptr);
    EXPECT_TRUE(FindNames(app + "Tovarind.exe.old-*").empty());
    Leave();
}

TEST_F(Flow, AboutDialogOpensAndCloses) {
    Install();
    LeaveEarlierFile();
    ASSERT_NE(Start(), nullptr);
    PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = WaitForCaption(program->Id(), texts::kAboutCaption, false, kWait);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(ItemText(about, IDC_VERSION_TEXT), "Tovarind Version " TOVARIND_VERSION_TEXT);
    EXPECT_NE(ItemText(about, IDC_LEGAL_TEXT), "");
    EXPECT_EQ(ItemText(about, IDC_WEB_LINK).rfind("http", 0), 0u);
    Shot("about", WindowArea(about));
    Answer(about);
    EXPECT_FALSE(IsWindow(about));
    ExpectState(false);
    Leave(); // without a check: the clean-up still runs
    ExpectTempFolderEmptied();
}

// A slow archive: the window keeps answering, the bar takes the address's
// place and moves, and the close box ends at once with nothing started or
// copied and the temporary folder cleared.
TEST_F(Flow, SlowTransferShowsItsProgressAndTheCloseBoxLeaves) {
    LoopbackServer::Reply slow(ReadFileBytes(fixture + "update.zip"));
    slow.trickleChunk = 2048;
    slow.trickleDelayMs = 100;
    server.Serve("/slow.zip", slow);
    Install("App\\", server.Url("/slow.zip"));
    ASSERT_NE(Start(), nullptr);
    HWND bar = GetDlgItem(dialog, MainDialog::kProgressBarId);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(ClassName(bar), "msctls_progress32");
    EXPECT_FALSE(IsWindowVisible(bar));
    PressButton(dialog, kCheck);
    DWORD_PTR position = 0;
    for (int i = 0; i < 200 && position < 100; ++i) {
        Sleep(50);
        SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position);
    }
    EXPECT_GE(position, 100u);
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_URL_TEXT)));
    EXPECT_NE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr), 0);
    EXPECT_FALSE(IsHungAppWindow(dialog));
    Shot("transfer-progress", WindowArea(dialog));
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ExpectNothingDone();
}

} // namespace
