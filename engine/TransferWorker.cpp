#include "engine/TransferWorker.h"

#include <process.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "engine/Diagnostics.h"
#include "engine/HttpReply.h"

namespace transfer {

namespace {
constexpr DWORD kPlatformMarginMs = 1000; // WinINet's own time-outs, beyond the caller's
} // namespace

bool IsHttpScheme(INTERNET_SCHEME scheme) {
    return scheme == INTERNET_SCHEME_HTTP || scheme == INTERNET_SCHEME_HTTPS;
}

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

namespace {

// A URL in the pieces a connection and its request are made of.
struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::string host, user, password, path; // path with its query
    INTERNET_PORT port = 0;
};

bool Crack(const std::string& url, UrlParts& parts) {
    std::string host(url.size() + 1, '\0'), user(url.size() + 1, '\0'),
        password(url.size() + 1, '\0'), path(url.size() + 1, '\0'), extra(url.size() + 1, '\0');
    URL_COMPONENTSA pieces = {};
    pieces.dwStructSize = sizeof(pieces);
    const auto size = static_cast<DWORD>(url.size() + 1);
    pieces.lpszHostName = &host[0];
    pieces.dwHostNameLength = size;
    pieces.lpszUserName = &user[0];
    pieces.dwUserNameLength = size;
    pieces.lpszPassword = &password[0];
    pieces.dwPasswordLength = size;
    pieces.lpszUrlPath = &path[0];
    pieces.dwUrlPathLength = size;
    pieces.lpszExtraInfo = &extra[0];
    pieces.dwExtraInfoLength = size;
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &pieces))
        return false;
    parts.scheme = pieces.nScheme;
    parts.host.assign(host.c_str(), pieces.dwHostNameLength);
    parts.user.assign(user.c_str(), pieces.dwUserNameLength);
    parts.password.assign(password.c_str(), pieces.dwPasswordLength);
    parts.path.assign(path.c_str(), pieces.dwUrlPathLength);
    parts.path.append(extra.c_str(), pieces.dwExtraInfoLength);
    if (parts.path.empty())
        parts.path = "/";
    parts.port = pieces.nPort;
    return true;
}

} // namespace

