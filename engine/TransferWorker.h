#pragma once
// The worker's side of a transfer, for engine/Transfer.cpp alone (the
// caller's side): what the two threads share and the request that runs on
// the worker thread. The worker touches nothing of the caller's: the body
// goes through Shared::pending, the result and its cause through the
// fields below Shared::lock.
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "engine/Transfer.h"
#include "win/ScopedHandle.h"

namespace transfer {

constexpr DWORD kReadSize = 4096;
constexpr std::size_t kWakeBytes = 128 * 1024;   // a block this large wakes the caller at once
constexpr std::size_t kMaxPending = 1024 * 1024; // the worker waits above this

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
inline DWORD Since(DWORD since) {
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

bool IsHttpScheme(INTERNET_SCHEME scheme);

// The scheme of url as WinINet reads it; INTERNET_SCHEME_UNKNOWN when it is
// not a URL at all.
INTERNET_SCHEME SchemeOf(const std::string& url);

// WinINet's own time-outs on a session or request, a little beyond the
// caller's clock, so that a worker left behind ends by itself.
void SetPlatformTimeouts(HINTERNET handle, const TransferBounds& bounds);

// Marks where the connection is (the status callback of the session).
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD);

// The worker: the request, its redirects and its body; then Done.
KernelHandle StartWorker(const std::shared_ptr<Shared>& shared);
// Closes the shared handles on a thread of its own: the platform may hold
// the closing until a blocked call lets go, and the caller must not wait.
KernelHandle StartCloser(const std::shared_ptr<Shared>& shared);

} // namespace transfer
