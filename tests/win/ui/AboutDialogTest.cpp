// The About dialog's texts from version resources, and the hyperlink label.
#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/ui/UiFixture.h"
#include "ui/AboutDialog.h"

namespace {

class AboutDialogTest : public UiTest {};

const char kLegal[] = "Copyright (C) 2026 Tovarind Project";

TEST_F(AboutDialogTest, ShowsTheProgramsVersionLineLegalNoticeAndLink) {
    AboutDialog about;
    EXPECT_EQ(kOwnVersionLine, about.m_strVersion);
    EXPECT_EQ(kLegal, about.m_strLegal);
    INT_PTR result = RunDialog(about, [&](HWND window) {
        EXPECT_EQ(texts::kAboutCaption, TextOf(window));
        EXPECT_EQ(kOwnVersionLine, ItemTextOf(window, IDC_VERSION_TEXT));
        EXPECT_EQ(kLegal, ItemTextOf(window, IDC_LEGAL_TEXT));
        EXPECT_EQ("https://tovarind.org/", ItemTextOf(window, IDC_WEB_LINK));
        EXPECT_EQ(GetDlgItem(window, IDC_WEB_LINK), about.m_linkWeb.m_hWnd);
        HWND icon = nullptr;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = child;
        ASSERT_NE(nullptr, icon);
        EXPECT_NE(0, SendMessageA(icon, STM_GETICON, 0, 0));
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(IDOK, result);

    AboutDialog again;
    result = RunDialog(again, [](HWND window) {
        SendMessageA(window, WM_CLOSE, 0, 0);
        PumpMessages();
    });
    EXPECT_EQ(IDCANCEL, result);
}

// The first translation holding each value wins; without a version
// resource the outputs stay as they were.
TEST_F(AboutDialogTest, VersionLineAndLegalNoticeFromTheVersionResource) {
    const struct {
        const char* program;
        const char *version, *legal, *versionLine;
    } cases[] = {
        {"ui_fixture", "9, 8, 7, 6 版", "First & legal", "ui_fixture Version 9, 8, 7, 6 版"},
        {"no_such_program", "kept", "", "no_such_program Version "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        app.m_pszExeName = c.program;
        std::string version = "kept", legal = "kept";
        ReadVersionInfo(version, legal);
        EXPECT_EQ(c.version, version);
        EXPECT_EQ(*c.legal ? c.legal : "kept", legal);
        AboutDialog about;
        EXPECT_EQ(c.versionLine, about.m_strVersion);
        EXPECT_EQ(c.legal, about.m_strLegal);
    }
    app.m_pszExeName = "ui_fixture";
    AboutDialog about;
    RunDialog(about, [](HWND window) {
        EXPECT_NE(0, GetWindowLongA(GetDlgItem(window, IDC_VERSION_TEXT), GWL_STYLE) & SS_NOPREFIX);
        EXPECT_EQ(0, GetWindowLongA(GetDlgItem(window, IDC_LEGAL_TEXT), GWL_STYLE) & SS_NOPREFIX);
        EXPECT_EQ("First & legal", ItemTextOf(window, IDC_LEGAL_TEXT));
    });
}

TEST_F(AboutDialogTest, LinkIsBlueUnderlinedOnButtonFaceWithOneFontForLife) {
    AboutDialog about;
    RunDialog(about, [&](HWND window) {
        HyperlinkLabel& link = about.m_linkWeb;
        UpdateWindow(window);
        ASSERT_FALSE(link.m_font.IsEmpty());
        const HFONT font = link.m_font.GetSafeHandle();
        EXPECT_EQ(font, link.GetFont());
        LOGFONTA description = {};
        ASSERT_EQ(static_cast<int>(sizeof(description)),
                  GetObjectA(font, sizeof(description), &description));
        EXPECT_EQ(1, description.lfUnderline);

        MemoryCanvas canvas(10, 10);
        for (int i = 0; i < 3; ++i) {
            RedrawWindow(window, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            LRESULT brush =
                SendMessageA(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()),
                             reinterpret_cast<LPARAM>(link.m_hWnd));
            EXPECT_EQ(reinterpret_cast<LRESULT>(link.m_brush.GetSafeHandle()), brush);
        }
        EXPECT_EQ(font, link.m_font.GetSafeHandle());
        EXPECT_EQ(font, link.GetFont());
        EXPECT_EQ(RGB(0, 0, 255), GetTextColor(canvas.dc()));
        EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetBkColor(canvas.dc()));
        LOGBRUSH brush = {};
        GetObjectA(link.m_brush.GetSafeHandle(), sizeof(brush), &brush);
        EXPECT_EQ(GetSysColor(COLOR_BTNFACE), brush.lbColor);

        // The pointer over the link, whatever the hit-test code says.
        EXPECT_EQ(TRUE,
                  SendMessageA(link.m_hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(link.m_hWnd),
                               MAKELPARAM(HTERROR, WM_MOUSEMOVE)));
        EXPECT_EQ(link.m_hCursor, GetCursor());
    });
}

TEST_F(AboutDialogTest, EveryButtonReleaseOpensTheLinksText) {
    const std::string program = BinaryFolder() + "ui_fixture.exe";
    const std::string marker = program + ".marker";
    AboutDialog about;
    RunDialog(about, [&](HWND window) {
        HWND link = GetDlgItem(window, IDC_WEB_LINK);
        SetWindowTextA(link, program.c_str());
        for (int click = 0; click < 2; ++click) {
            DeleteFileA(marker.c_str());
            SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
            for (int i = 0; i < 200 && !FileExists(marker); ++i)
                Sleep(50);
            EXPECT_TRUE(FileExists(marker)) << "click " << click;
        }
        EXPECT_EQ(program, TextOf(link));
    });
    DeleteFileA(marker.c_str());
}

TEST_F(AboutDialogTest, LabelOfAControlWithoutFontUnderlinesTheSystemFont) {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "x", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, 80, 20,
                                 parent, nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent && child);
    {
        CWnd owner;
        ASSERT_TRUE(owner.SubclassWindow(parent));
        HyperlinkLabel link;
        ASSERT_TRUE(link.SubclassWindow(child));
        ASSERT_EQ(nullptr, link.GetFont());
        MemoryCanvas canvas(10, 10);
        SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()),
                     reinterpret_cast<LPARAM>(child));
        ASSERT_FALSE(link.m_font.IsEmpty());
        EXPECT_EQ(link.m_font.GetSafeHandle(), link.GetFont());
        LOGFONTA made = {}, system = {};
        GetObjectA(link.m_font.GetSafeHandle(), sizeof(made), &made);
        GetObjectA(GetStockObject(SYSTEM_FONT), sizeof(system), &system);
        EXPECT_EQ(1, made.lfUnderline);
        EXPECT_EQ(system.lfHeight, made.lfHeight);
        EXPECT_STREQ(system.lfFaceName, made.lfFaceName);
    }
    // The label let go of the control and took its font back.
    EXPECT_EQ(nullptr, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(child));
    DestroyWindow(parent);
}

TEST(HelpViewerHand, NoneWithoutTheHelpViewer) {
    ScratchFolder empty;
    std::string folder = empty.Path();
    folder.pop_back();
    EXPECT_FALSE(LoadHelpViewerHand(folder));
}

} // namespace
