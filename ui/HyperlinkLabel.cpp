#include "ui/HyperlinkLabel.h"

#include <shellapi.h>

namespace {
const COLORREF kLinkColour = RGB(0, 0, 255);
} // namespace

ScopedCursor LoadHelpViewerHand(const std::string& windowsFolder) {
    const ScopedModule viewer(::LoadLibraryA((windowsFolder + "\\winhlp32.exe").c_str()));
    if (!viewer)
        return ScopedCursor();
    HCURSOR hand = ::LoadCursorA(viewer.get(), MAKEINTRESOURCEA(106));
    if (hand == nullptr)
        return ScopedCursor();
    return ScopedCursor(static_cast<HCURSOR>(::CopyIcon(hand)));
}

HyperlinkLabel::HyperlinkLabel() {
    // 13 characters stay free for "\winhlp32.exe".
    char folder[MAX_PATH] = {};
    UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH - 13);
    if (length > 0 && length < MAX_PATH - 13)
        handCursor_ = LoadHelpViewerHand(folder);
    m_hCursor = handCursor_ ? handCursor_.get() : ::LoadCursorA(nullptr, IDC_ARROW);
    m_brush.CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
}

HyperlinkLabel::~HyperlinkLabel() {
    // The control may outlive the label: it must not keep our font.
    if (m_hWnd != nullptr && !m_font.IsEmpty() && GetFont() == m_font.GetSafeHandle())
        SetFont(nullptr, FALSE);
    UnsubclassWindow();
}

HBRUSH HyperlinkLabel::CtlColor(HDC dc, UINT) {
    if (!fontTried_) {
        // Once in the label's life, also when it fails: a control without a
        // font of its own shows the system font, so that is the one to
        // underline; a font that cannot be made leaves the control's own.
        fontTried_ = true;
        HFONT current = GetFont();
        if (current == nullptr)
            current = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
        LOGFONTA description = {};
        if (::GetObjectA(current, sizeof(description), &description) == sizeof(description)) {
            description.lfUnderline = 1;
            if (m_font.CreateFontIndirect(description)) {
                SetFont(m_font.GetSafeHandle(), FALSE);
                InvalidateRect(nullptr, TRUE);
            }
        }
    }
    ::SetTextColor(dc, kLinkColour);
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    return m_brush.GetSafeHandle();
}

BOOL HyperlinkLabel::OnSetCursor(HWND, UINT, UINT) {
    ::SetCursor(m_hCursor);
    return TRUE;
}

void HyperlinkLabel::OnLButtonUp(UINT, POINT) {
    const std::string target = GetWindowText();
    ::ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT HyperlinkLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETCURSOR:
        return OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wParam),
                    POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return Default();
    default:
        return CStatic::WindowProc(message, wParam, lParam);
    }
}

bool HyperlinkLabel::OnChildNotify(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC)
        return false;
    *result = reinterpret_cast<LRESULT>(
        CtlColor(reinterpret_cast<HDC>(wParam), message - WM_CTLCOLORMSGBOX));
    return true;
}
