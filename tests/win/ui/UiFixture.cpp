#include "tests/win/ui/UiFixture.h"

#include "tests/support/TestApp.h"
#include "ui/MainDialog.h"

INT_PTR RunMainDialogOf(TestApp& app, const std::function<void(HWND, MainDialog&)>& body) {
    MainDialog dialog;
    app.m_pMainWnd = &dialog;
    const INT_PTR result = RunDialog(dialog, [&](HWND window) { body(window, dialog); });
    app.m_pMainWnd = nullptr;
    return result;
}
