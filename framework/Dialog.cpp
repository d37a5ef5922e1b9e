#include "framework/Dialog.h"

#include <cstring>

#include "framework/WinApp.h"

HINSTANCE AfxGetResourceHandle() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_hInstance != nullptr)
        return app->m_hInstance;
    return ::GetModuleHandleA(nullptr);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd == nullptr)
        control.SubclassWindow(pDX->m_pDlgWnd->GetDlgItem(id));
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
    HWND item = pDX->m_pDlgWnd->GetDlgItem(id);
    if (item == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = WindowText(item);
    } else {
        ::SetWindowTextA(item, value.c_str());
    }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (owner == nullptr) {
        CWinApp* app = AfxGetApp();
        CWnd* main = app != nullptr ? app->m_pMainWnd : nullptr;
        if (main != nullptr && main != this && main->m_hWnd != nullptr && ::IsWindow(main->m_hWnd))
            owner = ::GetLastActivePopup(main->m_hWnd);
    }
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate != FALSE);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return 0;
        case IDCANCEL:
            OnCancel();
            return 0;
        default:
            break;
        }
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

// The dialog manager's callback. Once WM_INITDIALOG arrives the dialog window
// is subclassed, so that every later message reaches WindowProc first and
// Default() is the dialog manager's own processing, which calls back here
// and gets FALSE ("not handled").
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG)
        return FALSE;
    auto* self = reinterpret_cast<CDialog*>(lParam);
    if (self == nullptr || !self->SubclassWindow(hwnd))
        return TRUE;
    RECT placed;
    ::GetWindowRect(hwnd, &placed);
    const DWORD styleBefore = static_cast<DWORD>(::GetWindowLongA(hwnd, GWL_STYLE));
    const BOOL result = self->OnInitDialog();
    if (::IsWindow(hwnd) && self->WantsCentring(placed, styleBefore))
        self->CenterWindow();
    return result;
}

// A dialog that placed or showed itself during its initialisation keeps
// that; so does one whose template gives a place or asks the dialog
// manager to centre it. A modeless dialog beside an enabled owner is left
// where it is too.
bool CDialog::WantsCentring(const RECT& placed, DWORD styleBefore) const {
    if ((styleBefore & WS_VISIBLE) != 0)
        return false;
    if ((::GetWindowLongA(m_hWnd, GWL_STYLE) & (WS_VISIBLE | WS_CHILD)) != 0)
        return false;
    RECT now;
    ::GetWindowRect(m_hWnd, &now);
    if (now.left != placed.left || now.top != placed.top)
        return false;
    const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowEnabled(owner))
        return false;
    const HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(m_nIDTemplate), RT_DIALOG);
    const void* dialogTemplate =
        found != nullptr ? ::LockResource(::LoadResource(module, found)) : nullptr;
    return dialogTemplate != nullptr && TemplateLeavesPlacement(dialogTemplate);
}

void CDialog::CenterWindow() {
    // An owner that cannot be seen is no place to centre on.
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr) {
        const LONG style = ::GetWindowLongA(owner, GWL_STYLE);
        if ((style & WS_VISIBLE) == 0 || (style & WS_MINIMIZE) != 0)
            owner = nullptr;
    }
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    RECT centre;
    if (owner != nullptr) {
        ::GetWindowRect(owner, &centre);
        ::GetMonitorInfoA(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    } else {
        // The monitor of the application's main window, where the user
        // is looking; for the main window itself, its own.
        CWinApp* app = AfxGetApp();
        HWND reference = m_hWnd;
        if (app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd->m_hWnd != nullptr)
            reference = app->m_pMainWnd->m_hWnd;
        ::GetMonitorInfoA(::MonitorFromWindow(reference, MONITOR_DEFAULTTOPRIMARY), &monitor);
        centre = monitor.rcWork;
    }
    const RECT& area = monitor.rcWork;

    RECT self;
    ::GetWindowRect(m_hWnd, &self);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int left = (centre.left + centre.right) / 2 - width / 2;
    int top = (centre.top + centre.bottom) / 2 - height / 2;
    // Inside the work area; a dialog larger than it keeps its top-left
    // corner (caption and system menu) on the screen.
    if (left + width > area.right)
        left = area.right - width;
    if (left < area.left)
        left = area.left;
    if (top + height > area.bottom)
        top = area.bottom - height;
    if (top < area.top)
        top = area.top;
    ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TemplateLeavesPlacement(const void* dialogTemplate) {
    // The fields are read by offset: a resource is only WORD-aligned.
    const auto* bytes = static_cast<const unsigned char*>(dialogTemplate);
    WORD version = 0, signature = 0;
    std::memcpy(&version, bytes, sizeof(version));
    std::memcpy(&signature, bytes + 2, sizeof(signature));
    const bool extended = version == 1 && signature == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style,
    // item count, x, y. DLGTEMPLATE: style, extended style, item count, x, y.
    DWORD style = 0;
    short x = 0, y = 0;
    std::memcpy(&style, bytes + (extended ? 12 : 0), sizeof(style));
    std::memcpy(&x, bytes + (extended ? 18 : 10), sizeof(x));
    std::memcpy(&y, bytes + (extended ? 20 : 12), sizeof(y));
    return (style & (DS_ABSALIGN | DS_CENTER | DS_CENTERMOUSE)) == 0 && x == 0 && y == 0;
}
