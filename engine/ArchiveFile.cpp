#include "engine/ArchiveFile.h"

#include <windows.h>

#include <algorithm>

#include "engine/ArchiveEnds.h"
#include "engine/Diagnostics.h"
#include "framework/WinApp.h"
#include "tar32/Core.h"

namespace {

// Free space is asked again after this much was written.
constexpr unsigned long long kFreeSpaceRecheck = 1024 * 1024;

// The archive library's margin: the download and the unpacking together
// never leave the volume fuller than that.
unsigned long long g_freeSpaceMargin = tar32::kFreeSpaceMargin;

// The folder that holds path ("C:\a\b\" for "C:\a\b\Archive.zip").
std::string FolderOf(const std::string& path) {
    char full[MAX_PATH * 2];
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, &name);
    if (length == 0 || length >= sizeof(full) || name == nullptr)
        return path;
    return std::string(full, name);
}

} // namespace

bool ArchiveFile::Create(const std::string& path) {
    path_ = path;
    folder_ = FolderOf(path);
    // Readable too, so that the ends of a body without a length can be
    // checked through the same handle.
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_)
        return true;
    LogCause("cannot create %s: %s", path.c_str(), Win32ErrorText(GetLastError()).c_str());
    AfxMessageBox("下記ﾃﾝﾎﾟﾗﾘﾌｧｲﾙを作成できません。\r\n\r\n" + path, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

BodySink ArchiveFile::Sink(const std::optional<unsigned long long>& length) {
    // A length that does not fit is refused before a byte is written.
    if (length && !Allows(*length))
        return BodySink();
    return [this](const char* data, std::size_t size) {
        if (!Allows(size))
            return false;
        DWORD done = 0;
        if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &done, nullptr) ||
            done != size) {
            LogCause("cannot write %s: %s", path_.c_str(), Win32ErrorText(GetLastError()).c_str());
            return false;
        }
        written_ += size;
        sinceCheck_ += size;
        free_ -= size;
        return true;
    };
}

bool ArchiveFile::Restart() {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get())) {
        LogCause("cannot empty %s: %s", path_.c_str(), Win32ErrorText(GetLastError()).c_str());
        return false;
    }
    written_ = 0;
    return true;
}

bool ArchiveFile::EndsWhole() {
    return ArchiveEndsWhole(written_,
                            [this](unsigned long long offset, void* buffer, std::size_t size) {
                                return ReadAt(offset, buffer, size);
                            });
}

// Whether bytes more may be written with the margin still free; the free
// space is asked again every MiB, and whenever it may not suffice.
bool ArchiveFile::Allows(unsigned long long bytes) {
    if (!freeKnown_ || sinceCheck_ + bytes > kFreeSpaceRecheck || bytes > free_) {
        ULARGE_INTEGER available;
        if (!GetDiskFreeSpaceExA(folder_.c_str(), &available, nullptr, nullptr)) {
            LogCause("not enough space: cannot read the free space of %s: %s", folder_.c_str(),
                     Win32ErrorText(GetLastError()).c_str());
            return false;
        }
        free_ = available.QuadPart;
        freeKnown_ = true;
        sinceCheck_ = 0;
    }
    if (free_ < g_freeSpaceMargin || bytes > free_ - g_freeSpaceMargin) {
        LogCause("not enough space: %llu more bytes would leave less than %llu free in %s", bytes,
                 g_freeSpaceMargin, folder_.c_str());
        return false;
    }
    return true;
}

bool ArchiveFile::ReadAt(unsigned long long offset, void* buffer, std::size_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN))
        return false;
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
        if (!ReadFile(file_.get(), bytes, want, &got, nullptr) || got == 0)
            return false;
        bytes += got;
        size -= got;
    }
    return true;
}

unsigned long long SetFreeSpaceMarginForTests(unsigned long long bytes) {
    const unsigned long long previous = g_freeSpaceMargin;
    g_freeSpaceMargin = bytes;
    return previous;
}
