#include "engine/FileCopy.h"

#include <windows.h>

#include <vector>

#include "win/ScopedHandle.h"

namespace {
constexpr DWORD kBlockSize = 64 * 1024;
} // namespace

// CopyFileA is not used: Wine's takes a read error for the end of the file
// and reports the short copy as a success.
bool CopyWholeFile(const std::string& source, const std::string& destination) {
    ScopedFile in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in)
        return false;
    ScopedFile out(CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    std::vector<char> block(kBlockSize);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), block.data(), kBlockSize, &got, nullptr))
            return false;
        if (got == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(out.get(), block.data(), got, &written, nullptr) || written != got)
            return false;
    }
    FILETIME lastWrite;
    return GetFileTime(in.get(), nullptr, nullptr, &lastWrite) &&
           SetFileTime(out.get(), nullptr, nullptr, &lastWrite) && FlushFileBuffers(out.get());
}
