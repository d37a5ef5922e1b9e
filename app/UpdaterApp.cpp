#include "app/UpdaterApp.h"

#include <commctrl.h>

#include "app/UpdaterCommandLine.h"

BOOL UpdaterApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    if (!PrepareSettings(SplitCommandLine(GetCommandLineA())))
        return FALSE;
    RemoveSetAsideCopies();
    RunMainDialog();
    ClearTempFolder();
    return FALSE;
}

bool UpdaterApp::PrepareSettings(const std::vector<std::string>& arguments) {
    UpdaterCommandLine commandLine(ModuleFolder());
    ParseCommandLineArguments(commandLine, arguments);
    const std::string name = commandLine.m_strSettingsName.empty() ? std::string("Tovarind.ini")
                                                                   : commandLine.m_strSettingsName;
    SetProfileName(ModuleFolder() + name);
    return LoadSettings();
}

std::string UpdaterApp::ModulePath() const {
    return ModuleFileName(nullptr);
}
