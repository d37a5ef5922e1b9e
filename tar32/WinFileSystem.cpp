#include "tar32/WinFileSystem.h"

#include <windows.h>
// After windows.h: RtlGenRandom (advapi32, Windows' own).
#include <ntsecapi.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "win/FileObjectId.h"
#include "win/ScopedHandle.h"

namespace tar32 {
namespace {

class FileSource : public Source {
  public:
    FileSource(ScopedFile file, std::uint64_t size, const FileObjectId& identity)
        : file_(std::move(file)), size_(size), identity_(identity) {}
    std::uint64_t Size() const override { return size_; }
    bool IsSameFile(const std::string& path) const override {
        FileObjectId other;
        return IdentifyFileObject(path, other) && other == identity_;
    }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            OVERLAPPED at{};
            const std::uint64_t position = offset + done;
            at.Offset = static_cast<DWORD>(position);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
            if (!ReadFile(file_.get(), static_cast<char*>(data) + done, want, &got, &at)) {
                if (GetLastError() == ERROR_HANDLE_EOF) {
                    break;
                }
                Fail(TAR32_ERROR_OPEN, "cannot read the archive");
            }
            if (got == 0) {
                break;
            }
            done += got;
        }
        return done;
    }

  private:
    ScopedFile file_;
    std::uint64_t size_;
    FileObjectId identity_;
};

class TempFile : public OutFile {
  public:
    TempFile(ScopedFile file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
    ~TempFile() override {
        // Not committed: the file goes, closed first so that it can.
        if (file_) {
            file_.reset();
            DeleteFileA(path_.c_str());
        }
    }
    bool Write(const void* data, std::size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file_.get(), p, chunk, &written, nullptr) || written == 0) {
                return false;
            }
            p += written;
            size -= written;
        }
        return true;
    }
    bool Commit(const std::string& finalPath, const FileTime& time) override {
        bool ok = true;
        if (time.kind != FileTime::None) {
            std::uint64_t ticks = 0;
            ok = WrittenFileTime(time, ticks);
            FILETIME ft;
            ft.dwLowDateTime = static_cast<DWORD>(ticks);
            ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
            ok = ok && SetFileTime(file_.get(), nullptr, nullptr, &ft);
        }
        // Closed here, not by the owner: a failed close loses written data.
        ok = CloseHandle(file_.release()) && ok;
        if (!ok || !MoveFileExA(path_.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileA(path_.c_str());
            return false;
        }
        return true;
    }

  private:
    ScopedFile file_;
    std::string path_;
};

bool SystemRandom(unsigned char* bytes, std::size_t size) {
    return RtlGenRandom(bytes, static_cast<ULONG>(size)) != FALSE;
}

} // namespace

WinFileSystem::WinFileSystem(RandomSource random)
    : random_(random ? std::move(random) : SystemRandom) {}

bool WrittenFileTime(const FileTime& time, std::uint64_t& utcTicks) {
    if (time.kind == FileTime::None) {
        return false;
    }
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(time.ticks);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time.ticks) >> 32);
    if (time.kind == FileTime::Local) {
        // A DOS time is wall time: convert it with the rules of its own date.
        SYSTEMTIME local;
        SYSTEMTIME utc;
        if (!FileTimeToSystemTime(&ft, &local) ||
            !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
            !SystemTimeToFileTime(&utc, &ft)) {
            return false;
        }
    }
    utcTicks = static_cast<std::uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    return true;
}

std::unique_ptr<Source> WinFileSystem::OpenRead(const std::string& path) {
    ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return nullptr;
    }
    const std::uint64_t size =
        static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    const FileObjectId identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                   information.nFileIndexLow};
    return std::make_unique<FileSource>(std::move(file), size, identity);
}

bool WinFileSystem::MakeFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        return true;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::unique_ptr<OutFile> WinFileSystem::CreateTemp(const std::string& folder) {
    // Random names: an archive cannot take them in advance, as it can the
    // 65,535 that GetTempFileName walks through in order.
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (!random_(random, sizeof random)) {
            return nullptr;
        }
        std::string path = folder + "t32";
        for (unsigned char byte : random) {
            path += "0123456789abcdef"[byte >> 4];
            path += "0123456789abcdef"[byte & 15];
        }
        path += ".tmp";
        ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return std::make_unique<TempFile>(std::move(file), path);
        }
        const DWORD error = GetLastError();
        // A folder or a file being deleted answers "access denied".
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            error != ERROR_ACCESS_DENIED) {
            return nullptr;
        }
    }
    return nullptr;
}

bool WinFileSystem::FreeSpace(const std::string& folder, std::uint64_t& bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return false;
    }
    bytes = available.QuadPart;
    return true;
}

bool WinFileSystem::Utf8ToShiftJis(const std::string& utf8, std::string& sjis) {
    if (utf8.empty()) {
        sjis.clear();
        return true;
    }
    const int inLen = static_cast<int>(utf8.size());
    const int wideLen =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, nullptr, 0);
    if (wideLen <= 0) {
        return false;
    }
    std::vector<wchar_t> wide(wideLen);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, wide.data(), wideLen);
    BOOL lossy = FALSE;
    const int outLen = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wideLen, nullptr,
                                           0, nullptr, &lossy);
    if (outLen <= 0 || lossy) {
        return false;
    }
    sjis.resize(outLen);
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wideLen, &sjis[0], outLen, nullptr,
                        &lossy);
    return !lossy;
}

} // namespace tar32
