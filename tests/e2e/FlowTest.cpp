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

    void Install(bool current = false, const std::string& url = "") {
        InstallFrom(current ? "AppCurrent\\" : "App\\", url);
    }

    // A program folder of the fixture ("App\\", "AppCurrent\\", "AppSigned\\")
    // with its settings pointing at url (default: the served archive).
    void InstallFrom(const std::string& folder, const std::string& url = "") {
        CopyTree(fixture + folder, app);
        // The sample application notes its start and ends at once.
        WriteFileBytes(app + "SampleApp.autoclose", "");
        std::string ini = ReadFileBytes(app + "Tovarind.ini");
        const std::string templateUrl = "http://127.0.0.1:1/update.zip";
        ini.replace(ini.find(templateUrl), templateUrl.size(),
                    url.empty() ? server.Url("/update.zip") : url);
        WriteFileBytes(app + "Tovarind.ini", ini);
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

    SeenMessageBox Box() { return WaitForMessageBox(program->Id(), kBox, kWait); }

    // Answers a message box by its button and waits for it to go.
    void Answer(const SeenMessageBox& box, int button) {
        ASSERT_NE(box.window, nullptr);
        PressButton(box.window, button);
        for (int i = 0; i < 200 && IsWindow(box.window); ++i)
            Sleep(25);
    }

    // Presses a button of the dialog; the message box that follows must say
    // text, and gets answer.
    void PressAndAnswer(HWND dialog, int button, const std::string& text, int answer = IDOK) {
        PressButton(dialog, button);
        SeenMessageBox box = Box();
        EXPECT_EQ(box.text, text);
        Answer(box, answer);
    }

    void Shot(const std::string& name, const RECT& area) {
        Settle();
        ScreenCapture(area).SaveBmp(artifacts + name + ".bmp");
    }

    // The list as painted; with scrolledRight the view is moved to the mark
    // column, which lies beyond the list's width.
    ScreenCapture ListPixels(HWND dialog, bool scrolledRight = false) {
        HWND list = GetDlgItem(dialog, IDC_UPDATE_LIST);
        SendMessageA(list, LVM_SCROLL, scrolledRight ? 1000 : -1000, 0);
        Settle();
        return ScreenCapture(WindowArea(list));
    }

    // Waits for Tovarind to end; reports what it still shows when it does not.
    void ExpectExit() {
        ASSERT_TRUE(program->WaitForExit(kWait)) << DescribeWindows(program->Id());
    }

    // Leaves the dialog by its exit button, which asks nothing, and waits for the end.
    void Leave(HWND dialog) {
        PressButton(dialog, kExit);
        ExpectExit();
    }

    // What the sample application noted; it starts after Tovarind has
    // handed it over, so give it a moment.
    std::string Log(bool expectStart = true) {
        for (int i = 0; expectStart && i < 200 && !FileExists(app + "SampleApp.log"); ++i)
            Sleep(50);
        if (!expectStart)
            Sleep(1000);
        return ReadFileBytes(app + "SampleApp.log");
    }

    void ExpectReady(HWND dialog) {
        EXPECT_TRUE(ItemEnabled(dialog, kCheck));
        EXPECT_FALSE(ItemEnabled(dialog, IDC_UPDATE));
        EXPECT_EQ(ItemText(dialog, kExit), texts::kExitButton);
    }

    void ExpectPending(HWND dialog) {
        EXPECT_FALSE(ItemEnabled(dialog, kCheck));
        EXPECT_TRUE(ItemEnabled(dialog, IDC_UPDATE));
        EXPECT_EQ(ItemText(dialog, kExit), texts::kAbortButton);
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

    // The update document is open in its application (Notepad under
    // Wine): closes it.
    void CloseTheDocument() {
        HWND document = WaitForAnyCaption("更新履歴", kWait);
        EXPECT_NE(document, nullptr);
        if (document != nullptr)
            PostMessageA(document, WM_CLOSE, 0, 0);
    }

    // The temporary folder stays, without files.
    void ExpectTempFolderEmptied() {
        EXPECT_TRUE(FolderExists(app + "UpdateArchive"));
        EXPECT_EQ(FileCount(app + "UpdateArchive\\"), 0);
    }
};

TEST_F(Flow, MissingUrlEndsWithItsMessage) {
    Install();
    WriteFileBytes(app + "Tovarind.ini", "[Archive]\r\nTitle=x\r\n");
    program = std::make_unique<RunningProgram>(app + "Tovarind.exe", "", app);
    SeenMessageBox box = Box();
    EXPECT_EQ(box.text, texts::kMissingUrl);
    Shot("missing-url", WindowArea(box.window));
    Answer(box, IDOK);
    ExpectExit();
    EXPECT_FALSE(FolderExists(app + "UpdateArchive"));
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(Flow, CheckUpdateAndLaunch) {
    Install();
    ASSERT_NE(Start(), nullptr);
    ExpectReady(dialog);
    EXPECT_EQ(ItemText(dialog, IDC_URL_TEXT), server.Url("/update.zip"));
    HWND list = GetDlgItem(dialog, IDC_UPDATE_LIST);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 4);
    {
        ScreenCapture pixels = ListPixels(dialog);
        EXPECT_GT(pixels.Count(kEvenRowColour), 1000); // rows 1 and 3
        EXPECT_GT(pixels.Count(kBlue), 50);            // local stamps
        EXPECT_EQ(pixels.Count(kRed), 0);              // nothing compared yet
    }
    Shot("main-before-check", WindowArea(dialog));

    PressButton(dialog, kCheck);
    SeenMessageBox found = Box();
    EXPECT_EQ(found.text, kFound);
    EXPECT_GT(ListPixels(dialog).Count(kRed), 50); // archive stamps that differ
    Shot("main-after-check", ScreenArea());
    Answer(found, IDOK);
    ExpectPending(dialog);
    EXPECT_EQ(server.RequestCount("/update.zip"), 1);
    EXPECT_EQ(server.RequestCount("/update.zip.minisig"), 0); // no key: no signature asked for
    EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
    ExpectOldFiles();

    PressButton(dialog, IDC_UPDATE);
    SeenMessageBox done = Box();
    EXPECT_EQ(done.text, texts::kAllDone);
    EXPECT_GT(ListPixels(dialog, true).Count(kDarkGreen), 20); // "済"
    Shot("main-after-update", WindowArea(dialog));
    Answer(done, IDOK);
    ExpectExit();

    ExpectNewFiles();
    ExpectTempFolderEmptied();
    CloseTheDocument();
    const std::string log = Log();
    EXPECT_NE(log.find("started version 2.0; command line \"" + app + "SampleApp.exe\"; folder " +
                       app.substr(0, app.size() - 1)),
              std::string::npos)
        << log;
}

TEST_F(Flow, NothingNewStartsTheProgramOnly) {
    Install(true);
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(dialog, kCheck, texts::kNothingNew);
    ExpectExit();
    EXPECT_NE(Log().find("started version 2.0"), std::string::npos);
    ExpectTempFolderEmptied();
}

TEST_F(Flow, LeavingWithUpdatesPendingAsksFirst) {
    Install();
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(dialog, kCheck, kFound);
    ExpectPending(dialog);

    PressAndAnswer(dialog, kExit, texts::kLeaveUnfinished, IDCANCEL);
    EXPECT_TRUE(IsWindow(dialog));
    ExpectPending(dialog);

    PressAndAnswer(dialog, kExit, texts::kLeaveUnfinished);
    ExpectExit();
    ExpectOldFiles();
    EXPECT_EQ(Log(false), "");
    ExpectTempFolderEmptied();
}

TEST_F(Flow, FailedCheckStaysReady) {
    server.ServeStatus("/missing.zip", 404, "<html>Not Found</html>");
    Install(false, server.Url("/missing.zip"));
    LeaveEarlierFile();
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(dialog, kCheck, texts::kReceiveFailed + server.Url("/missing.zip"));
    ExpectReady(dialog);

    // Leaving asks nothing; the clean-up runs all the same.
    Leave(dialog);
    EXPECT_EQ(Log(false), "");
    ExpectTempFolderEmptied();
}

// Without the archive library the check fails at the unpacking, and the
// dialog goes on as after a check that found nothing: it ends and starts
// the program.
TEST_F(Flow, UnpackingWithoutTheLibraryEndsLikeNothingNew) {
    Install();
    ASSERT_TRUE(DeleteFileA((app + "tar32.dll").c_str()));
    ASSERT_NE(Start(), nullptr);
    PressButton(dialog, kCheck);
    SeenMessageBox failed = Box();
    const std::string temp = app + "UpdateArchive";
    EXPECT_EQ(failed.text, texts::kUnpackFailed + "--use-directory=0 --display-dialog=0 xvf \"" +
                               temp + "\\Archive.zip\" -o \"" + temp + "\"");
    Answer(failed, IDOK);
    SeenMessageBox box = Box();
    EXPECT_EQ(box.text, texts::kNothingNew);
    Answer(box, IDOK);
    ExpectExit();
    ExpectOldFiles();
    EXPECT_NE(Log().find("started version 1.0"), std::string::npos);
    ExpectTempFolderEmptied();
}

// The command line as Windows hands it over: a quoted settings name with
// blanks is one argument.
TEST_F(Flow, QuotedSettingsNameWithBlanks) {
    Install();
    std::string ini = ReadFileBytes(app + "Tovarind.ini");
    const std::string title = "Title=サンプル アプリ";
    ini.replace(ini.find(title), title.size(), "Title=別の 設定");
    WriteFileBytes(app + "other settings.ini", ini);
    ASSERT_NE(Start("\"other settings.ini\"", texts::MainCaption("別の 設定")), nullptr)
        << DescribeWindows(program->Id());
    Leave(dialog);
}

TEST_F(Flow, SignedUpdateCompletes) {
    server.ServeFile("/update.zip.minisig", fixture + "update.zip.minisig");
    InstallFrom("AppSigned\\");
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(dialog, kCheck, kFound);
    ExpectPending(dialog);
    EXPECT_EQ(server.RequestCount("/update.zip.minisig"), 1);
    PressAndAnswer(dialog, IDC_UPDATE, texts::kAllDone);
    ExpectExit();
    ExpectNewFiles();
    ExpectTempFolderEmptied();
    CloseTheDocument();
}

TEST_F(Flow, ArchiveNotMatchingItsSignatureIsRefused) {
    // Other bytes than those signed, under the archive's signature.
    server.ServeBytes("/other.zip", ReadFileBytes(fixture + "App\\Tovarind.ini"));
    server.ServeFile("/other.zip.minisig", fixture + "update.zip.minisig");
    InstallFrom("AppSigned\\", server.Url("/other.zip"));
    ASSERT_NE(Start(), nullptr);
    PressButton(dialog, kCheck);
    SeenMessageBox box = Box();
    EXPECT_EQ(box.text, texts::kSignatureRefused + server.Url("/other.zip"));
    Shot("signature-refused", WindowArea(box.window));
    Answer(box, IDOK);
    ExpectReady(dialog);
    // Nothing was unpacked: the temporary folder holds the download only.
    EXPECT_EQ(FileCount(app + "UpdateArchive\\"), 1);
    EXPECT_TRUE(FileExists(app + "UpdateArchive\\Archive.zip"));
    Leave(dialog);
    ExpectOldFiles();
    ExpectTempFolderEmptied();
    EXPECT_EQ(Log(false), "");
}

TEST_F(Flow, FailedUpdateCanBeRetried) {
    Install();
    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(dialog, kCheck, kFound);
    {
        // The application is "running": its data file is held open.
        LockedFile inUse(app + "data\\sample.dat");
        ASSERT_TRUE(inUse.IsOpen());
        PressButton(dialog, IDC_UPDATE);
        SeenMessageBox failed = Box();
        EXPECT_EQ(failed.text, texts::kUpdateFailed);
        Shot("main-after-failed-update", ScreenArea());
        Answer(failed, IDOK);
        ExpectPending(dialog);
    }
    // The file in use was left as it was; the others were updated.
    EXPECT_EQ(ReadFileBytes(app + "data\\sample.dat"),
              ReadFileBytes(fixture + "App\\data\\sample.dat"));
    EXPECT_EQ(ReadFileBytes(app + "SampleApp.exe"),
              ReadFileBytes(fixture + "AppCurrent\\SampleApp.exe"));
    PressAndAnswer(dialog, IDC_UPDATE, texts::kAllDone);
    ExpectExit();
    ExpectNewFiles();
}

TEST_F(Flow, UpdatesItsOwnProgramFileAndArchiveLibrary) {
    server.ServeFile("/update-self.zip", fixture + "update-self.zip");
    Install(false, server.Url("/update-self.zip"));
    std::string ini = ReadFileBytes(app + "Tovarind.ini");
    const std::string document = "UpdateDoc=更新履歴.txt";
    ini.replace(ini.find(document), document.size(), "UpdateDoc=");
    // Listed in other letters than the program's own name.
    WriteFileBytes(app + "Tovarind.ini", ini + "F05=TOVARIND.exe\r\nF06=tar32.dll\r\n");
    const std::string installed = ReadFileBytes(app + "Tovarind.exe");

    ASSERT_NE(Start(), nullptr);
    PressAndAnswer(dialog, kCheck, texts::FilesFound(5));
    PressAndAnswer(dialog, IDC_UPDATE, texts::kAllDone);
    ExpectExit();

    // The new copies took the names; the program that ran waits beside
    // them under a set-aside name, since a running program file cannot go.
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
    Leave(dialog);
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
    PressButton(about, IDOK);
    for (int i = 0; i < 200 && IsWindow(about); ++i)
        Sleep(25);
    EXPECT_FALSE(IsWindow(about));
    ExpectReady(dialog);
    // Closed without a check: the clean-up still runs.
    Leave(dialog);
    ExpectTempFolderEmptied();
}

// A slow archive: the window keeps answering, the bar takes the address's
// place and moves, and the close box ends the program at once, with
// nothing started or copied and the temporary folder cleared.
TEST_F(Flow, SlowTransferShowsItsProgressAndTheCloseBoxLeaves) {
    LoopbackServer::Reply slow(ReadFileBytes(fixture + "update.zip"));
    slow.trickleChunk = 2048;
    slow.trickleDelayMs = 100;
    server.Serve("/slow.zip", slow);
    Install(false, server.Url("/slow.zip"));
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
    ExpectExit();
    EXPECT_EQ(Log(false), "");
    ExpectOldFiles();
    ExpectTempFolderEmptied();
}

} // namespace
