#include "engine/Download.h"

#include <windows.h>

#include "engine/ArchiveEnds.h"
#include "engine/Diagnostics.h"
#include "engine/Transfer.h"
#include "framework/WinApp.h"
#include "win/ScopedHandle.h"

namespace {

// The margin tar32.dll keeps when unpacking: the two together never leave
// the volume fuller than this.
constexpr unsigned long long kDefaultFreeSpaceMargin = 16ULL * 1024 * 1024;
// Free space is asked again after this much was written.
constexpr unsigned long long kFreeSpaceRecheck = 1024 * 1024;

unsigned long long g_freeSpaceMargin = kDefaultFreeSpaceMargin;

void ShowReceiveError(const std::string& url) {
    AfxMessageBox("ｱｰｶｲﾌﾞﾃﾞｰﾀ受信中にｴﾗｰが起きました。\r\n\r\n" + url, MB_OK | MB_ICONEXCLAMATION);
}

// The folder that holds path ("C:\a\b\" for "C:\a\b\Archive.zip").
std::string FolderOf(const std::string& path) {
    char full[MAX_PATH * 2];
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, &name);
    if (length == 0 || length >= sizeof(full) || name == nullptr)
        return path;
    return std::string(full, name);
}

// Keeps the archive's volume above the margin while the body is written.
class FreeSpaceGuard {
  public:
    explicit FreeSpaceGuard(std::string folder) : folder_(std::move(folder)) {}

    // Whether bytes more may be written; says why not.
    bool Allows(unsigned long long bytes) {
        if (!known_ || writtenSinceCheck_ + bytes > kFreeSpaceRecheck || bytes > free_) {
            ULARGE_INTEGER available;
            if (!GetDiskFreeSpaceExA(folder_.c_str(), &available, nullptr, nullptr)) {
                LogCause("not enough space: cannot read the free space of %s: %s", folder_.c_str(),
                         Win32ErrorText(GetLastError()).c_str());
                return false;
            }
            free_ = available.QuadPart;
            known_ = true;
            writtenSinceCheck_ = 0;
        }
        if (free_ < g_freeSpaceMargin || bytes > free_ - g_freeSpaceMargin) {
            LogCause("not enough space: %llu more bytes would leave less than %llu free in %s",
                     bytes, g_freeSpaceMargin, folder_.c_str());
            return false;
        }
        free_ -= bytes;
        writtenSinceCheck_ += bytes;
        return true;
    }

  private:
    std::string folder_;
    bool known_ = false;
    unsigned long long free_ = 0;
    unsigned long long writtenSinceCheck_ = 0;
};

// Reads the archive file back at offset, through the handle that wrote it.
bool ReadAt(HANDLE file, unsigned long long offset, void* buffer, std::size_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        return false;
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
        if (!ReadFile(file, bytes, want, &got, nullptr) || got == 0)
            return false;
        bytes += got;
        size -= got;
    }
    return true;
}

} // namespace

DownloadOutcome DownloadArchive(const std::string& url, const std::string& archivePath,
                                std::optional<CWaitCursor>& waitCursor) {
    // Readable too, so that the ends of a body without a length can be
    // checked through the same handle; still shared with nobody.
    ScopedFile file(CreateFileA(archivePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogCause("cannot create %s: %s", archivePath.c_str(),
                 Win32ErrorText(GetLastError()).c_str());
        AfxMessageBox("下記ﾃﾝﾎﾟﾗﾘﾌｧｲﾙを作成できません。\r\n\r\n" + archivePath,
                      MB_OK | MB_ICONEXCLAMATION);
        return DownloadOutcome::FileNotCreated;
    }
    waitCursor.emplace();

    const std::string folder = FolderOf(archivePath);
    FreeSpaceGuard space(folder);
    unsigned long long written = 0;
    const BodySink write = [&](const char* data, std::size_t size) {
        if (!space.Allows(size))
            return false;
        DWORD done = 0;
        if (!WriteFile(file.get(), data, static_cast<DWORD>(size), &done, nullptr) ||
            done != size) {
            LogCause("cannot write %s: %s", archivePath.c_str(),
                     Win32ErrorText(GetLastError()).c_str());
            return false;
        }
        written += size;
        return true;
    };
    TransferRequest request;
    request.url = url;
    request.showsProgress = true;
    TransferReply reply;
    TransferResult result = RunTransfer(
        request,
        [&](const TransferReply& headers) -> BodySink {
            // A length that does not fit is refused before a byte is written.
            if (headers.contentLength && !FreeSpaceGuard(folder).Allows(*headers.contentLength))
                return BodySink();
            return write;
        },
        reply);

    // Without a length, only the archive's own ends tell a cut from the end.
    if (result == TransferResult::Complete && !reply.contentLength &&
        !ArchiveEndsWhole(written,
                          [&file](unsigned long long offset, void* buffer, std::size_t size) {
                              return ReadAt(file.get(), offset, buffer, size);
                          })) {
        LogCause("%s ended after %llu bytes, before the archive's end", url.c_str(), written);
        result = TransferResult::Failed;
    }

    switch (result) {
    case TransferResult::Complete:
        return DownloadOutcome::Complete;
    case TransferResult::Left:
        return DownloadOutcome::Left;
    case TransferResult::NotHttp:
        AfxMessageBox("下記URLがｵｰﾌﾟﾝできません。\r\n\r\n" + url, MB_OK | MB_ICONEXCLAMATION);
        return DownloadOutcome::Failed;
    case TransferResult::NoConnection:
    case TransferResult::Refused:
    case TransferResult::Failed:
        break;
    }
    ShowReceiveError(url);
    return DownloadOutcome::Failed;
}

bool DownloadSmall(const std::string& url, std::size_t maxBytes, std::string& body) {
    body.clear();
    TransferRequest request;
    request.url = url;
    TransferReply reply;
    const BodySink keep = [&body, maxBytes, &url](const char* data, std::size_t size) {
        if (size > maxBytes - body.size()) {
            LogCause("%s is larger than %lu bytes", url.c_str(),
                     static_cast<unsigned long>(maxBytes));
            return false;
        }
        body.append(data, size);
        return true;
    };
    const TransferResult result = RunTransfer(
        request,
        [&](const TransferReply& headers) -> BodySink {
            if (headers.contentLength && *headers.contentLength > maxBytes) {
                LogCause("%s announces %llu bytes, more than %lu", url.c_str(),
                         *headers.contentLength, static_cast<unsigned long>(maxBytes));
                return BodySink();
            }
            return keep;
        },
        reply);
    if (result == TransferResult::Complete)
        return true;
    body.clear();
    if (result != TransferResult::Left)
        ShowReceiveError(url);
    return false;
}

unsigned long long SetFreeSpaceMarginForTests(unsigned long long bytes) {
    const unsigned long long previous = g_freeSpaceMargin;
    g_freeSpaceMargin = bytes;
    return previous;
}
