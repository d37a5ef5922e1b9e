#include "tests/win/ui/UiFixture.h"

#include "ui/MainDialog.h"

INT_PTR RunMainDialogOf(TestApp& app, const std::function<void(HWND, MainDialog&)>& body) {
    MainDialog dialog;
    app.m_pMainWnd = &dialog;
    const INT_PTR result = RunDialog(dialog, [&](HWND window) { body(window, dialog); });
    app.m_pMainWnd = nullptr;
    return result;
}

void Click(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<Box> BoxesOf(const TestApp& app) {
    std::vector<Box> boxes;
    for (const TestApp::Message& message : app.messages)
        boxes.emplace_back(message.text, message.style, message.mainWindowShown);
    return boxes;
}
