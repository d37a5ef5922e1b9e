#pragma once
// A window object over an HWND. A window can be subclassed: its messages then
// reach the object's WindowProc first, and Default() hands the message being
// handled to the window procedure it had before. A parent offers the owner-
// draw, measure, notify and colour messages of a child back to the child's
// own object (OnChildNotify), so that a control answers for itself.
#include <windows.h>

#include <string>

// The whole text of a window or control.
std::string WindowText(HWND window);

class CWnd {
  public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Takes over an existing window; false when the window is gone, cannot
    // be subclassed from here or already belongs to another object.
    bool SubclassWindow(HWND hwnd);
    // Gives the window its previous procedure back and lets go of it.
    HWND UnsubclassWindow();
    // The object that has subclassed hwnd, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Thin wrappers of the Win32 calls on m_hWnd.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void ScreenToClient(RECT* rect) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    BOOL RedrawWindow(const RECT* update = nullptr, HRGN region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
        return ::RedrawWindow(m_hWnd, update, region, flags);
    }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) {
        ::InvalidateRect(m_hWnd, rect, erase);
    }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void SetRedraw(BOOL redraw = TRUE) { SendMessage(WM_SETREDRAW, static_cast<WPARAM>(redraw)); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big) {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    void SetFont(HFONT font, BOOL redraw = TRUE) {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }

    HWND m_hWnd = nullptr;

  protected:
    // Every message of a subclassed window. Overrides switch on the messages
    // they handle and pass the rest to their base; this one offers children's
    // notifications to the children and otherwise calls Default().
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The message being handled, through the window's previous procedure.
    LRESULT Default();
    // Any message through the window's previous procedure.
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);

    // A notification that the parent got from this control and offers back:
    // WM_DRAWITEM, WM_MEASUREITEM, WM_NOTIFY or WM_CTLCOLOR*. Return true when
    // handled, with the parent's answer in *result.
    virtual bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Offers message to the object of the child it comes from; false when
    // that child has no object or leaves the message alone.
    bool ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC previous_ = nullptr;
    UINT curMessage_ = 0;
    WPARAM curWParam_ = 0;
    LPARAM curLParam_ = 0;
};
