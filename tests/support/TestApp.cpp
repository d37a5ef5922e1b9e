#include "tests/support/TestApp.h"

#include "framework/Wnd.h"
#include "tests/support/Scratch.h"

TestApp::TestApp(std::string programFolder) : folder_(std::move(programFolder)) {
    InitModuleNames(nullptr);
}

int TestApp::DoMessageBox(const char* prompt, UINT type, UINT) {
    const bool shown = m_pMainWnd != nullptr && IsWindow(m_pMainWnd->m_hWnd) &&
                       IsWindowVisible(m_pMainWnd->m_hWnd);
    messages.push_back({prompt, AfxMessageBoxStyle(type), shown});
    if (answers.empty())
        return IDOK;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

void TestApp::WriteSettings(const std::string& iniText, const std::string& name) {
    WriteFileBytes(folder_ + name, iniText);
    SetProfileName(folder_ + name);
}

std::vector<std::string> TestApp::MessageTexts() const {
    std::vector<std::string> texts;
    for (const Message& message : messages)
        texts.push_back(message.text);
    return texts;
}
