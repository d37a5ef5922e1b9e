// The window objects of the framework: a subclassed window's messages reach
// its own object, a parent hands its children's notifications to the child's
// object, and an object lets go of its window when the window goes.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/Wnd.h"

namespace {

constexpr UINT kProbe = WM_APP + 1;
constexpr int kChildId = 42;
constexpr LRESULT kChildAnswer = 0x5a5a;

// Records what reaches WindowProc and answers kProbe with its own tag. On
// WM_SETTEXT it first sends itself kProbe, so that Default() must still hand
// on the outer message.
class RecordingWnd : public CWnd {
  public:
    explicit RecordingWnd(LRESULT tag) : tag_(tag) {}
    std::vector<UINT> seen;
    std::vector<UINT> notified;
    bool answersNotifications = true;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back(message);
        if (message == kProbe)
            return tag_;
        if (message == WM_SETTEXT)
            SendMessage(kProbe);
        return CWnd::WindowProc(message, wParam, lParam);
    }
    bool OnChildNotify(UINT message, WPARAM, LPARAM, LRESULT* result) override {
        notified.push_back(message);
        if (!answersNotifications)
            return false;
        *result = kChildAnswer;
        return true;
    }

  private:
    LRESULT tag_;
};

class WndTest : public testing::Test {
  protected:
    WndTest() {
        parentWindow = ::CreateWindowA("STATIC", "parent", WS_POPUP, 0, 0, 200, 100, nullptr,
                                       nullptr, nullptr, nullptr);
        childWindow = ::CreateWindowA("STATIC", "child", WS_CHILD, 0, 0, 50, 20, parentWindow,
                                      reinterpret_cast<HMENU>(kChildId), nullptr, nullptr);
    }
    ~WndTest() override {
        if (::IsWindow(parentWindow))
            ::DestroyWindow(parentWindow);
    }

    HWND parentWindow = nullptr;
    HWND childWindow = nullptr;
    RecordingWnd parent{1};
    RecordingWnd child{2};
};

TEST_F(WndTest, EachWindowsMessagesReachItsOwnObjectAndDefaultHandsOnTheOuterOne) {
    ASSERT_TRUE(parent.SubclassWindow(parentWindow));
    ASSERT_TRUE(child.SubclassWindow(childWindow));
    EXPECT_EQ(&parent, CWnd::FromHandlePermanent(parentWindow));
    EXPECT_EQ(1, ::SendMessageA(parentWindow, kProbe, 0, 0));
    EXPECT_EQ(2, ::SendMessageA(childWindow, kProbe, 0, 0));
    EXPECT_EQ(std::vector<UINT>({kProbe}), child.seen);

    // The nested kProbe must not replace the message Default() passes on.
    ::SetWindowTextA(childWindow, "changed");
    EXPECT_EQ(std::vector<UINT>({kProbe, WM_SETTEXT, kProbe}), child.seen);
    EXPECT_EQ("changed", child.GetWindowText());

    // One object, one window: a second object is refused.
    RecordingWnd other(3);
    EXPECT_FALSE(other.SubclassWindow(childWindow));
    EXPECT_EQ(2, ::SendMessageA(childWindow, kProbe, 0, 0));
}

TEST_F(WndTest, AParentHandsItsChildsNotificationsToTheChildsObject) {
    ASSERT_TRUE(parent.SubclassWindow(parentWindow));
    ASSERT_TRUE(child.SubclassWindow(childWindow));
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_STATIC;
    draw.CtlID = kChildId;
    draw.hwndItem = childWindow;
    DRAWITEMSTRUCT menuDraw = draw;
    menuDraw.CtlType = ODT_MENU;
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_LISTVIEW;
    measure.CtlID = kChildId;
    NMHDR header = {childWindow, kChildId, NM_CLICK};
    HDC dc = ::GetDC(childWindow);
    struct Case {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool reflected;
    } cases[] = {
        {WM_DRAWITEM, kChildId, reinterpret_cast<LPARAM>(&draw), true},
        {WM_MEASUREITEM, kChildId, reinterpret_cast<LPARAM>(&measure), true},
        {WM_NOTIFY, kChildId, reinterpret_cast<LPARAM>(&header), true},
        {WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(childWindow),
         true},
        {WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(childWindow), true},
        // A menu's items are drawn by the menu's owner, not by a control.
        {WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menuDraw), false},
    };
    for (const Case& c : cases) {
        child.notified.clear();
        const LRESULT answer = ::SendMessageA(parentWindow, c.message, c.wParam, c.lParam);
        EXPECT_EQ(c.reflected, answer == kChildAnswer) << "message " << c.message;
        EXPECT_EQ(c.reflected ? std::vector<UINT>({c.message}) : std::vector<UINT>(),
                  child.notified)
            << "message " << c.message;
    }

    // A child that leaves the notification alone gets the parent's default.
    child.answersNotifications = false;
    EXPECT_NE(kChildAnswer,
              ::SendMessageA(parentWindow, WM_NOTIFY, kChildId, reinterpret_cast<LPARAM>(&header)));
    EXPECT_EQ(std::vector<UINT>({WM_NOTIFY}), child.notified);
    // A child without an object is not asked.
    child.UnsubclassWindow();
    child.notified.clear();
    EXPECT_NE(kChildAnswer,
              ::SendMessageA(parentWindow, WM_NOTIFY, kChildId, reinterpret_cast<LPARAM>(&header)));
    EXPECT_TRUE(child.notified.empty());
    ::ReleaseDC(childWindow, dc);
}

TEST_F(WndTest, TheObjectLetsGoOfItsWindowWhenEitherGoes) {
    // The window goes first: after its last message the object holds nothing.
    ASSERT_TRUE(child.SubclassWindow(childWindow));
    ASSERT_TRUE(::DestroyWindow(childWindow));
    EXPECT_EQ(nullptr, child.m_hWnd);
    EXPECT_NE(child.seen.end(), std::find(child.seen.begin(), child.seen.end(), WM_DESTROY));
    // ... and can take another window.
    EXPECT_TRUE(child.SubclassWindow(parentWindow));
    child.UnsubclassWindow();

    // The object goes first: the window works on with its own procedure.
    {
        RecordingWnd shortLived(4);
        ASSERT_TRUE(shortLived.SubclassWindow(parentWindow));
    }
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(parentWindow));
    EXPECT_EQ(0, ::SendMessageA(parentWindow, kProbe, 0, 0));
    ::SetWindowTextA(parentWindow, "still here");
    char text[32] = {};
    ::GetWindowTextA(parentWindow, text, sizeof(text));
    EXPECT_STREQ("still here", text);
}

} // namespace
