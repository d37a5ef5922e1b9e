#include "framework/Wnd.h"

#include <unordered_map>
#include <vector>

namespace {
// The object of every subclassed window, looked up on each of its messages.
// A window property would do the same, but under Wine every GetPropA is a
// round trip to the wineserver, and a list filled row by row sees thousands
// of messages. An entry lives from SubclassWindow to UnsubclassWindow (at the
// latest the window's WM_NCDESTROY), so a handle value that a later window
// reuses finds nothing. No lock: a window procedure always runs on the thread
// that created the window, and the program makes all its windows on its one
// user-interface thread.
std::unordered_map<HWND, CWnd*>& Objects() {
    static std::unordered_map<HWND, CWnd*> objects;
    return objects;
}
} // namespace

CWnd::~CWnd() {
    UnsubclassWindow();
}

bool CWnd::SubclassWindow(HWND hwnd) {
    if (m_hWnd != nullptr || hwnd == nullptr || !::IsWindow(hwnd) ||
        FromHandlePermanent(hwnd) != nullptr)
        return false;
    // Known before the first message reaches SubclassProc.
    Objects()[hwnd] = this;
    ::SetLastError(0);
    const LONG_PTR previous =
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc));
    if (previous == 0 && ::GetLastError() != 0) {
        // A window of another process, say: it stays as it was.
        Objects().erase(hwnd);
        return false;
    }
    m_hWnd = hwnd;
    previous_ = reinterpret_cast<WNDPROC>(previous);
    return true;
}

HWND CWnd::UnsubclassWindow() {
    HWND hwnd = m_hWnd;
    if (hwnd == nullptr)
        return nullptr;
    if (::IsWindow(hwnd))
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    // Also for a window already gone: its handle value may come back.
    Objects().erase(hwnd);
    m_hWnd = nullptr;
    previous_ = nullptr;
    return hwnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    if (hwnd == nullptr)
        return nullptr;
    const auto found = Objects().find(hwnd);
    return found != Objects().end() ? found->second : nullptr;
}

std::string WindowText(HWND window) {
    int length = ::GetWindowTextLengthA(window);
    if (length <= 0)
        return std::string();
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    int got = ::GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

std::string CWnd::GetWindowText() const {
    return WindowText(m_hWnd);
}

void CWnd::ScreenToClient(RECT* rect) const {
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    ::ScreenToClient(m_hWnd, &corners[0]);
    ::ScreenToClient(m_hWnd, &corners[1]);
    *rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ReflectChildNotify(message, wParam, lParam, &result))
        return result;
    return Default();
}

LRESULT CWnd::Default() {
    return CallPrevious(curMessage_, curWParam_, curLParam_);
}

LRESULT CWnd::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) {
    if (previous_ == nullptr)
        return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
    return ::CallWindowProcA(previous_, m_hWnd, message, wParam, lParam);
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

bool CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    HWND child = nullptr;
    switch (message) {
    case WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (draw != nullptr && draw->CtlType != ODT_MENU)
            child = draw->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        // The request names the control only by its ID.
        const auto* measure = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
        if (measure != nullptr && measure->CtlType != ODT_MENU)
            child = ::GetDlgItem(m_hWnd, static_cast<int>(measure->CtlID));
        break;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr)
            child = header->hwndFrom;
        break;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        child = reinterpret_cast<HWND>(lParam);
        break;
    default:
        return false;
    }
    CWnd* object = FromHandlePermanent(child);
    if (object == nullptr || object == this)
        return false;
    return object->OnChildNotify(message, wParam, lParam, result);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* self = FromHandlePermanent(hwnd);
    if (self == nullptr)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);

    // Messages nest (a handler may send others to the same window).
    const UINT savedMessage = self->curMessage_;
    const WPARAM savedWParam = self->curWParam_;
    const LPARAM savedLParam = self->curLParam_;
    self->curMessage_ = message;
    self->curWParam_ = wParam;
    self->curLParam_ = lParam;

    LRESULT result = 0;
    if (message == WM_NCDESTROY) {
        // The window's last message: let it go before the object outlives it.
        WNDPROC previous = self->previous_;
        self->UnsubclassWindow();
        result = ::CallWindowProcA(previous, hwnd, message, wParam, lParam);
        return result;
    }
    result = self->WindowProc(message, wParam, lParam);

    self->curMessage_ = savedMessage;
    self->curWParam_ = savedWParam;
    self->curLParam_ = savedLParam;
    return result;
}
