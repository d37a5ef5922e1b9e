#pragma once
// The program's window: the archive's address, the list of files and the
// check, update and exit buttons. Its state is in the buttons: which are
// enabled and what the exit button says.
#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "ui/UpdateList.h"

class MainDialog : public CDialog {
  public:
    explicit MainDialog(CWnd* parent = nullptr);
    ~MainDialog() override = default;

    BOOL OnInitDialog() override;

    CButton m_btnUpdate;
    CButton m_btnExit;
    CButton m_btnCheck;
    UpdateList m_listUpdate;
    std::string m_strUrl;
    HICON m_hIcon = nullptr;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;     // the check
    void OnCancel() override; // the exit, asking while updates are pending
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon() { return m_hIcon; }
    void OnUpdateButton();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void RedrawList();
};
