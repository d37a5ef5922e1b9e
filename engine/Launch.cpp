#include "engine/Launch.h"

#include <windows.h>

#include <vector>

#include "app/UpdaterApp.h"
#include "engine/Diagnostics.h"
#include "win/ScopedHandle.h"

bool RunProgram(const std::string& commandLine, int showCommand) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION process = {};
    // CreateProcessA may write into the command line.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &startup, &process)) {
        LogCause("cannot start %s: %s", commandLine.c_str(),
                 Win32ErrorText(GetLastError()).c_str());
        return false;
    }
    const ScopedProcessInformation started(process);
    return true;
}

void UpdaterApp::StartAutoRun(bool openDocument) {
    // The program first: the document may be meant to open beside it.
    if (!settings_.Program.empty()) {
        // The whole value is the executable's path: blanks in it belong to it.
        const std::string commandLine = "\"" + ModuleFolder() + settings_.Program + "\"";
        if (!RunProgram(commandLine, SW_SHOWDEFAULT))
            AfxMessageBox("下記ﾌﾟﾛｸﾞﾗﾑの起動に失敗しました。\r\n\r\n" + commandLine,
                          MB_OK | MB_ICONEXCLAMATION);
    }
    if (openDocument && !settings_.UpdateDoc.empty()) {
        const std::string document = ModuleFolder() + settings_.UpdateDoc;
        // The shell answers above 32 when it opened the document; 32 itself
        // is SE_ERR_DLLNOTFOUND.
        if (const INT_PTR result = ShellOpen(document); result <= 32) {
            LogCause("the shell cannot open %s: code %ld", document.c_str(),
                     static_cast<long>(result));
            AfxMessageBox("下記ﾄﾞｷｭﾒﾝﾄが開けません。\r\n\r\n" + document,
                          MB_OK | MB_ICONEXCLAMATION);
        }
    }
}

INT_PTR UpdaterApp::ShellOpen(const std::string& path) const {
    return reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}
