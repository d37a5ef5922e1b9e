#pragma once
// The program's window: the archive's address, the list of files and the
// check, update and exit buttons. Its state is in the buttons: which are
// enabled and what the exit button says. While the check receives the
// archive, a progress bar takes the address's place, the dialog keeps
// answering, and only the exit button, the close box and Esc act: they
// leave at once.
#include <optional>
#include <string>

#include "engine/Transfer.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "ui/UpdateList.h"

class MainDialog : public CDialog, private TransferWatch {
  public:
    // The progress bar's control ID (made at run time, not in the template).
    static constexpr int kProgressBarId = 1005;

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
    void CreateProgressBar();

    // TransferWatch, for the transfers of the check.
    void TransferBegun() override;
    void TransferProgress(unsigned long long received,
                          std::optional<unsigned long long> length) override;
    void TransferEnded() override;
    bool TakesInput(const MSG& msg) override;
    bool Leaving() const override { return leaving_; }

    HWND progress_ = nullptr; // a child: destroyed with the dialog
    bool checking_ = false;
    bool leaving_ = false;
};
