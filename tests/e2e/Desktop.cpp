#include "tests/e2e/Desktop.h"

#include <cstdio>

RunningProgram::RunningProgram(const std::string& exe, const std::string& arguments,
                               const std::string& currentFolder) {
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder.c_str(), &startup, &process))
        return;
    process_.process.reset(process.hProcess);
    process_.thread.reset(process.hThread);
    id_ = process.dwProcessId;
    WaitForInputIdle(process_.process.get(), 10000);
}

RunningProgram::~RunningProgram() {
    if (process_.process && WaitForSingleObject(process_.process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.process.get(), 99);
        WaitForSingleObject(process_.process.get(), 5000);
    }
}

bool RunningProgram::WaitForExit(DWORD timeoutMs) {
    return process_.process &&
           WaitForSingleObject(process_.process.get(), timeoutMs) == WAIT_OBJECT_0;
}

namespace {

// The visible top-level windows of a process, or of all when processId is 0.
std::vector<HWND> TopLevelWindows(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM data) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if ((s->processId == 0 || owner == s->processId) && IsWindowVisible(window))
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    do {
        for (HWND window : TopLevelWindows(processId)) {
            if (match(window))
                return window;
        }
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND WaitForCaption(DWORD processId, const std::string& title, bool partial, DWORD timeoutMs) {
    return WaitForWindow(
        processId,
        [&](HWND window) {
            const std::string caption = WindowText(window);
            return partial ? caption.find(title) != std::string::npos : caption == title;
        },
        timeoutMs);
}

SeenMessageBox WaitForMessageBox(DWORD processId, const std::string& caption, DWORD timeoutMs) {
    SeenMessageBox seen;
    seen.window = WaitForWindow(
        processId,
        [&](HWND window) {
            return ClassName(window) == "#32770" && WindowText(window) == caption &&
                   GetDlgItem(window, 0xFFFF) != nullptr;
        },
        timeoutMs);
    if (seen.window != nullptr)
        seen = {seen.window, WindowText(seen.window), ItemText(seen.window, 0xFFFF)};
    return seen;
}

std::string DescribeWindows(DWORD processId) {
    std::string description;
    for (HWND window : TopLevelWindows(processId)) {
        description += "[" + ClassName(window) + "] \"" + WindowText(window) + "\"";
        if (HWND text = GetDlgItem(window, 0xFFFF))
            description += ": " + WindowText(text);
        description += "\n";
    }
    return description.empty() ? "no visible windows" : description;
}

std::string WindowText(HWND window) {
    char text[4096] = {};
    DWORD_PTR length = 0;
    if (window == nullptr ||
        !SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length))
        return std::string();
    return std::string(text, length);
}

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

bool ItemEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Settle(DWORD ms) {
    Sleep(ms);
}

RECT WindowArea(HWND window) {
    RECT area = {};
    GetWindowRect(window, &area);
    return area;
}

RECT ScreenArea() {
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

ScreenCapture::ScreenCapture(const RECT& area)
    : width_(area.right - area.left), height_(area.bottom - area.top) {
    if (width_ <= 0 || height_ <= 0) {
        width_ = height_ = 0;
        return;
    }
    stride_ = (width_ * 3 + 3) & ~3;
    bgr_.assign(static_cast<std::size_t>(stride_) * height_, 0);
    const ScopedWindowDc screen(nullptr);
    const ScopedMemoryDc memory(CreateCompatibleDC(screen.get()));
    const ScopedGdiObject bitmap(CreateCompatibleBitmap(screen.get(), width_, height_));
    {
        const ScopedSelectObject selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width_, height_, screen.get(), area.left, area.top, SRCCOPY);
    }
    BITMAPINFO info = {};
    info.bmiHeader = Header();
    GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, height_, bgr_.data(), &info,
              DIB_RGB_COLORS);
}

BITMAPINFOHEADER ScreenCapture::Header() const {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width_;
    info.biHeight = height_;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(bgr_.size());
    return info;
}

COLORREF ScreenCapture::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return CLR_INVALID;
    const unsigned char* p = &bgr_[static_cast<std::size_t>(height_ - 1 - y) * stride_ + x * 3];
    return RGB(p[2], p[1], p[0]);
}

int ScreenCapture::Count(COLORREF colour) const {
    int count = 0;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x)
            count += Pixel(x, y) == colour;
    }
    return count;
}

bool ScreenCapture::SaveBmp(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const BITMAPINFOHEADER info = Header();
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + info.biSizeImage;
    const bool ok = std::fwrite(&header, sizeof(header), 1, file) == 1 &&
                    std::fwrite(&info, sizeof(info), 1, file) == 1 &&
                    std::fwrite(bgr_.data(), 1, bgr_.size(), file) == bgr_.size();
    return std::fclose(file) == 0 && ok;
}
