#include "framework/WinApp.h"

#include "text/ShiftJis.h"
#include "framework/Wnd.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = nullptr;
}

CWinApp* AfxGetApp() {
    return g_app;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

int CWinApp::Run() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return ExitInstance();
}

UINT AfxMessageBoxStyle(UINT type) {
    if ((type & MB_ICONMASK) != 0)
        return type;
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return type | MB_ICONEXCLAMATION;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return type | MB_ICONQUESTION;
    default:
        return type;
    }
}

int CWinApp::DoMessageBox(const char* prompt, UINT type, UINT) {
    type = AfxMessageBoxStyle(type);
    HWND owner = nullptr;
    if (m_pMainWnd != nullptr && IsWindow(m_pMainWnd->m_hWnd))
        owner = GetLastActivePopup(m_pMainWnd->m_hWnd);
    return MessageBoxA(owner, prompt, m_pszAppName, type);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
    ParseCommandLineArguments(info, SplitCommandLine(GetCommandLineA()));
}

void CWinApp::SetProfileName(const std::string& path) {
    profileName_ = path;
    m_pszProfileName = profileName_.c_str();
}

void CWinApp::InitModuleNames(HINSTANCE instance) {
    m_hInstance = instance;
    std::string name = ModuleFileName(instance);
    // The folder ends at the last backslash; a double-byte character's trail
    // byte can look like one, so walk the text by characters.
    std::size_t slash = sjis::FindLastChar(name, '\\');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    std::size_t dot = name.rfind('.');
    exeName_ = dot == std::string::npos ? name : name.substr(0, dot);
    appName_ = exeName_;
    m_pszExeName = exeName_.c_str();
    m_pszAppName = appName_.c_str();
    SetProfileName(exeName_ + ".INI");
}

std::string ModuleFileName(HMODULE module) {
    char path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof(path));
    return length > 0 && length < sizeof(path) ? std::string(path, length) : std::string();
}

int AfxMessageBox(const char* text, UINT type, UINT helpId) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return MessageBoxA(nullptr, text, "", type | MB_ICONEXCLAMATION);
    return app->DoMessageBox(text, type, helpId);
}

int AfxWinMain(HINSTANCE instance) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return 1;
    app->InitModuleNames(instance);
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
