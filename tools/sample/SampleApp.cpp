// The sample application that the demo (and the end-to-end tests) keep up
// to date. It notes every start in SampleApp.log beside itself, then shows a
// small window with its version and its data file; with a file
// SampleApp.autoclose beside it, it ends right after noting the start.
#include <windows.h>

#include <cstdio>
#include <string>

#include "win/ScopedHandle.h"

#ifndef SAMPLE_VERSION
#define SAMPLE_VERSION "1.0"
#endif

namespace {

std::string OwnFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[512];
        size_t got = std::fread(buffer, 1, sizeof(buffer), file);
        text.assign(buffer, got);
        std::fclose(file);
    }
    return text;
}

void NoteStart(const std::string& folder) {
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    if (FILE* log = std::fopen((folder + "SampleApp.log").c_str(), "ab")) {
        std::fprintf(log, "started version %s; command line %s; folder %s\r\n", SAMPLE_VERSION,
                     GetCommandLineA(), current);
        std::fclose(log);
    }
}

std::string g_text;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        const ScopedPaint paint(window);
        HDC dc = paint.dc();
        RECT client;
        GetClientRect(window, &client);
        InflateRect(&client, -16, -16);
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, g_text.c_str(), -1, &client, DT_LEFT | DT_TOP | DT_NOPREFIX | DT_WORDBREAK);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const std::string folder = OwnFolder();
    NoteStart(folder);
    if (GetFileAttributesA((folder + "SampleApp.autoclose").c_str()) != INVALID_FILE_ATTRIBUTES)
        return 0;

    g_text = "サンプル アプリケーション バージョン " SAMPLE_VERSION
             "\r\n\r\ndata\\sample.dat:\r\n" +
             ReadText(folder + "data\\sample.dat");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TovarindSampleApp";
    RegisterClassA(&windowClass);
    HWND window =
        CreateWindowA("TovarindSampleApp", "サンプル アプリ " SAMPLE_VERSION, WS_OVERLAPPEDWINDOW,
                      420, 300, 420, 200, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
