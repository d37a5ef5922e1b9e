#pragma once
// The application object: one global instance of a CWinApp subclass exists
// before WinMain runs; WinMain calls its InitInstance. Every message box of
// the program goes through AfxMessageBox and so through the virtual
// DoMessageBox, which tests replace to capture messages.
#include <windows.h>

#include <string>

#include "framework/CommandLine.h"

class CWnd;

class CWinApp {
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up; false ends the program without a message loop.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // Message loop, only entered when InitInstance returned true.
    virtual int Run();

    // Shows prompt in the application's message box (caption: the
    // application name, style: AfxMessageBoxStyle) and returns the answer.
    virtual int DoMessageBox(const char* prompt, UINT type, UINT helpId);

    // Hands the process's arguments (after the program name) to info.
    void ParseCommandLine(CCommandLineInfo& info);

    // Replaces the profile (settings) file name; the object owns the copy.
    void SetProfileName(const std::string& path);

    // Fills the module, exe and application names from the running module.
    void InitModuleNames(HINSTANCE instance);

    HINSTANCE m_hInstance = nullptr;
    const char* m_pszAppName = "";     // caption of every message box
    const char* m_pszExeName = "";     // executable file name, no folder, no extension
    const char* m_pszProfileName = ""; // settings file every profile read goes through
    CWnd* m_pMainWnd = nullptr;

  private:
    std::string appName_;
    std::string exeName_;
    std::string profileName_;
};

CWinApp* AfxGetApp();

// The style a message box is shown with: a box asked for without an icon
// gets the warning icon (MB_OK, MB_OKCANCEL) or the question icon (MB_YESNO,
// MB_YESNOCANCEL).
UINT AfxMessageBoxStyle(UINT type);

int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
inline int AfxMessageBox(const std::string& text, UINT type = MB_OK, UINT helpId = 0) {
    return AfxMessageBox(text.c_str(), type, helpId);
}

// The file a module was loaded from (nullptr: the running program), as the
// loader gives it; "" when it cannot be had whole.
std::string ModuleFileName(HMODULE module);

// The body of WinMain: start-up of the global application object.
int AfxWinMain(HINSTANCE instance);
