#pragma once
// One owner for a Windows handle: closed when the owner goes, on every path.
#include <windows.h>

template <class Traits> class ScopedHandle {
  public:
    using Handle = typename Traits::Handle;

    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (*this)
            Traits::Close(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

  private:
    Handle handle_;
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { FreeLibrary(handle); }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;     // CreateFile
using ScopedModule = ScopedHandle<ModuleHandleTraits>; // LoadLibrary
