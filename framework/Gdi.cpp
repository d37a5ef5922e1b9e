#include "framework/Gdi.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "win/ScopedHandle.h"

BOOL CFont::CreatePointFont(int pointSize, const char* faceName, HDC dc) {
    std::optional<ScopedWindowDc> screen;
    if (dc == nullptr) {
        screen.emplace(nullptr);
        dc = screen->get();
    }
    POINT height = {0, ::GetDeviceCaps(dc, LOGPIXELSY) * pointSize / 720};
    POINT origin = {0, 0};
    ::DPtoLP(dc, &height, 1);
    ::DPtoLP(dc, &origin, 1);

    LOGFONTA font = {};
    font.lfHeight = -std::abs(height.y - origin.y);
    font.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirect(font);
}

void FillSolidRect(HDC dc, const RECT& rect, COLORREF colour) {
    ::SetBkColor(dc, colour);
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}
