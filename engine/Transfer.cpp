#include "engine/Transfer.h"

#include <windows.h>
#include <process.h>
#include <wininet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <memory>

#include "engine/Diagnostics.h"
#include "engine/HttpReply.h"
#include "win/ScopedHandle.h"

// How the transfer waits: the blocking WinINet calls run alone on a worker
// thread while the user-interface thread reads its messages and keeps the
// clock. Asynchronous WinINet would need the same clock and a state machine
// around every call; a worker keeps the request one straight sequence, and
// the time bounds, the progress and the user's leaving all live on the one
// thread that owns the windows. The worker touches nothing of the caller:
// it hands the body over in blocks, and the caller's sink writes them on
// the user-interface thread. So a worker stuck in a call the platform does
// not give back can be left behind (its handles closed under it, its state
// shared and released by whoever ends last); it ends by WinINet's own
// time-outs, set a little beyond ours, or with the process.

namespace {

constexpr DWORD kReadSize = 4096;
constexpr DWORD kTickMs = 100;                   // the clock and the progress, 10 a second
constexpr std::size_t kWakeBytes = 128 * 1024;   // a block this large wakes the caller at once
constexpr std::size_t kMaxPending = 1024 * 1024; // the worker waits above this
constexpr DWORD kPlatformMarginMs = 1000;        // WinINet's own time-outs, beyond ours
constexpr DWORD kStragglerWaitMs = 1000;         // how long a stopped worker is waited for

TransferBounds g_bounds;
TransferWatch* g_watch = nullptr;

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { InternetCloseHandle(handle); }
};
using InternetHandle = ScopedHandle<InternetHandleTraits>;
using KernelHandle = ScopedHandle<KernelHandleTraits>;

