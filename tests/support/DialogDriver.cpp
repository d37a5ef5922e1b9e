#include "tests/support/DialogDriver.h"

#include <gtest/gtest.h>

#include <map>

#include "framework/Dialog.h"

namespace {

std::map<UINT_PTR, std::function<void()>>& Steps() {
    static std::map<UINT_PTR, std::function<void()>> steps;
    return steps;
}

void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto found = Steps().find(id);
    if (found == Steps().end())
        return;
    std::function<void()> step = std::move(found->second);
    Steps().erase(found);
    step();
}

} // namespace

void Later(UINT ms, std::function<void()> step) {
    UINT_PTR id = SetTimer(nullptr, 0, ms, &RunStep);
    Steps()[id] = std::move(step);
}

namespace {
struct DialogSearch {
    std::string caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    if (IsWindowVisible(window) && TextOf(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
} // namespace

HWND FindThreadDialog(const std::string& caption) {
    DialogSearch search = {caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TextOf(HWND window) {
    return WindowText(window);
}

std::string ItemTextOf(HWND dialog, int id) {
    return TextOf(GetDlgItem(dialog, id));
}

RECT WorkArea() {
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

RECT WindowArea(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

void ExpectCentredOver(const RECT& inner, const RECT& outer) {
    EXPECT_NEAR((outer.left + outer.right) / 2.0, (inner.left + inner.right) / 2.0, 1.0);
    EXPECT_NEAR((outer.top + outer.bottom) / 2.0, (inner.top + inner.bottom) / 2.0, 1.0);
}

RECT DialogUnits(HWND dialog, int left, int top, int width, int height) {
    // Converted one by one, as the dialog manager places a control.
    RECT place = {left, top, width, height};
    MapDialogRect(dialog, &place);
    return {place.left, place.top, place.left + place.right, place.top + place.bottom};
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool HasPixel(HDC dc, const RECT& rect, COLORREF colour) {
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (GetPixel(dc, x, y) == colour)
                return true;
    return false;
}

MemoryCanvas::MemoryCanvas(int width, int height) {
    const ScopedWindowDc screen(nullptr);
    dc_.reset(CreateCompatibleDC(screen.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    selected_.emplace(dc_.get(), bitmap_.get());
}

INT_PTR RunDialog(CDialog& dialog, const std::function<void(HWND)>& body) {
    Later(100, [&dialog, &body] {
        HWND window = dialog.m_hWnd;
        body(window);
        // EndDialog hides the dialog at once; a visible one is still running.
        if (IsWindow(window) && IsWindowVisible(window) && dialog.m_hWnd == window)
            EndDialog(window, -2);
    });
    return dialog.DoModal();
}
