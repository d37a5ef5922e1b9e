// Walks the demo through check -> update -> launch when nobody is at the
// screen: starts Tovarind.exe in the demo's program folder, presses its
// buttons, answers its message boxes and saves a screenshot at each step.
//
//   demo_pilot.exe <program folder> <screenshot folder>
#include <windows.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "tests/e2e/Desktop.h"

namespace {

constexpr DWORD kWait = 60000;

void Shot(const std::string& folder, const std::string& name) {
    Settle(800);
    std::string path = folder + name + ".bmp";
    ScreenCapture(ScreenArea()).SaveBmp(path);
    std::printf("pilot: screenshot %s\n", name.c_str());
    std::fflush(stdout);
}

bool AnswerBox(DWORD processId, const std::string& folder, const std::string& shot) {
    SeenMessageBox box = WaitForMessageBox(processId, "Tovarind", kWait);
    if (box.window == nullptr)
        return false;
    Shot(folder, shot);
    PressButton(box.window, IDOK);
    for (int i = 0; i < 200 && IsWindow(box.window); ++i)
        Sleep(25);
    return true;
}

int Fail(const char* what, DWORD processId) {
    std::fprintf(stderr, "pilot: %s\n%s", what, DescribeWindows(processId).c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo_pilot <program folder\\> <screenshot folder\\>\n");
        return 2;
    }
    const std::string app = argv[1];
    const std::string shots = argv[2];
    RunningProgram tovarind(app + "Tovarind.exe", "", app);
    if (!tovarind.Started())
        return Fail("Tovarind.exe did not start", 0);
    const DWORD id = tovarind.Id();

    HWND dialog = WaitForCaption(id, "を更新 by Tovarind", true, kWait);
    if (dialog == nullptr)
        return Fail("the main dialog did not appear", id);
    Shot(shots, "1-start");

    PressButton(dialog, IDOK);
    if (!AnswerBox(id, shots, "2-checked"))
        return Fail("the check did not report", id);
    Shot(shots, "3-ready-to-update");

    PressButton(dialog, IDC_UPDATE);
    if (!AnswerBox(id, shots, "4-updated"))
        return Fail("the update did not report", id);
    if (!tovarind.WaitForExit(kWait))
        return Fail("Tovarind did not end", id);

    if (WaitForCaption(0, "サンプル アプリ 2.0", true, kWait) == nullptr)
        return Fail("the updated sample application did not start", 0);
    WaitForCaption(0, "更新履歴", true, 10000);
    Shot(shots, "5-launched");
    return 0;
}
