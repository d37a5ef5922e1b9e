#pragma once
// One owner for each Windows handle: closed when the owner goes, on every
// path. Header-only and free of the program's framework, so that the archive
// library, the program and the tests share it.
#include <windows.h>

template <class Traits> class ScopedHandle {
  public:
    using Handle = typename Traits::Handle;

    ScopedHandle() : handle_(Traits::Invalid()) {}
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

    // Takes handle (or nothing) and closes the one held before.
    void reset(Handle handle = Traits::Invalid()) {
        const Handle old = handle_;
        handle_ = handle;
        if (old != Traits::Invalid() && old != handle)
            Traits::Close(old);
    }

    // Gives the handle up to the caller, who closes it from now on.
    Handle release() {
        const Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }

  private:
    Handle handle_;
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// Processes, threads, events: null when there is none.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { FindClose(handle); }
};

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { FreeLibrary(handle); }
};

struct CursorHandleTraits {
    using Handle = HCURSOR;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DestroyCursor(handle); }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DeleteObject(handle); }
};

// A memory device context from CreateCompatibleDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DeleteDC(handle); }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;           // CreateFile
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>; // CreateProcess, CreateEvent
using ScopedFind = ScopedHandle<FindHandleTraits>;           // FindFirstFile
using ScopedModule = ScopedHandle<ModuleHandleTraits>;       // LoadLibrary
using ScopedCursor = ScopedHandle<CursorHandleTraits>;       // CopyIcon of a cursor
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;       // CreateCompatibleBitmap, ...
using ScopedMemoryDc = ScopedHandle<MemoryDcTraits>;         // CreateCompatibleDC

// Both handles CreateProcess gives back, closed together.
struct ScopedProcessInformation {
    ScopedProcessInformation() = default;
    explicit ScopedProcessInformation(const PROCESS_INFORMATION& info)
        : process(info.hProcess), thread(info.hThread) {}
    ScopedKernelHandle process;
    ScopedKernelHandle thread;
};

// An object selected into a device context for as long as the guard lives;
// the one it replaced is selected back when it goes. A null object selects
// nothing.
class ScopedSelectObject {
  public:
    ScopedSelectObject(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// GetDC and ReleaseDC as one owner; a null window: the screen.
class ScopedWindowDc {
  public:
    explicit ScopedWindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedWindowDc() {
        if (dc_ != nullptr)
            ReleaseDC(window_, dc_);
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint and EndPaint as one owner.
class ScopedPaint {
  public:
    explicit ScopedPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC dc() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};
