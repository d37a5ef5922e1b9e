#pragma once
// Modal dialogs from a dialog template, with data exchange between the
// dialog's controls and its members.
#include <windows.h>

#include <string>

#include "framework/Wnd.h"

// Direction and target of one data exchange.
class CDataExchange {
  public:
    CDataExchange(CWnd* dialog, bool saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    bool m_bSaveAndValidate; // true: controls -> members
    CWnd* m_pDlgWnd;
};

// Binds control id of the dialog to control (subclasses it) once.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Exchanges the window text of control id with value.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);

class CDialog : public CWnd {
  public:
    // A dialog without a parent is owned by the application's main window
    // (when that is another window), so that it is modal to it.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override = default;

    // Runs the dialog until EndDialog; the value given to EndDialog, or -1
    // when the template cannot be loaded.
    virtual INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
    // Runs DoDataExchange in the given direction.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // After the controls exist: binds and fills them. Returning TRUE lets
    // the dialog manager put the focus on the first tab stop.
    virtual BOOL OnInitDialog();

    // Centres the window over its owner, or on the work area of its monitor
    // when it has no visible owner, and keeps it inside that work area.
    void CenterWindow();

  protected:
    // IDOK: controls -> members, then the end with IDOK.
    virtual void OnOK();
    // IDCANCEL (also Esc and the close box): the end with IDCANCEL.
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}

    // Routes IDOK and IDCANCEL to OnOK and OnCancel.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Whether the dialog is still where the dialog manager put it from a
    // template that left the placement to the program.
    bool WantsCentring(const RECT& placed, DWORD styleBefore) const;
};

// Whether a dialog template (classic or extended) leaves the dialog's
// placement to the program: it sits at (0,0) and asks the dialog manager
// for no placement of its own (DS_ABSALIGN, DS_CENTER, DS_CENTERMOUSE).
bool TemplateLeavesPlacement(const void* dialogTemplate);

// The module that holds the program's resources.
HINSTANCE AfxGetResourceHandle();
