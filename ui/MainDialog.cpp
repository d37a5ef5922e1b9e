#include "ui/MainDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "app/UpdaterApp.h"
#include "res/resource.h"
#include "ui/AboutDialog.h"
#include "ui/CellText.h"
#include "win/ScopedHandle.h"

namespace {
const char kAbortCaption[] = "中止";

// The bar's scale; a body of unknown length fills half of it at this size,
// and ever more slowly beyond, so that the bar still moves with the bytes.
constexpr int kProgressScale = 1000;
constexpr double kHalfScaleBytes = 1024.0 * 1024.0;

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

    CreateProgressBar();

    m_btnUpdate.EnableWindow(FALSE);
    return TRUE;
}

// Over the address line, hidden until a transfer shows it.
void MainDialog::CreateProgressBar() {
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HWND url = ::GetDlgItem(m_hWnd, IDC_URL_TEXT);
    RECT place = {};
    ::GetWindowRect(url, &place);
    ScreenToClient(&place);
    progress_ =
        CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | PBS_SMOOTH, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, m_hWnd,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)),
                        AfxGetResourceHandle(), nullptr);
    if (progress_ != nullptr) {
        ::SendMessageA(progress_, PBM_SETRANGE32, 0, kProgressScale);
        ::SetWindowPos(progress_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void MainDialog::TransferBegun() {
    if (progress_ == nullptr)
        return;
    ::SendMessageA(progress_, PBM_SETPOS, 0, 0);
    ::ShowWindow(::GetDlgItem(m_hWnd, IDC_URL_TEXT), SW_HIDE);
    ::ShowWindow(progress_, SW_SHOWNA);
    ::UpdateWindow(progress_);
}

void MainDialog::TransferProgress(unsigned long long received,
                                  std::optional<unsigned long long> length) {
    if (progress_ == nullptr)
        return;
    double share = 0;
    if (length)
        share = *length == 0 ? 1.0 : static_cast<double>(received) / static_cast<double>(*length);
    else
        share = static_cast<double>(received) / (static_cast<double>(received) + kHalfScaleBytes);
    const int position = static_cast<int>(std::min(share, 1.0) * kProgressScale);
    ::SendMessageA(progress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainDialog::TransferEnded() {
    if (progress_ == nullptr)
        return;
    ::ShowWindow(progress_, SW_HIDE);
    ::ShowWindow(::GetDlgItem(m_hWnd, IDC_URL_TEXT), SW_SHOWNA);
}

// During the check only the ways out act: the exit button, the close box
// (and Alt+F4), Esc; the caption still moves the window. The rest of the
// input, the system menu's included, is dropped.
bool MainDialog::TakesInput(const MSG& msg) {
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (msg.wParam == VK_ESCAPE) {
            SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                        reinterpret_cast<LPARAM>(m_btnExit.m_hWnd));
            return false;
        }
        return msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4;
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
        return msg.hwnd == m_hWnd &&
               (msg.wParam == HTCAPTION || msg.wParam == HTCLOSE || msg.message == WM_NCMOUSEMOVE);
    default:
        break;
    }
    if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST)
        return msg.hwnd == m_btnExit.m_hWnd &&
               (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONDOWN ||
                msg.message == WM_LBUTTONUP || msg.message == WM_LBUTTONDBLCLK);
    return false;
}

void MainDialog::RedrawList() {
    m_listUpdate.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void MainDialog::OnOK() {
    // The Enter key reaches here even once the check button is disabled;
    // there is one check per run.
    if (!m_btnCheck.IsWindowEnabled())
        return;

    // The check runs inside this handler, the dialog answering meanwhile
    // (engine/Transfer.h): the input it takes, the progress and the way out
    // are this dialog's.
    int count = 0;
    bool checked = false;
    checking_ = true;
    {
        ScopedTransferWatch watch(this);
        checked = App().CheckForUpdates(m_listUpdate.head, &count);
    }
    checking_ = false;
    if (leaving_ || !checked) // leaving: the dialog has ended already
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
    // During the check the caption is the ready dialog's: the end, at once.
    if (checking_)
        leaving_ = true;
    if (m_btnExit.GetWindowText() != kAbortCaption) {
        CDialog::OnCancel();
        return;
    }
    if (AfxMessageBox("更新ﾌｧｲﾙがあります。\r\n未処理のまま終了してもよろしいですか？",
                      MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
        EndDialog(IDCANCEL);
}

void MainDialog::OnSysCommand(UINT id, LPARAM) {
    // The close box comes this way; the About item waits for the check.
    if (checking_ && (id & 0xFFF0) != SC_CLOSE && (id & 0xFFF0) != SC_MOVE)
        return;
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
    case WM_SETCURSOR:
        // The hourglass of the check, but not where the user may still leave.
        if (checking_ && LOWORD(lParam) == HTCLIENT &&
            reinterpret_cast<HWND>(wParam) != m_btnExit.m_hWnd) {
            ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
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
