#include "framework/Dialog.h"

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
        int length = ::GetWindowTextLengthA(item);
        std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
        int got = ::GetWindowTextA(item, &text[0], static_cast<int>(text.size()));
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        value = text;
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
    return self->OnInitDialog();
}
