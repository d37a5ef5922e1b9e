// Where a modal dialog of the framework opens: centred when its template
// leaves the placement to the program, kept where it placed or showed
// itself, never over an owner that cannot be seen.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "framework/Dialog.h"
#include "tests/support/DialogDriver.h"

namespace {

// DialogPlacementTest.rc
const UINT kPlacedTemplate = 100;

// The test's template (at the origin, no placement styles), with an
// initialisation of the test's and, when given, an owner.
class PlacedDialog : public CDialog {
  public:
    explicit PlacedDialog(std::function<void(HWND)> init, CWnd* owner = nullptr)
        : CDialog(kPlacedTemplate, owner), init_(std::move(init)) {}
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        placedByDialogManager = WindowArea(m_hWnd);
        init_(m_hWnd);
        return TRUE;
    }
    RECT placedByDialogManager = {};

  private:
    std::function<void(HWND)> init_;
};

TEST(DialogPlacement, ADialogThatPlacesOrShowsItselfKeepsThatPlace) {
    PlacedDialog moved([](HWND window) {
        SetWindowPos(window, nullptr, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    });
    RunDialog(moved, [](HWND window) {
        EXPECT_EQ(37, WindowArea(window).left);
        EXPECT_EQ(41, WindowArea(window).top);
    });

    PlacedDialog shown([](HWND window) { ShowWindow(window, SW_SHOWNORMAL); });
    RunDialog(shown, [&](HWND window) {
        EXPECT_EQ(shown.placedByDialogManager.left, WindowArea(window).left);
        EXPECT_EQ(shown.placedByDialogManager.top, WindowArea(window).top);
    });

    PlacedDialog untouched([](HWND) {});
    RunDialog(untouched, [](HWND window) { ExpectCentredOver(WindowArea(window), WorkArea()); });
}

TEST(DialogPlacement, OnlyATemplateAtTheOriginWithoutPlacementStylesIsCentred) {
    struct Case {
        bool extended;
        DWORD style;
        short x, y;
        bool centred;
    } const cases[] = {
        {false, WS_POPUP, 0, 0, true},    {false, WS_POPUP, 3, 0, false},
        {false, WS_POPUP, 0, 3, false},   {false, WS_POPUP | DS_ABSALIGN, 0, 0, false},
        {false, DS_CENTER, 0, 0, false},  {false, DS_CENTERMOUSE, 0, 0, false},
        {true, WS_POPUP, 0, 0, true},     {true, WS_POPUP, 0, -2, false},
        {true, DS_ABSALIGN, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.extended << " " << std::hex << c.style << " " << c.x << "," << c.y);
        WORD words[16] = {};
        // Classic: style, extended style, item count, x, y. Extended:
        // version 1, 0xFFFF, help id, extended style, style, item count, x, y.
        const int styleAt = c.extended ? 6 : 0, xAt = c.extended ? 9 : 5;
        if (c.extended) {
            words[0] = 1;
            words[1] = 0xFFFF;
        }
        words[styleAt] = LOWORD(c.style);
        words[styleAt + 1] = HIWORD(c.style);
        words[xAt] = static_cast<WORD>(c.x);
        words[xAt + 1] = static_cast<WORD>(c.y);
        EXPECT_EQ(c.centred, TemplateLeavesPlacement(words));
    }
}

// A window of its own to own a dialog, gone with the test.
class OwnerWindow : public CWnd {
  public:
    OwnerWindow() {
        SubclassWindow(CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                                       40, 300, 200, nullptr, nullptr, nullptr, nullptr));
    }
    ~OwnerWindow() override { DestroyWindow(UnsubclassWindow()); }
};

TEST(DialogPlacement, AMinimisedOwnerIsNoPlaceToCentreOn) {
    OwnerWindow owner;
    ASSERT_NE(nullptr, owner.m_hWnd);
    ShowWindow(owner.m_hWnd, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(owner.m_hWnd));
    PlacedDialog dialog([](HWND) {}, &owner);
    RunDialog(dialog, [&](HWND window) {
        EXPECT_EQ(owner.m_hWnd, GetWindow(window, GW_OWNER));
        ExpectCentredOver(WindowArea(window), WorkArea());
    });
}

} // namespace
