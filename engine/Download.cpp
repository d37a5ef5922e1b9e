#include "engine/Download.h"

#include <windows.h>
#include <wininet.h>

#include <functional>

#include "engine/Diagnostics.h"
#include "engine/HttpReply.h"
#include "win/ScopedHandle.h"
#include "framework/WinApp.h"

namespace {

constexpr DWORD kReadSize = 4096;
constexpr DWORD_PTR kContext = 1;

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { InternetCloseHandle(handle); }
};
using InternetHandle = ScopedHandle<InternetHandleTraits>;

enum class Transfer { Complete, CannotOpen, ReceiveError };

// The scheme of url as WinINet reads it; INTERNET_SCHEME_UNKNOWN when it is
// not a URL at all.
INTERNET_SCHEME SchemeOf(const std::string& url) {
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1; // ask for the scheme only
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts))
        return INTERNET_SCHEME_UNKNOWN;
    return parts.nScheme;
}

// Schemes that name something other than a file to fetch (mail, news,
// proxies, scripts, resources): there is nothing to read from them.
bool NamesNoFile(INTERNET_SCHEME scheme) {
    switch (scheme) {
    case INTERNET_SCHEME_NEWS:
    case INTERNET_SCHEME_MAILTO:
    case INTERNET_SCHEME_SOCKS:
    case INTERNET_SCHEME_JAVASCRIPT:
    case INTERNET_SCHEME_VBSCRIPT:
    case INTERNET_SCHEME_RES:
        return true;
    default:
        return false;
    }
}

std::string HeaderText(HINTERNET request, DWORD query) {
    char text[64] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, query, text, &size, nullptr))
        return std::string();
    return std::string(text, size);
}

// Takes each block of the body as it arrives; false ends the transfer as a
// receiving error.
using BodySink = std::function<bool(const char* data, DWORD size)>;

Transfer Receive(HINTERNET session, const std::string& url, const BodySink& sink) {
    const INTERNET_SCHEME scheme = SchemeOf(url);
    if (NamesNoFile(scheme)) {
        LogCause("no file to fetch from %s", url.c_str());
        return Transfer::CannotOpen;
    }

    InternetHandle request(
        InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_ASCII, kContext));
    if (!request) {
        LogCause("cannot open %s: %s", url.c_str(), Win32ErrorText(GetLastError()).c_str());
        return Transfer::ReceiveError;
    }

    // Over HTTP an error page is not the archive, and a body that ends
    // before its announced length is a broken transfer; both must fail
    // rather than reach the unpacking as a "downloaded" archive.
    const bool http = scheme == INTERNET_SCHEME_HTTP || scheme == INTERNET_SCHEME_HTTPS;
    std::string contentLength;
    if (http) {
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                            &size, nullptr)) {
            LogCause("no HTTP status from %s: %s", url.c_str(),
                     Win32ErrorText(GetLastError()).c_str());
            return Transfer::ReceiveError;
        }
        if (IsErrorStatus(status)) {
            LogCause("HTTP status %lu from %s", static_cast<unsigned long>(status), url.c_str());
            return Transfer::ReceiveError;
        }
        contentLength = HeaderText(request.get(), HTTP_QUERY_CONTENT_LENGTH);
    }

    char buffer[kReadSize];
    unsigned long long received = 0;
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer, kReadSize, &got)) {
            LogCause("receiving %s failed after %llu bytes: %s", url.c_str(), received,
                     Win32ErrorText(GetLastError()).c_str());
            return Transfer::ReceiveError;
        }
        if (got == 0)
            break;
        if (!sink(buffer, got)) // the sink tells its cause
            return Transfer::ReceiveError;
        received += got;
    }
    if (http && !BodyIsComplete(contentLength, received)) {
        LogCause("%s ended after %llu of %s bytes", url.c_str(), received, contentLength.c_str());
        return Transfer::ReceiveError;
    }
    return Transfer::Complete;
}

// One session for one transfer; whatever escapes from the platform's
// library is a receiving error.
Transfer ReceiveInSession(const std::string& url, const BodySink& sink) {
    try {
        InternetHandle session(
            InternetOpenA("Tovarind Session", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (session)
            return Receive(session.get(), url, sink);
        LogCause("no Internet session: %s", Win32ErrorText(GetLastError()).c_str());
    } catch (...) {
        LogCause("receiving %s failed: the Internet library threw", url.c_str());
    }
    return Transfer::ReceiveError;
}

void ShowReceiveError(const std::string& url) {
    AfxMessageBox("ｱｰｶｲﾌﾞﾃﾞｰﾀ受信中にｴﾗｰが起きました。\r\n\r\n" + url, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

DownloadOutcome DownloadArchive(const std::string& url, const std::string& archivePath,
                                std::optional<CWaitCursor>& waitCursor) {
    ScopedFile file(CreateFileA(archivePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogCause("cannot create %s: %s", archivePath.c_str(),
                 Win32ErrorText(GetLastError()).c_str());
        AfxMessageBox("下記ﾃﾝﾎﾟﾗﾘﾌｧｲﾙを作成できません。\r\n\r\n" + archivePath,
                      MB_OK | MB_ICONEXCLAMATION);
        return DownloadOutcome::FileNotCreated;
    }
    waitCursor.emplace();

    const Transfer transfer =
        ReceiveInSession(url, [&file, &archivePath](const char* data, DWORD size) {
            DWORD written = 0;
            if (WriteFile(file.get(), data, size, &written, nullptr) && written == size)
                return true;
            LogCause("cannot write %s: %s", archivePath.c_str(),
                     Win32ErrorText(GetLastError()).c_str());
            return false;
        });
    switch (transfer) {
    case Transfer::Complete:
        return DownloadOutcome::Complete;
    case Transfer::CannotOpen:
        AfxMessageBox("下記URLがｵｰﾌﾟﾝできません。\r\n\r\n" + url, MB_OK | MB_ICONEXCLAMATION);
        return DownloadOutcome::Failed;
    case Transfer::ReceiveError:
        break;
    }
    ShowReceiveError(url);
    return DownloadOutcome::Failed;
}

bool DownloadSmall(const std::string& url, std::size_t maxBytes, std::string& body) {
    body.clear();
    const Transfer transfer =
        ReceiveInSession(url, [&body, maxBytes, &url](const char* data, DWORD size) {
            if (size > maxBytes - body.size()) {
                LogCause("%s is larger than %lu bytes", url.c_str(),
                         static_cast<unsigned long>(maxBytes));
                return false;
            }
            body.append(data, size);
            return true;
        });
    if (transfer == Transfer::Complete)
        return true;
    body.clear();
    ShowReceiveError(url);
    return false;
}