// WinINet's own time-outs on a request, a little beyond the caller's clock,
// so that a worker left behind ends by itself.
void SetPlatformTimeouts(HINTERNET handle, const TransferBounds& bounds) {
    DWORD connect = bounds.connectMs + kPlatformMarginMs;
    DWORD receive = std::max(bounds.headersMs, bounds.silenceMs) + kPlatformMarginMs;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

namespace {

// A header of the reply, whatever its length; nothing when it is absent.
std::optional<std::string> HeaderText(HINTERNET request, DWORD query) {
    std::string text(256, '\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size());
        if (HttpQueryInfoA(request, query, &text[0], &size, nullptr)) {
            text.resize(size);
            return text;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= text.size())
            return std::nullopt;
        text.assign(size + 1, '\0');
    }
}

// Location resolved against the URL that sent it.
std::string Resolve(const std::string& base, const std::string& location) {
    DWORD size = 2048;
    std::string url(size, '\0');
    if (!InternetCombineUrlA(base.c_str(), location.c_str(), &url[0], &size, ICU_NO_ENCODE)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::string();
        url.assign(size + 1, '\0');
        size = static_cast<DWORD>(url.size());
        if (!InternetCombineUrlA(base.c_str(), location.c_str(), &url[0], &size, ICU_NO_ENCODE))
            return std::string();
    }
    url.resize(size);
    return url;
}

std::string Printed(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string Printed(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

} // namespace

// Marks where the connection is, so that the caller's clock times the
// right bound: the headers are awaited from the moment the request goes.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (status != INTERNET_STATUS_CONNECTED_TO_SERVER && status != INTERNET_STATUS_SENDING_REQUEST)
        return;
    auto* shared = reinterpret_cast<Shared*>(context);
    Held held(shared->lock);
    if (shared->phase == Phase::Connecting || shared->phase == Phase::AwaitingHeaders) {
        shared->phase = Phase::AwaitingHeaders;
        shared->phaseTick = GetTickCount();
    }
}

namespace {

// The request, its redirects and its body, on the worker thread.
TransferResult Fetch(Shared& s, std::string& cause) {
    std::string url = s.request.url;
    INTERNET_SCHEME scheme = SchemeOf(url);
    std::string headers;
    if (!s.request.range.empty())
        headers += "Range: " + s.request.range + "\r\n";
    if (!s.request.ifRange.empty())
        headers += "If-Range: " + s.request.ifRange + "\r\n";
    // A piece of a file must not answer a later request for the whole.
    DWORD flags = INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (!s.request.range.empty())
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

    for (unsigned long redirects = 0;; ++redirects) {
        s.SetPhase(Phase::Connecting);
        HINTERNET session = nullptr;
        {
            Held held(s.lock);
            session = s.session;
            s.hopUrl = url;
        }
        // Connection and request apart, so that the request carries its
        // time-outs before it is sent.
        UrlParts parts;
        if (!Crack(url, parts)) {
            cause = Printed("cannot read the URL %s: %s", url.c_str(),
                            Win32ErrorText(GetLastError()).c_str());
            return TransferResult::NoConnection;
        }
        const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&s);
        HINTERNET server =
            session == nullptr
                ? nullptr
                : InternetConnectA(session, parts.host.c_str(), parts.port,
                                   parts.user.empty() ? nullptr : parts.user.c_str(),
                                   parts.password.empty() ? nullptr : parts.password.c_str(),
                                   INTERNET_SERVICE_HTTP, 0, context);
        if (server == nullptr || !s.Adopt(server, &Shared::connection)) {
            cause =
                Printed("cannot open %s: %s", url.c_str(), Win32ErrorText(GetLastError()).c_str());
            return TransferResult::NoConnection;
        }
        const DWORD hopFlags = flags | (scheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
        HINTERNET handle = HttpOpenRequestA(server, "GET", parts.path.c_str(), nullptr, nullptr,
                                            nullptr, hopFlags, context);
        if (handle == nullptr || !s.Adopt(handle, &Shared::current)) {
            cause =
                Printed("cannot open %s: %s", url.c_str(), Win32ErrorText(GetLastError()).c_str());
            return TransferResult::NoConnection;
        }
        SetPlatformTimeouts(handle, s.bounds);
        if (!HttpSendRequestA(handle, headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0)) {
            cause =
                Printed("cannot open %s: %s", url.c_str(), Win32ErrorText(GetLastError()).c_str());
            return TransferResult::NoConnection;
        }

        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!HttpQueryInfoA(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr)) {
            cause = Printed("no HTTP status from %s: %s", url.c_str(),
                            Win32ErrorText(GetLastError()).c_str());
            return TransferResult::NoConnection;
        }
        const std::optional<std::string> location = HeaderText(handle, HTTP_QUERY_LOCATION);
        if (IsRedirectStatus(status) && location && !location->empty()) {
            if (redirects >= s.bounds.maxRedirects) {
                cause = Printed("more than %lu redirects, the last from %s",
                                static_cast<unsigned long>(s.bounds.maxRedirects), url.c_str());
                return TransferResult::Failed;
            }
            const std::string next = Resolve(url, *location);
            const INTERNET_SCHEME nextScheme = SchemeOf(next);
            if (!IsHttpScheme(nextScheme)) {
                cause = Printed("redirect from %s to a URL that is not http or https: %s",
                                url.c_str(), location->c_str());
                return TransferResult::Failed;
            }
            if (scheme == INTERNET_SCHEME_HTTPS && nextScheme == INTERNET_SCHEME_HTTP) {
                cause = Printed("redirect from https down to http: %s to %s", url.c_str(),
                                next.c_str());
                return TransferResult::Failed;
            }
            s.CloseHop();
            url = next;
            scheme = nextScheme;
            continue;
        }

        TransferReply reply;
        reply.status = status;
        reply.finalUrl = url;
        reply.contentRange = HeaderText(handle, HTTP_QUERY_CONTENT_RANGE).value_or("");
        reply.etag = HeaderText(handle, HTTP_QUERY_ETAG).value_or("");
        reply.lastModified = HeaderText(handle, HTTP_QUERY_LAST_MODIFIED).value_or("");
        const std::optional<std::string> lengthText = HeaderText(handle, HTTP_QUERY_CONTENT_LENGTH);
        if (lengthText)
            reply.contentLength = ReadContentLength(*lengthText);
        {
            Held held(s.lock);
            s.reply = reply;
        }
        if (!IsAcceptedStatus(status, !s.request.range.empty())) {
            cause =
                Printed("HTTP status %lu from %s", static_cast<unsigned long>(status), url.c_str());
            return TransferResult::Refused;
        }
        if (lengthText && !reply.contentLength) {
            cause = Printed("unreadable Content-Length \"%s\" from %s", lengthText->c_str(),
                            url.c_str());
            return TransferResult::Failed;
        }

        s.SetPhase(Phase::HeadersIn);
        SetEvent(s.wake.get());
        if (!s.AwaitDecision())
            return TransferResult::Failed;

        char buffer[kReadSize];
        unsigned long long received = 0;
        for (;;) {
            // Asking what is there first returns as soon as anything is:
            // a read of a full block would wait for all of it.
            DWORD available = 0;
            DWORD got = 0;
            if (!InternetQueryDataAvailable(handle, &available, 0, 0) ||
                (available > 0 &&
                 !InternetReadFile(handle, buffer, std::min(available, kReadSize), &got))) {
                cause = Printed("receiving %s failed after %llu bytes: %s", url.c_str(), received,
                                Win32ErrorText(GetLastError()).c_str());
                return TransferResult::Failed;
            }
            if (got == 0)
                break;
            if (!s.Push(buffer, got))
                return TransferResult::Failed;
            received += got;
        }
        if (reply.contentLength && received != *reply.contentLength) {
            cause = Printed("%s ended after %llu of %llu bytes", url.c_str(), received,
                            *reply.contentLength);
            return TransferResult::Failed;
        }
        return TransferResult::Complete;
    }
}

unsigned __stdcall WorkerMain(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Shared>> owner(
        static_cast<std::shared_ptr<Shared>*>(parameter));
    Shared& s = **owner;
    std::string cause;
    const TransferResult result = Fetch(s, cause);
    s.CloseHop();
    {
        Held held(s.lock);
        s.result = result;
        s.cause = cause;
        s.phase = Phase::Done;
    }
    SetEvent(s.wake.get());
    return 0;
}

// Closes the handles of a worker that is to stop, on a thread of its own:
// the platform may hold the closing until the blocked call lets go, and the
// caller's thread must not wait for that.
unsigned __stdcall CloserMain(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Shared>> owner(
        static_cast<std::shared_ptr<Shared>*>(parameter));
    (*owner)->CloseAll();
    return 0;
}

KernelHandle StartThread(unsigned(__stdcall* main)(void*), const std::shared_ptr<Shared>& shared) {
    auto* owner = new std::shared_ptr<Shared>(shared);
    const uintptr_t thread = _beginthreadex(nullptr, 0, main, owner, 0, nullptr);
    if (thread == 0) {
        delete owner;
        return KernelHandle();
    }
    return KernelHandle(reinterpret_cast<HANDLE>(thread));
}

} // namespace

KernelHandle StartWorker(const std::shared_ptr<Shared>& shared) {
    return StartThread(&WorkerMain, shared);
}

KernelHandle StartCloser(const std::shared_ptr<Shared>& shared) {
    return StartThread(&CloserMain, shared);
}

} // namespace transfer