class Lock {
  public:
    Lock() { InitializeCriticalSection(&section_); }
    ~Lock() { DeleteCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

class Held {
  public:
    explicit Held(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~Held() { lock_.Leave(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

  private:
    Lock& lock_;
};

// Milliseconds from since to now, wrap-around safe.
DWORD Since(DWORD since) {
    return GetTickCount() - since;
}

enum class Phase { Connecting, AwaitingHeaders, HeadersIn, Body, Done };

// What the two threads share; every field below the lock is read and
// written under it.
struct Shared {
    Shared(const TransferRequest& request, const TransferBounds& bounds)
        : request(request), bounds(bounds), wake(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          resume(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~Shared() {
        // The last owner ends: whatever is still open goes now.
        CloseAll();
    }

    const TransferRequest request;
    const TransferBounds bounds;
    KernelHandle wake;   // for the caller: headers in, a block waiting, done
    KernelHandle resume; // for the worker: decided, room made, stop

    Lock lock;
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr; // the server of this hop
    HINTERNET current = nullptr;    // the request of this hop
    bool closed = false;            // session and request closed; the worker closes nothing more
    bool stop = false;              // the caller wants no more
    Phase phase = Phase::Connecting;
    DWORD phaseTick = GetTickCount();
    DWORD lastByteTick = GetTickCount();
    bool bodyWanted = false;
    bool decided = false;
    std::string hopUrl; // the URL this hop asks
    std::string pending;
    unsigned long long received = 0;
    TransferReply reply;
    TransferResult result = TransferResult::Failed;
    std::string cause; // the worker's cause line, logged by the caller's thread

    void SetPhase(Phase next) {
        Held held(lock);
        phase = next;
        phaseTick = GetTickCount();
    }

    // The worker takes a new handle of this hop (into slot) into the
    // shared state; false when the session was closed meanwhile (and took
    // the new handle with it).
    bool Adopt(HINTERNET handle, HINTERNET Shared::*slot) {
        Held held(lock);
        if (closed)
            return false;
        this->*slot = handle;
        return true;
    }

    // Closes the handles of this hop, unless they went with the session.
    void CloseHop() {
        HINTERNET request = nullptr, server = nullptr;
        {
            Held held(lock);
            if (closed)
                return;
            request = current;
            server = connection;
            current = connection = nullptr;
        }
        if (request != nullptr)
            InternetCloseHandle(request);
        if (server != nullptr)
            InternetCloseHandle(server);
    }

    // Closes every handle once, from whichever thread; a blocking call on
    // them returns with an error, where the platform lets it.
    void CloseAll() {
        HINTERNET request = nullptr, server = nullptr, sessionHandle = nullptr;
        {
            Held held(lock);
            if (closed)
                return;
            closed = true;
            request = current;
            server = connection;
            sessionHandle = session;
            current = connection = session = nullptr;
        }
        for (HINTERNET handle : {request, server, sessionHandle})
            if (handle != nullptr)
                InternetCloseHandle(handle);
    }

    bool Stopped() {
        Held held(lock);
        return stop;
    }

    // Waits for the caller's decision on the body; whether it wants it.
    bool AwaitDecision() {
        for (;;) {
            {
                Held held(lock);
                if (stop)
                    return false;
                if (decided)
                    return bodyWanted;
            }
            WaitForSingleObject(resume.get(), INFINITE);
        }
    }

    // Hands a block to the caller; false once the caller wants no more.
    bool Push(const char* data, DWORD size) {
        bool wakeCaller = false;
        {
            Held held(lock);
            if (stop)
                return false;
            const std::size_t before = pending.size();
            pending.append(data, size);
            received += size;
            lastByteTick = GetTickCount();
            wakeCaller = before < kWakeBytes && pending.size() >= kWakeBytes;
        }
        if (wakeCaller)
            SetEvent(wake.get());
        for (;;) {
            {
                Held held(lock);
                if (stop)
                    return false;
                if (pending.size() < kMaxPending)
                    return true;
            }
            WaitForSingleObject(resume.get(), INFINITE);
            // Waiting for the caller is no silence of the server's.
            Held held(lock);
            lastByteTick = GetTickCount();
        }
    }
};

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

// WinINet's own time-outs on a request, a little beyond the caller's clock,
// so that a worker left behind ends by itself.
void SetPlatformTimeouts(HINTERNET handle, const TransferBounds& bounds) {
    DWORD connect = bounds.connectMs + kPlatformMarginMs;
    DWORD receive = std::max(bounds.headersMs, bounds.silenceMs) + kPlatformMarginMs;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

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

bool IsInput(const MSG& msg) {
    return (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
           (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
           (msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCXBUTTONDBLCLK);
}

// Handles the messages waiting; false when the user leaves.
bool PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop that owns it
            return false;
        }
        if (!IsInput(msg) || g_watch == nullptr || g_watch->TakesInput(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (g_watch != nullptr && g_watch->Leaving())
            return false;
    }
    return g_watch == nullptr || !g_watch->Leaving();
}

// The rate bound: bytes received at moments of the body, oldest first.
class RateWindow {
  public:
    RateWindow(DWORD windowMs, unsigned long long minBytes)
        : windowMs_(windowMs), minBytes_(minBytes) {}

    void Restart(unsigned long long received) {
        samples_.clear();
        samples_.push_back({GetTickCount(), received});
    }

    // Adds the count now; false when a whole window passed with too little.
    bool Add(unsigned long long received) {
        const DWORD now = GetTickCount();
        samples_.push_back({now, received});
        // Keep the newest sample at least a window old, and all after it.
        while (samples_.size() > 1 && now - samples_[1].tick >= windowMs_)
            samples_.pop_front();
        const Sample& oldest = samples_.front();
        return now - oldest.tick < windowMs_ || received - oldest.received >= minBytes_;
    }

  private:
    struct Sample {
        DWORD tick;
        unsigned long long received;
    };
    DWORD windowMs_;
    unsigned long long minBytes_;
    std::deque<Sample> samples_;
};

// The caller's side of one transfer.
class Transfer {
  public:
    Transfer(const TransferRequest& request, const HeadersSeen& headersSeen, TransferReply& reply)
        : headersSeen_(headersSeen), reply_(reply),
          shared_(std::make_shared<Shared>(request, g_bounds)),
          rate_(g_bounds.rateWindowMs, g_bounds.rateMinBytes),
          watch_(request.showsProgress ? g_watch : nullptr) {}
    ~Transfer() {
        // Whatever way this side ends (a sink that threw included), the
        // worker is not left waiting for it.
        if (worker_ && !ended_)
            Stop(TransferResult::Failed, nullptr);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    TransferResult Run() {
        if (!shared_->wake || !shared_->resume)
            return Failure("no event for the transfer: %s", Win32ErrorText(GetLastError()).c_str());
        InternetHandle session(
            InternetOpenA("Tovarind Session", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session)
            return Failure("no Internet session: %s", Win32ErrorText(GetLastError()).c_str());
        SetPlatformTimeouts(session.get(), g_bounds);
        InternetSetStatusCallbackA(session.get(), &OnStatus);
        shared_->session = session.release(); // closed by the shared state from now on

        worker_ = StartThread(&WorkerMain, shared_);
        if (!worker_)
            return Failure("no thread for the transfer: %s",
                           Win32ErrorText(GetLastError()).c_str());
        if (watch_ != nullptr)
            watch_->TransferBegun();
        const TransferResult result = Wait();
        if (watch_ != nullptr)
            watch_->TransferEnded();
        return result;
    }

  private:
    TransferResult Failure(const char* format, const char* detail) {
        LogCause(format, detail);
        return TransferResult::Failed;
    }

    TransferResult Wait() {
        DWORD lastProgress = GetTickCount();
        DWORD lastTick = GetTickCount();
        for (;;) {
            HANDLE handles[] = {shared_->wake.get(), worker_.get()};
            MsgWaitForMultipleObjects(2, handles, FALSE, kTickMs, QS_ALLINPUT);
            if (!PumpMessages())
                return Stop(TransferResult::Left, nullptr);

            std::string block;
            Phase phase;
            unsigned long long received;
            {
                Held held(shared_->lock);
                block.swap(shared_->pending);
                phase = shared_->phase;
                received = shared_->received;
            }
            if (!block.empty()) {
                SetEvent(shared_->resume.get());
                if (!sink_(block.data(), block.size()))
                    return Stop(TransferResult::Failed, nullptr); // the sink told its cause
            }
            if (phase == Phase::Done)
                return Finish();
            if (phase == Phase::HeadersIn && !decided_) {
                if (!Decide())
                    return Stop(TransferResult::Failed, nullptr);
                lastProgress = 0; // the first progress now
            }

            // Our own pauses (a modal loop of the window manager) are not
            // the server's slowness.
            if (Since(lastTick) > 1000 && phase == Phase::Body)
                rate_.Restart(received);
            lastTick = GetTickCount();
            if (const char* exceeded = BoundExceeded(received))
                return Stop(TransferResult::Failed, exceeded);

            if (decided_ && watch_ != nullptr && Since(lastProgress) >= kTickMs) {
                watch_->TransferProgress(received, reply_.contentLength);
                lastProgress = GetTickCount();
            }
        }
    }

    bool Decide() {
        {
            Held held(shared_->lock);
            reply_ = shared_->reply;
        }
        sink_ = headersSeen_ ? headersSeen_(reply_) : BodySink();
        decided_ = true;
        {
            Held held(shared_->lock);
            shared_->decided = true;
            shared_->bodyWanted = static_cast<bool>(sink_);
            shared_->phase = Phase::Body;
            shared_->lastByteTick = GetTickCount();
        }
        SetEvent(shared_->resume.get());
        rate_.Restart(0);
        if (!sink_)
            LogCause("%s: the body was not wanted", reply_.finalUrl.c_str());
        return static_cast<bool>(sink_);
    }

    // Which bound the transfer has gone past; nullptr while within them.
    const char* BoundExceeded(unsigned long long received) {
        const TransferBounds& bounds = shared_->bounds;
        Held held(shared_->lock);
        switch (shared_->phase) {
        case Phase::Connecting:
            return Since(shared_->phaseTick) > bounds.connectMs ? "connecting timed out" : nullptr;
        case Phase::AwaitingHeaders:
            return Since(shared_->phaseTick) > bounds.headersMs ? "no reply headers in time"
                                                                : nullptr;
        case Phase::Body:
            if (Since(shared_->lastByteTick) > bounds.silenceMs)
                return "no byte of the body in time";
            return rate_.Add(received) ? nullptr : "the body arrives too slowly";
        case Phase::HeadersIn:
        case Phase::Done:
            break;
        }
        return nullptr;
    }

    // The worker has ended: the last blocks, then its result.
    TransferResult Finish() {
        ended_ = true;
        WaitForSingleObject(worker_.get(), INFINITE);
        std::string block;
        TransferResult result;
        std::string cause;
        {
            Held held(shared_->lock);
            block.swap(shared_->pending);
            result = shared_->result;
            cause = shared_->cause;
            if (!decided_)
                reply_ = shared_->reply;
        }
        if (!cause.empty())
            LogCause("%s", cause.c_str());
        if (result == TransferResult::Complete && !block.empty() &&
            !sink_(block.data(), block.size()))
            result = TransferResult::Failed;
        if (result == TransferResult::Complete && watch_ != nullptr)
            watch_->TransferProgress(shared_->received, reply_.contentLength);
        shared_->CloseAll();
        return result;
    }

    // Ends the transfer from this side: the worker is told to stop and its
    // handles are closed under it; it is waited for a moment, not longer.
    TransferResult Stop(TransferResult result, const char* cause) {
        ended_ = true;
        {
            Held held(shared_->lock);
            shared_->stop = true;
            if (cause != nullptr)
                LogCause("%s: %s (%llu bytes of the body)", shared_->hopUrl.c_str(), cause,
                         shared_->received);
        }
        SetEvent(shared_->resume.get());
        KernelHandle closer = StartThread(&CloserMain, shared_);
        if (!closer)
            shared_->CloseAll();
        WaitForSingleObject(worker_.get(), kStragglerWaitMs);
        return result;
    }

    const HeadersSeen& headersSeen_;
    TransferReply& reply_;
    std::shared_ptr<Shared> shared_;
    KernelHandle worker_;
    BodySink sink_;
    bool decided_ = false;
    bool ended_ = false;
    RateWindow rate_;
    TransferWatch* watch_;
};

} // namespace

TransferResult RunTransfer(const TransferRequest& request, const HeadersSeen& headersSeen,
                           TransferReply& reply) {
    reply = TransferReply();
    const INTERNET_SCHEME scheme = SchemeOf(request.url);
    if (scheme == INTERNET_SCHEME_UNKNOWN) {
        LogCause("not a URL: %s", request.url.c_str());
        return TransferResult::NoConnection;
    }
    if (!IsHttpScheme(scheme)) {
        LogCause("not an http or https URL: %s", request.url.c_str());
        return TransferResult::NotHttp;
    }
    try {
        Transfer transfer(request, headersSeen, reply);
        return transfer.Run();
    } catch (...) {
        LogCause("receiving %s failed: something threw", request.url.c_str());
    }
    return TransferResult::Failed;
}

ScopedTransferWatch::ScopedTransferWatch(TransferWatch* watch) : previous_(g_watch) {
    g_watch = watch;
}

ScopedTransferWatch::~ScopedTransferWatch() {
    g_watch = previous_;
}

TransferBounds SetTransferBoundsForTests(const TransferBounds& bounds) {
    const TransferBounds previous = g_bounds;
    g_bounds = bounds;
    return previous;
}
