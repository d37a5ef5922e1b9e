#include "app/UpdaterApp.h"
#include "ui/MainDialog.h"

void UpdaterApp::RunMainDialog() {
    MainDialog dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
}
