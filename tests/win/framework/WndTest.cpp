// Window objects found from their windows: through messages that nest, after
// letting go of a window, after its destruction and when a new window gets
// the old one's handle value.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Wnd.h"

namespace {

const char kClassName[] = "TovarindWndTest";
const int kChildId = 7;

std::vector<std::string> g_log;

std::string Entry(const char* who, UINT message, WPARAM wParam) {
    return std::string(who) + " " + std::to_string(message - WM_APP) + " " +
           std::to_string(static_cast<unsigned long long>(wParam));
}

// The procedure the objects' Default() reaches: it answers wParam + 1.
LRESULT CALLBACK ClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && message < WM_APP + 100) {
        g_log.push_back(Entry("class", message, wParam));
        return static_cast<LRESULT>(wParam + 1);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK SwallowNcDestroy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY)
        return 0;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class Recorder : public CWnd {
  public:
    explicit Recorder(const char* name) : name_(name) {}

    // Runs within the handling of message, before Default().
    std::function<void(UINT message)> during;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message >= WM_APP && message < WM_APP + 100) {
            g_log.push_back(Entry(name_, message, wParam));
            if (during)
                during(message);
            return Default();
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    bool OnChildNotify(UINT message, WPARAM, LPARAM, LRESULT* result) override {
        if (message != WM_NOTIFY)
            return false;
        g_log.push_back(std::string(name_) + " notified");
        if (during)
            during(message);
        *result = 42;
        return true;
    }

  private:
    const char* name_;
};

class WndTest : public testing::Test {
  protected:
    WndTest() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &ClassProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
        parent = Make(nullptr);
        child = Make(parent);
        g_log.clear();
    }
    ~WndTest() override {
        if (IsWindow(parent))
            DestroyWindow(parent);
    }

    static HWND Make(HWND owner) {
        return CreateWindowExA(0, kClassName, "", owner ? WS_CHILD : WS_POPUP, 0, 0, 50, 50, owner,
                               owner ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildId))
                                     : nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    static WNDPROC ProcOf(HWND hwnd) {
        return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
    }

    HWND parent = nullptr;
    HWND child = nullptr;
};

TEST_F(WndTest, NestedMessagesReachTheirOwnObjectsAndDefaultKeepsItsOwn) {
    Recorder dialog("parent"), control("child");
    ASSERT_TRUE(dialog.SubclassWindow(parent));
    ASSERT_TRUE(control.SubclassWindow(child));
    // The outer message sends one to the same window, one to the child and a
    // notification that comes back to the child's object, which in turn
    // sends to the parent again: three levels deep.
    dialog.during = [&](UINT message) {
        if (message != WM_APP)
            return;
        EXPECT_EQ(11, SendMessageA(parent, WM_APP + 1, 10, 0));
        EXPECT_EQ(21, SendMessageA(child, WM_APP + 2, 20, 0));
        NMHDR header = {child, kChildId, 0};
        EXPECT_EQ(42, SendMessageA(parent, WM_NOTIFY, kChildId, reinterpret_cast<LPARAM>(&header)));
    };
    control.during = [&](UINT message) {
        if (message == WM_NOTIFY) {
            EXPECT_EQ(31, SendMessageA(parent, WM_APP + 3, 30, 0));
        }
    };

    EXPECT_EQ(2, SendMessageA(parent, WM_APP, 1, 0));
    const std::vector<std::string> expected = {
        "parent 0 1", "parent 1 10",    "class 1 10",  "child 2 20",
        "class 2 20", "child notified", "parent 3 30", "class 3 30",
        "class 0 1", // Default() of the outer message, with its own parameters
    };
    EXPECT_EQ(expected, g_log);
}

TEST_F(WndTest, ObjectIsFoundOnlyWhileItHoldsTheWindow) {
    const WNDPROC classProc = ProcOf(child);
    {
        Recorder control("child");
        ASSERT_TRUE(control.SubclassWindow(child));
        EXPECT_EQ(&control, CWnd::FromHandlePermanent(child));
        Recorder other("other");
        EXPECT_FALSE(other.SubclassWindow(child));
        EXPECT_FALSE(control.SubclassWindow(parent));
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(parent));

        EXPECT_EQ(child, control.UnsubclassWindow());
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(child));
        EXPECT_EQ(classProc, ProcOf(child));
        SendMessageA(child, WM_APP, 1, 0);
        EXPECT_EQ(std::vector<std::string>{"class 0 1"}, g_log);

        // Free again: another object takes it and lets go when destroyed.
        ASSERT_TRUE(other.SubclassWindow(child));
        EXPECT_EQ(&other, CWnd::FromHandlePermanent(child));
    }
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(child));
    EXPECT_EQ(classProc, ProcOf(child));

    // A window this process may not subclass leaves nothing behind.
    Recorder desktop("desktop");
    EXPECT_FALSE(desktop.SubclassWindow(GetDesktopWindow()));
    EXPECT_EQ(nullptr, desktop.GetSafeHwnd());
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(GetDesktopWindow()));
}

// A handle value comes back once the system reuses the window's slot (under
// Wine after 65,533 windows in it, too slow to wait for here): what keeps a
// new window from finding the old object is the entry going with the window.
TEST_F(WndTest, DestroyedWindowLeavesNoEntryForItsHandleValue) {
    Recorder dialog("parent"), control("child");
    ASSERT_TRUE(dialog.SubclassWindow(parent));
    ASSERT_TRUE(control.SubclassWindow(child));
    DestroyWindow(parent);
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
    EXPECT_EQ(nullptr, control.GetSafeHwnd());
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(parent));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(child));

    // A procedure above the object's that never passes WM_NCDESTROY on: the
    // object learns of the end only when it is destroyed itself.
    HWND window = Make(nullptr);
    {
        Recorder late("late");
        ASSERT_TRUE(late.SubclassWindow(window));
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SwallowNcDestroy));
        DestroyWindow(window);
        ASSERT_FALSE(IsWindow(window));
        EXPECT_EQ(&late, CWnd::FromHandlePermanent(window));
    }
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(window));
}

} // namespace
