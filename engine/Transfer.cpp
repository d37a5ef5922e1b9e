#include "engine/Transfer.h"

#include <windows.h>
#include <wininet.h>

#include <deque>
#include <memory>

#include "engine/Diagnostics.h"
#include "engine/TransferWorker.h"
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

using namespace transfer;

constexpr DWORD kTickMs = 100;           // the clock and the progress, 10 a second
constexpr DWORD kStragglerWaitMs = 1000; // how long a stopped worker is waited for

TransferBounds g_bounds;
TransferWatch* g_watch = nullptr;

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { InternetCloseHandle(handle); }
};
using InternetHandle = ScopedHandle<InternetHandleTraits>;

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

// The watch shows the transfer for as long as this lives, whatever way
// the transfer ends.
class Shown {
  public:
    explicit Shown(TransferWatch* watch) : watch_(watch) {
        if (watch_ != nullptr)
            watch_->TransferBegun();
    }
    ~Shown() {
        if (watch_ != nullptr)
            watch_->TransferEnded();
    }
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;

  private:
    TransferWatch* watch_;
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

        worker_ = StartWorker(shared_);
        if (!worker_)
            return Failure("no thread for the transfer: %s",
                           Win32ErrorText(GetLastError()).c_str());
        const Shown shown(watch_);
        return Wait();
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
        KernelHandle closer = StartCloser(shared_);
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

bool IsHttpUrl(const std::string& url) {
    return IsHttpScheme(SchemeOf(url));
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
