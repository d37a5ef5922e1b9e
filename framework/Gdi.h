#pragma once
// Owners of GDI objects and drawing-context state: each releases what it
// holds when it goes out of scope.
#include <windows.h>

// A GDI object (font, brush) deleted with its owner.
template <typename Handle> class CGdiObject {
  public:
    CGdiObject() = default;
    explicit CGdiObject(Handle handle) : handle_(handle) {}
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    Handle GetSafeHandle() const { return handle_; }
    bool IsEmpty() const { return handle_ == nullptr; }
    // Takes ownership of handle, releasing the previous one.
    void Attach(Handle handle) {
        DeleteObject();
        handle_ = handle;
    }
    void DeleteObject() {
        if (handle_ != nullptr)
            ::DeleteObject(handle_);
        handle_ = nullptr;
    }

  private:
    Handle handle_ = nullptr;
};

class CFont : public CGdiObject<HFONT> {
  public:
    BOOL CreateFontIndirect(const LOGFONTA& font) {
        Attach(::CreateFontIndirectA(&font));
        return !IsEmpty();
    }
    // A font of pointSize tenths of a point, converted through dc's vertical
    // resolution (the screen's when dc is null); everything else default.
    BOOL CreatePointFont(int pointSize, const char* faceName, HDC dc);
};

class CBrush : public CGdiObject<HBRUSH> {
  public:
    BOOL CreateSolidBrush(COLORREF colour) {
        Attach(::CreateSolidBrush(colour));
        return !IsEmpty();
    }
};

// Saves a drawing context's state and restores it on scope exit.
class CSaveDC {
  public:
    explicit CSaveDC(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
    ~CSaveDC() {
        if (saved_ != 0)
            ::RestoreDC(dc_, saved_);
    }
    CSaveDC(const CSaveDC&) = delete;
    CSaveDC& operator=(const CSaveDC&) = delete;

  private:
    HDC dc_;
    int saved_;
};

// Paints rect in colour the way a solid fill does: the context's text
// background becomes colour and the rectangle is painted opaquely.
void FillSolidRect(HDC dc, const RECT& rect, COLORREF colour);
