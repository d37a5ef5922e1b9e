#include "ui/MainDialog.h"

#include <cstdio>

#include "app/UpdaterApp.h"
#include "res/resource.h"
#include "ui/AboutDialog.h"
#include "ui/CellText.h"
#include "win/ScopedHandle.h"

namespace {
const char kAbortCaption[] = "中止";

UpdaterApp& App() {
    return *static_cast<UpdaterApp*>(AfxGetApp());
}
} // namespace

MainDialog::MainDialog(CWnd* parent)
    : CDialog(IDD_MAIN_DIALOG, parent), m_strUrl(App().Settings().URL),
      m_hIcon(LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

void MainDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UPDATE, m_btnUpdate);
    DDX_Control(pDX, IDCANCEL, m_btnExit);
    DDX_Control(pDX, IDOK, m_btnCheck);
    DDX_Control(pDX, IDC_UPDATE_LIST, m_listUpdate);
    DDX_Text(pDX, IDC_URL_TEXT, m_strUrl);
}

BOOL MainDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU menu = GetSystemMenu(FALSE)) {
        char about[256] = {};
        LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof(about));
        if (about[0] != '\0') {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    SetIcon(m_hIcon, TRUE);

    m_listUpdate.InitList(30);

    // Growing the list by one pixel makes it ask for its row height again,
    // now that the list can answer with the height just set.
    RECT rect;
    m_listUpdate.GetWindowRect(&rect);
    ScreenToClient(&rect);
    m_listUpdate.MoveWindow(rect.left, rect.top, rect.right - rect.left, rect.bottom + 1 - rect.top,
                            TRUE);

    SetWindowText(FormatOneString(GetWindowText(), App().Settings().Title));

    m_btnUpdate.EnableWindow(FALSE);
    return TRUE;
}

void MainDialog::RedrawList() {
    m_listUpdate.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void MainDialog::OnOK() {
    // The Enter key reaches here even once the check button is disabled;
    // there is one check per run.
    if (!m_btnCheck.IsWindowEnabled())
        return;

    int count = 0;
    if (!App().CheckForUpdates(m_listUpdate.head, &count))
        return;
    RedrawList();
    m_btnCheck.EnableWindow(FALSE);

    if (count > 0) {
        m_btnExit.SetWindowText(kAbortCaption);
        m_btnUpdate.EnableWindow(TRUE);
        m_btnUpdate.SetFocus();
        char text[256];
        std::snprintf(text, sizeof(text),
                      "%d件の更新ﾌｧｲﾙがあります。\r\n確認の上、更新ボタンを押下してください。",
                      count);
        AfxMessageBox(text, MB_ICONINFORMATION);
        return;
    }
    AfxMessageBox("新しい更新ﾌｧｲﾙはありません。\r\n終了します。", MB_ICONINFORMATION);
    CDialog::OnOK();
    App().StartAutoRun(false);
}

void MainDialog::OnUpdateButton() {
    const bool allCopied = App().ApplyUpdates(m_listUpdate.head);
    RedrawList();
    if (allCopied) {
        AfxMessageBox("更新は全て完了しました。\r\n終了します。", MB_ICONINFORMATION);
        App().StartAutoRun(true);
        CDialog::OnOK();
        return;
    }
    AfxMessageBox("更新処理でｴﾗｰが起きています。\r\n"
                  "更新対象ﾌﾟﾛｸﾞﾗﾑが起動していると更新は失敗します。\r\n"
                  "その場合は、対象ﾌﾟﾛｸﾞﾗﾑを終了して再度更新ボタンを押下してください。",
                  MB_ICONINFORMATION);
}

void MainDialog::OnCancel() {
    if (m_btnExit.GetWindowText() != kAbortCaption) {
        CDialog::OnCancel();
        return;
    }
    if (AfxMessageBox("更新ﾌｧｲﾙがあります。\r\n未処理のまま終了してもよろしいですか？",
                      MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        EndDialog(IDCANCEL);
}

void MainDialog::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        AboutDialog about;
        about.DoModal();
        return;
    }
    Default();
}

void MainDialog::OnPaint() {
    if (!IsIconic()) {
        Default();
        return;
    }
    const ScopedPaint paint(m_hWnd);
    HDC dc = paint.dc();
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
}

LRESULT MainDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_UPDATE && HIWORD(wParam) == BN_CLICKED) {
            OnUpdateButton();
            return 0;
        }
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
