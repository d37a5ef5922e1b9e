// Resource identifiers shared by Tovarind.rc and the program. Only #define
// lines: the resource compiler reads this file too.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_UPDATE 3
#define IDC_UPDATE_LIST 1001
#define IDC_VERSION_TEXT 1002
#define IDC_WEB_LINK 1003
#define IDC_URL_TEXT 1004
#define IDC_LEGAL_TEXT 1004
#define IDM_ABOUTBOX 0x0010
