// The main dialog run modally from the test's own resources, driven by
// messages from inside its modal loop; message boxes are captured.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/TarCommand.h"
#include "res/resource.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SystemTexts.h"
#include "tests/support/ZipBuilder.h"
#include "tests/win/ui/UiFixture.h"
#include "ui/MainDialog.h"

namespace {

class MainDialogTest : public UiTest {
  protected:
    MainDialogTest() {
        MakeFolder(folder / "sub");
        MakeFolder(folder / "sub\\dir");
        WriteFileBytes(folder / "App.exe", std::string(1234, 'a'));
        WriteFileBytes(folder / "sub\\dir\\Readme.txt", "read me");
        app.WriteSettings("[Archive]\r\n"
                          "Title=%s と %d 100%\r\n"
                          "URL=http://127.0.0.1:9/archive.zip\r\n"
                          "[UpdateFiles]\r\n"
                          "F01=App.exe\r\n"
                          "F02=Readme.txt,sub\\dir\\\r\n"
                          "F03=Missing.dat\r\n");
        EXPECT_TRUE(app.LoadSettings());
    }
};

TEST_F(MainDialogTest, OpensReadyWithTheTitleInsertedUnchanged) {
    RunMain([&](HWND window, MainDialog& dialog) {
        EXPECT_EQ(texts::MainCaption("%s と %d 100%"), TextOf(window));
        EXPECT_EQ("http://127.0.0.1:9/archive.zip", ItemTextOf(window, IDC_URL_TEXT));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDOK)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_UPDATE)));
        EXPECT_EQ(texts::kExitButton, ItemTextOf(window, IDCANCEL));
        EXPECT_EQ(texts::kCheckButton, ItemTextOf(window, IDOK));
        EXPECT_EQ(GetDlgItem(window, IDOK), GetFocus());
        EXPECT_NE(0, GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

        // The big icon is the program's; the small one is left alone.
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_hIcon),
                  SendMessageA(window, WM_GETICON, ICON_BIG, 0));
        EXPECT_NE(nullptr, dialog.m_hIcon);
        EXPECT_EQ(0, SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
        EXPECT_EQ(reinterpret_cast<LRESULT>(dialog.m_hIcon),
                  SendMessageA(window, WM_QUERYDRAGICON, 0, 0));

        // The About item after a separator at the end of the system menu.
        HMENU menu = GetSystemMenu(window, FALSE);
        ASSERT_NE(nullptr, menu);
        const int items = GetMenuItemCount(menu);
        ASSERT_GE(items, 2);
        EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, items - 1));
        char text[128] = {};
        GetMenuStringA(menu, items - 1, text, sizeof(text), MF_BYPOSITION);
        EXPECT_EQ(texts::kAboutMenuItem, text);
        EXPECT_NE(0u, GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR);
    });
}

TEST_F(MainDialogTest, OpensCentredOnTheWorkArea) {
    RunMain([&](HWND window, MainDialog&) {
        const RECT placed = WindowArea(window);
        ExpectCentredOver(placed, WorkArea());
        const RECT client = DialogUnits(window, 0, 0, 279, 208);
        RECT inside = {};
        GetClientRect(window, &inside);
        EXPECT_EQ(client.right, inside.right); // moved, not resized
    });
}

