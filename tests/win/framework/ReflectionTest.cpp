// A parent hands its children's owner-draw, notification and colour messages
// to the child's own object.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "framework/Wnd.h"

namespace {

constexpr int kChildId = 42;
constexpr LRESULT kChildAnswer = 0x5a5a;

// Records the notifications reflected to it and answers them.
class RecordingWnd : public CWnd {
  public:
    std::vector<UINT> notified;
    bool answersNotifications = true;

  protected:
    bool OnChildNotify(UINT message, WPARAM, LPARAM, LRESULT* result) override {
        notified.push_back(message);
        if (!answersNotifications)
            return false;
        *result = kChildAnswer;
        return true;
    }
};

class ReflectionTest : public testing::Test {
  protected:
    ReflectionTest() {
        parentWindow = ::CreateWindowA("STATIC", "parent", WS_POPUP, 0, 0, 200, 100, nullptr,
                                       nullptr, nullptr, nullptr);
        childWindow = ::CreateWindowA("STATIC", "child", WS_CHILD, 0, 0, 50, 20, parentWindow,
                                      reinterpret_cast<HMENU>(kChildId), nullptr, nullptr);
    }
    ~ReflectionTest() override {
        if (::IsWindow(parentWindow))
            ::DestroyWindow(parentWindow);
    }

    HWND parentWindow = nullptr;
    HWND childWindow = nullptr;
    RecordingWnd parent;
    RecordingWnd child;
};

TEST_F(ReflectionTest, AParentHandsItsChildsNotificationsToTheChildsObject) {
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

} // namespace