TEST_F(MainDialogTest, AboutDialogCentresOverTheMainDialogInsideTheWorkArea) {
    const RECT area = WorkArea();
    struct Case {
        const char* name;
        std::function<POINT(const RECT& main)> moveMainTo; // none: as it opened
        std::function<void(const RECT& about, const RECT& main)> expect;
    } const cases[] = {
        {"over the main dialog", nullptr,
         [](const RECT& about, const RECT& main) { ExpectCentredOver(about, main); }},
        {"main dialog hanging off the bottom right",
         [&](const RECT&) {
             return POINT{area.right - 60, area.bottom - 40};
         },
         [&](const RECT& about, const RECT&) {
             EXPECT_EQ(area.right, about.right);
             EXPECT_EQ(area.bottom, about.bottom);
         }},
        {"main dialog hanging off the top left",
         [&](const RECT& main) {
             return POINT{area.left - (main.right - main.left) + 60,
                          area.top - (main.bottom - main.top) + 40};
         },
         [&](const RECT& about, const RECT&) {
             EXPECT_EQ(area.left, about.left);
             EXPECT_EQ(area.top, about.top);
         }},
    };
    RunMain([&](HWND window, MainDialog&) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            if (c.moveMainTo) {
                const POINT to = c.moveMainTo(WindowArea(window));
                SetWindowPos(window, nullptr, to.x, to.y, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            const RECT main = WindowArea(window);
            bool seen = false;
            Later(150, [&] {
                HWND about = FindThreadDialog(texts::kAboutCaption);
                if (about == nullptr)
                    return;
                seen = true;
                c.expect(WindowArea(about), main);
                SendMessageA(about, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            });
            SendMessageA(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            EXPECT_TRUE(seen);
        }
    });
}

TEST_F(MainDialogTest, UrlIsDrawnAsWrittenAmpersandsIncluded) {
    // As a mnemonic prefix each pair of ampersands would draw as one.
    const std::string url = "http://127.0.0.1:9/a.zip?" + std::string(24, '&');
    app.WriteSettings("[Archive]\r\nURL=" + url + "\r\n");
    ASSERT_TRUE(app.LoadSettings());
    RunMain([&](HWND window, MainDialog&) {
        HWND text = GetDlgItem(window, IDC_URL_TEXT);
        EXPECT_EQ(url, TextOf(text));
        EXPECT_NE(0, GetWindowLongA(text, GWL_STYLE) & SS_NOPREFIX);

        RECT client = {};
        GetClientRect(text, &client);
        MemoryCanvas canvas(client.right, client.bottom);
        SendMessageA(text, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
        const COLORREF background = GetPixel(canvas.dc(), client.right - 1, 0);
        int inkEnd = 0;
        for (int x = 0; x < client.right; ++x)
            for (int y = 0; y < client.bottom; ++y)
                if (GetPixel(canvas.dc(), x, y) != background)
                    inkEnd = x + 1;
        const ScopedSelectObject font(
            canvas.dc(), reinterpret_cast<HGDIOBJ>(SendMessageA(text, WM_GETFONT, 0, 0)));
        SIZE whole = {}, ampersand = {};
        GetTextExtentPoint32A(canvas.dc(), url.c_str(), static_cast<int>(url.size()), &whole);
        GetTextExtentPoint32A(canvas.dc(), "&", 1, &ampersand);
        EXPECT_GT(inkEnd, whole.cx - 2 * ampersand.cx);
        EXPECT_LE(inkEnd, whole.cx + 2);
    });
}

TEST_F(MainDialogTest, ListIsOnePixelTallerWithThirtyPixelRowsAndFiveColumns) {
    RunMain([&](HWND window, MainDialog& dialog) {
        HWND list = GetDlgItem(window, IDC_UPDATE_LIST);
        ASSERT_EQ(list, dialog.m_listUpdate.m_hWnd);
        // In the template's place, one pixel taller.
        const RECT placed = DialogUnits(window, 7, 47, 265, 153);
        RECT actual = WindowArea(list);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(std::make_tuple(placed.left, placed.top, placed.right - placed.left,
                                  placed.bottom - placed.top + 1),
                  std::make_tuple(actual.left, actual.top, actual.right - actual.left,
                                  actual.bottom - actual.top));

        const LONG style = GetWindowLongA(list, GWL_STYLE);
        EXPECT_EQ(LVS_REPORT, style & LVS_TYPEMASK);
        EXPECT_NE(0, style & LVS_OWNERDRAWFIXED);
        EXPECT_EQ(0, style & WS_TABSTOP);

        EXPECT_EQ(30, dialog.m_listUpdate.m_nRowHeight);
        RECT first, second;
        ASSERT_TRUE(dialog.m_listUpdate.GetItemRect(0, &first, LVIR_BOUNDS));
        ASSERT_TRUE(dialog.m_listUpdate.GetItemRect(1, &second, LVIR_BOUNDS));
        EXPECT_EQ(30, first.bottom - first.top);
        EXPECT_EQ(30, second.top - first.top);

        using Column = std::tuple<std::string, int, int>; // header, width, alignment
        std::vector<Column> columns;
        for (int i = 0; i < dialog.m_listUpdate.GetColumnCount(); ++i) {
            char text[64] = {};
            LVCOLUMNA column = {};
            column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = sizeof(text);
            ASSERT_TRUE(dialog.m_listUpdate.GetColumn(i, &column)) << i;
            columns.emplace_back(text, column.cx, column.fmt & LVCFMT_JUSTIFYMASK);
        }
        const std::string* header = texts::kColumnHeaders;
        EXPECT_EQ((std::vector<Column>{{header[0], 30, LVCFMT_RIGHT},
                                       {header[1], 185, LVCFMT_LEFT},
                                       {header[2], 120, LVCFMT_CENTER},
                                       {header[3], 60, LVCFMT_RIGHT},
                                       {header[4], 50, LVCFMT_CENTER}}),
                  columns);
        LVCOLUMNA none = {};
        none.mask = LVCF_WIDTH;
        EXPECT_FALSE(dialog.m_listUpdate.GetColumn(5, &none));
    });
}

TEST_F(MainDialogTest, OneRowPerEntryPointingAtIt) {
    RunMain([&](HWND, MainDialog& dialog) {
        UpdateList& list = dialog.m_listUpdate;
        ASSERT_EQ(3, list.GetItemCount());
        // Folder, file name, local size and time.
        using Stamped = std::tuple<std::string, std::string, int, std::string>;
        std::vector<Stamped> entries;
        int i = 0;
        for (UpdateEntry* entry = list.head; entry != nullptr; entry = entry->next, ++i) {
            EXPECT_EQ(entry, list.GetEntryAt(i)) << i;
            for (int column = 0; column < 5; ++column)
                EXPECT_EQ("", list.GetItemText(i, column, 260)) << i << "," << column;
            entries.emplace_back(entry->folder, entry->fileName, entry->localSize,
                                 entry->localTime);
        }
        EXPECT_EQ(nullptr, list.GetEntryAt(-1));
        EXPECT_EQ(nullptr, list.GetEntryAt(3));
        EXPECT_EQ(
            (std::vector<Stamped>{{"", "App.exe", 1234, LocalWriteTimeText(folder / "App.exe")},
                                  {"sub\\dir\\", "Readme.txt", 7,
                                   LocalWriteTimeText(folder / "sub\\dir\\Readme.txt")},
                                  {"", "Missing.dat", 0, ""}}),
            entries);
    });
}

// The buttons of the ready dialog, and what they ask: leaving asks only
// once the exit button says abort (the close box too); a check that fails
// leaves the dialog as it was, with the check's own message only; Enter,
// once the check button is disabled, checks nothing; an update with
// nothing left to copy ends the dialog.
TEST_F(MainDialogTest, ButtonsOfTheReadyDialog) {
    const Box leave = {texts::kLeaveUnfinished, MB_OKCANCEL | MB_ICONQUESTION, true};
    const struct {
        const char* name;
        std::deque<int> answers;
        std::function<void(HWND window)> press;
        INT_PTR result;
        std::vector<Box> boxes;
    } cases[] = {
        {"exit while ready asks nothing",
         {},
         [](HWND window) { Click(window, IDCANCEL); },
         IDCANCEL,
         {}},
        {"exit with the abort caption asks first",
         {IDCANCEL, IDOK},
         [&](HWND window) {
             SetDlgItemTextA(window, IDCANCEL, texts::kAbortButton.c_str());
             Click(window, IDCANCEL);
             ASSERT_TRUE(IsWindow(window));
             EXPECT_EQ(1u, app.messages.size());
             EXPECT_EQ(texts::kAbortButton, ItemTextOf(window, IDCANCEL));
             // The close box takes the same way and gets the second answer.
             SendMessageA(window, WM_CLOSE, 0, 0);
             PumpMessages();
         },
         IDCANCEL,
         {leave, leave}},
        {"failed check leaves the dialog ready",
         {},
         [](HWND window) {
             Click(window, IDOK); // nothing listens on the URL's port
             EXPECT_TRUE(IsWindow(window));
             EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDOK)));
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_UPDATE)));
             EXPECT_EQ(texts::kExitButton, ItemTextOf(window, IDCANCEL));
         },
         -2,
         {{texts::kReceiveFailed + "http://127.0.0.1:9/archive.zip", MB_OK | MB_ICONEXCLAMATION,
           true}}},
        {"enter once the check button is disabled checks nothing",
         {},
         [](HWND window) {
             EnableWindow(GetDlgItem(window, IDOK), FALSE);
             SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
             EXPECT_TRUE(IsWindow(window));
         },
         -2,
         {}},
        {"update with nothing left to copy ends the dialog",
         {},
         [](HWND window) {
             EnableWindow(GetDlgItem(window, IDC_UPDATE), TRUE);
             Click(window, IDC_UPDATE);
         },
         IDOK,
         {{texts::kAllDone, MB_ICONINFORMATION, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.messages.clear();
        app.answers = c.answers;
        EXPECT_EQ(c.result, RunMain([&](HWND window, MainDialog&) { c.press(window); }));
        EXPECT_EQ(c.boxes, BoxesOf(app));
    }
}

// Every message box the dialog shows, along every way through it: text,
// style, and whether the dialog is still on the screen. After an update the
// program and the document start while the dialog is up (a failure box is
// its own); after a check with nothing to update the dialog ends first and
// the document is not opened.
TEST_F(MainDialogTest, EveryMessageBoxOfEveryWayThroughTheDialog) {
    enum Step { Check, Update, UpdateWhileInUse, Exit };
    enum Served { Changes, Garbage, NotFound };
    const UINT kInformation = MB_OK | MB_ICONINFORMATION;
    const UINT kWarning = MB_OK | MB_ICONEXCLAMATION;
    const std::string found = texts::FilesFound(2);
    const std::string temp = folder / "UpdateArchive";
    const std::string unpackFailed =
        texts::kUnpackFailed + TarCommandLine(temp + "\\Archive.zip", temp);
    const std::string programFailed =
        texts::kProgramNotStarted + "\"" + folder / "NotInstalled.exe\"";
    const std::string documentFailed = texts::kDocumentNotOpened + folder / "更新履歴.txt";

    LoopbackServer server;
    ZipBuilder changes;
    changes.Add("App.exe", "version 2", {2024, 5, 6, 7, 8, 10})
        .Add("Readme.txt", "read me again", {2024, 5, 6, 7, 8, 10});
    server.ServeBytes("/changes.zip", changes.Bytes());
    server.ServeBytes("/garbage.zip", "<html>not an archive</html>");
    server.ServeStatus("/missing.zip", 404, "<html>Not Found</html>");
    const char* const paths[] = {"/changes.zip", "/garbage.zip", "/missing.zip"};

    const struct Flow {
        const char* name;
        Served served;
        std::vector<Step> steps;
        std::deque<int> answers;
        std::vector<Box> boxes;
        INT_PTR result;
    } flows[] = {
        {"files found, an update that fails, one that succeeds",
         Changes,
         {Check, UpdateWhileInUse, Update},
         {},
         {{found, kInformation, true},
          {texts::kUpdateFailed, kInformation, true},
          {texts::kAllDone, kInformation, true},
          {programFailed, kWarning, true},
          {documentFailed, kWarning, true}},
         IDOK},
        {"files found, leaving asked twice",
         Changes,
         {Check, Exit, Exit},
         {IDOK, IDCANCEL, IDOK},
         {{found, kInformation, true},
          {texts::kLeaveUnfinished, MB_OKCANCEL | MB_ICONQUESTION, true},
          {texts::kLeaveUnfinished, MB_OKCANCEL | MB_ICONQUESTION, true}},
         IDCANCEL},
        {"an unpacking failure ends like nothing new",
         Garbage,
         {Check},
         {},
         {{unpackFailed, kWarning, true},
          {texts::kNothingNew, kInformation, true},
          {programFailed, kWarning, false}},
         IDOK},
        {"a failed download, then leaving",
         NotFound,
         {Check, Exit},
         {},
         {{texts::kReceiveFailed + server.Url("/missing.zip"), kWarning, true}},
         IDCANCEL},
    };
    for (const Flow& flow : flows) {
        SCOPED_TRACE(flow.name);
        WriteFileBytes(folder / "App.exe", std::string(1234, 'a'));
        WriteFileBytes(folder / "sub\\dir\\Readme.txt", "read me");
        app.WriteSettings("[Archive]\r\nURL=" + server.Url(paths[flow.served]) +
                          "\r\n[AutoRun]\r\nProgram=NotInstalled.exe\r\nUpdateDoc=更新履歴.txt\r\n"
                          "[UpdateFiles]\r\nF01=App.exe\r\nF02=Readme.txt,sub\\dir\\\r\n");
        ASSERT_TRUE(app.LoadSettings());
        app.messages.clear();
        app.answers = flow.answers;
        const INT_PTR result = RunMain([&](HWND window, MainDialog&) {
            for (Step step : flow.steps) {
                if (step == UpdateWhileInUse) {
                    LockedFile running(folder / "App.exe");
                    ASSERT_TRUE(running.IsOpen());
                    Click(window, IDC_UPDATE);
                } else {
                    Click(window, step == Check ? IDOK : step == Update ? IDC_UPDATE : IDCANCEL);
                }
                // Found files leave the focus on the update button.
                if (step == Check && flow.served == Changes) {
                    EXPECT_EQ(GetDlgItem(window, IDC_UPDATE), GetFocus());
                }
            }
        });
        EXPECT_EQ(flow.result, result);
        EXPECT_EQ(flow.boxes, BoxesOf(app));
    }
}

TEST_F(MainDialogTest, AboutItemOpensTheAboutDialogOwnedByTheMainDialog) {
    bool seen = false;
    RunMain([&](HWND window, MainDialog&) {
        Later(150, [&] {
            HWND about = FindThreadDialog(texts::kAboutCaption);
            ASSERT_NE(nullptr, about);
            seen = true;
            EXPECT_EQ(window, GetWindow(about, GW_OWNER));
            EXPECT_FALSE(IsWindowEnabled(window));
            EXPECT_EQ(kOwnVersionLine, ItemTextOf(about, IDC_VERSION_TEXT));
            Click(about, IDOK);
        });
        // Only the command's upper twelve bits count.
        SendMessageA(window, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x5, 0);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_TRUE(IsWindowEnabled(window));
        EXPECT_EQ(nullptr, FindThreadDialog(texts::kAboutCaption));
    });
    EXPECT_TRUE(seen);
}

TEST_F(MainDialogTest, RunMainDialogMakesItTheMainWindowForTheRun) {
    const std::string caption = texts::MainCaption("%s と %d 100%");
    bool seen = false;
    Later(150, [&] {
        [&] {
            HWND window = FindThreadDialog(caption);
            ASSERT_NE(nullptr, window);
            ASSERT_NE(nullptr, app.m_pMainWnd);
            EXPECT_EQ(window, app.m_pMainWnd->m_hWnd);
            seen = true;
        }();
        if (HWND window = FindThreadDialog(caption))
            SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    app.RunMainDialog();
    EXPECT_TRUE(seen);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
}

// The check's transfer seen from another thread, as Windows and the user
// see the window: always answering, never hung, the bar where the address
// was and moving; input to the controls does nothing meanwhile.
// One look at the window from another thread. duringTransfer: the bar was
// up before and after the look, so the answer was the transfer's to give
// (the unpacking after it runs on the window's thread by design).
struct TransferSample {
    bool answered, hung, barShown, urlShown, duringTransfer;
    int position;
};

class TransferWatcher {
  public:
    explicit TransferWatcher(HWND window) : window_(window), thread_([this] { Run(); }) {}
    ~TransferWatcher() { Stop(); }
    const std::vector<TransferSample>& Stop() {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        return samples_;
    }

  private:
    void Run() {
        HWND bar = GetDlgItem(window_, MainDialog::kProgressBarId);
        HWND url = GetDlgItem(window_, IDC_URL_TEXT);
        while (!done_) {
            TransferSample sample = {};
            DWORD_PTR position = 0;
            const bool barBefore = IsWindowVisible(bar) != FALSE;
            sample.answered =
                SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr) != 0;
            sample.hung = IsHungAppWindow(window_) != FALSE;
            sample.barShown = IsWindowVisible(bar) != FALSE;
            sample.duringTransfer = barBefore && sample.barShown;
            sample.urlShown = IsWindowVisible(url) != FALSE;
            SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position);
            sample.position = static_cast<int>(position);
            samples_.push_back(sample);
            Sleep(100);
        }
    }

    HWND window_;
    std::atomic<bool> done_{false};
    std::vector<TransferSample> samples_;
    std::thread thread_;
};

class MainDialogTransferTest : public MainDialogTest {
  protected:
    // Serves a changed App.exe slowly: 1 KiB every 50 ms, about 3 s in all;
    // without a length, the body ends with the connection.
    void ServeSlowArchive(bool withLength = true) {
        ZipBuilder zip;
        zip.Add("App.exe", std::string(60 * 1024, 'v'), {2024, 5, 6, 7, 8, 10});
        archive = zip.Bytes();
        LoopbackServer::Reply reply(archive);
        reply.trickleChunk = 1024;
        reply.trickleDelayMs = 50;
        reply.framing =
            withLength ? LoopbackServer::Framing::Length : LoopbackServer::Framing::Close;
        server.Serve("/slow.zip", reply);
        app.WriteSettings("[Archive]\r\nTitle=T\r\nURL=" + server.Url("/slow.zip") +
                          "\r\n[UpdateFiles]\r\nF01=App.exe\r\n");
        ASSERT_TRUE(app.LoadSettings());
    }

    LoopbackServer server;
    std::string archive;
};

TEST_F(MainDialogTransferTest, ASlowTransferKeepsTheWindowAnsweringAndShowsItsProgress) {
    for (const bool withLength : {true, false}) {
        SCOPED_TRACE(withLength ? "with a length" : "without a length");
        ServeSlowArchive(withLength);
        app.messages.clear();
        const int requestsBefore = server.RequestCount("/slow.zip");
        std::vector<TransferSample> samples;
        RunMain([&](HWND window, MainDialog&) {
            HWND check = GetDlgItem(window, IDOK);
            // Input meant to check again, or to open the About dialog,
            // while the first check runs.
            Later(500, [=] {
                PostMessageA(check, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                PostMessageA(check, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
                PostMessageA(check, WM_KEYDOWN, VK_RETURN, 0);
                PostMessageA(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            });
            TransferWatcher watcher(window);
            Click(window, IDOK);
            samples = watcher.Stop();
            // Done: the address is back, the bar gone, the file found.
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, IDC_URL_TEXT)));
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, MainDialog::kProgressBarId)));
            EXPECT_EQ(texts::kAbortButton, ItemTextOf(window, IDCANCEL));
        });
        EXPECT_EQ(1, server.RequestCount("/slow.zip") - requestsBefore);
        EXPECT_EQ(nullptr, FindThreadDialog(texts::kAboutCaption));
        EXPECT_EQ(std::vector<std::string>({texts::FilesFound(1)}), app.MessageTexts());

        std::vector<int> positions;
        for (const TransferSample& sample : samples) {
            EXPECT_TRUE(sample.answered || !sample.duringTransfer);
            EXPECT_FALSE(sample.hung);
            if (sample.barShown) {
                EXPECT_FALSE(sample.urlShown);
                if (positions.empty() || positions.back() != sample.position)
                    positions.push_back(sample.position);
            }
        }
        // The bar moved forward, step by step, as the bytes came.
        EXPECT_GE(positions.size(), 4u);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    }
}

// The ways out of the ready dialog work during the check's transfer too: it
// stops at once, without a box, and the dialog ends as an exit.
TEST_F(MainDialogTransferTest, LeavingDuringTheTransferEndsAtOnce) {
    struct Way {
        const char* name;
        std::function<void(HWND window)> leave;
    } const ways[] = {
        {"close box", [](HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Esc", [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"exit button",
         [](HWND window) {
             HWND exit = GetDlgItem(window, IDCANCEL);
             PostMessageA(exit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
             PostMessageA(exit, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         }},
    };
    ServeSlowArchive();
    const std::string archivePath = folder / "UpdateArchive\\Archive.zip";
    MakeFolder(folder / "UpdateArchive");
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        app.messages.clear();
        const INT_PTR result = RunMain([&](HWND window, MainDialog&) {
            Later(700, [&, window] { way.leave(window); });
            Click(window, IDOK);
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_TRUE(app.messages.empty());
        // Stopped before the end, and the archive file is closed: the
        // temporary folder can be cleared.
        EXPECT_LT(ReadFileBytes(archivePath).size(), archive.size());
        EXPECT_TRUE(DeleteFileA(archivePath.c_str()));
    }
}

} // namespace
