#pragma once
// One HTTP(S) GET with the rules every transfer keeps, whatever it fetches
// (the archive, its signature, a range of either): time bounds on the
// connection, the reply's headers and the body, a bounded number of
// redirects (only to http or https, never from https down to http), only
// the status asked for (200, or 206 to a range), and a body that is whole.
//
// What the caller must do:
// - Call RunTransfer on the user-interface thread. It returns when the
//   transfer has ended; meanwhile it reads and dispatches that thread's
//   messages, so the windows stay painted and answering. Input (keys and
//   mouse) is dispatched only where the watch (below) takes it: the window
//   being left decides what of it may act during the transfer.
// - Show its own message: RunTransfer shows none. Left asks for none.
// - Treat what the sink received as unfinished unless the result is
//   Complete. A body with no length announced may still have been cut
//   where HTTP gives no sign (a close-delimited body): a caller that knows
//   the body's format checks its ends (TransferReply::contentLength absent).
// - headersSeen is called only for an accepted status with a readable
//   length; reply holds the final headers in every case that got them (a
//   Refused one included), for the caller's cause line.
// - headersSeen and the sink run on the calling thread, between messages.
//   A sink that returns false stops the transfer (Failed); it gives the
//   cause itself (LogCause).
// - To let the user leave: set a TransferWatch (below) whose Leaving()
//   turns true; the transfer then stops at once and returns Left.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

struct tagMSG;

struct TransferRequest {
    std::string url;
    std::string range;   // value of a Range header ("bytes=-65536"); empty: none
    std::string ifRange; // value of an If-Range header; empty: none
    // Whether the watch is told how far the body is (the archive: yes; a
    // signature of a few hundred bytes: no).
    bool showsProgress = false;
};

struct TransferReply {
    unsigned long status = 0;                        // the final status after redirects
    std::string contentRange;                        // Content-Range, "" when absent
    std::string etag, lastModified;                  // validators, "" when absent
    std::optional<unsigned long long> contentLength; // absent when not sent
    std::string finalUrl;                            // the URL that answered, after redirects
};

enum class TransferResult {
    Complete,     // the whole body went to the sink
    NoConnection, // no connection could be made / no reply (the caller shows the receiving error)
    Refused,      // a final status other than 200 (or, with a range, 206)
    Failed,       // anything else: cut body, time bound, redirect rule, disk space, sink refused
    Left,         // the user left during the transfer
    NotHttp,      // the URL names something other than an http or https resource; nothing was sent
};

// Called once the final reply's headers are in; returns where the body goes,
// or an empty function to stop without reading the body.
using BodySink = std::function<bool(const char* data, std::size_t size)>;
using HeadersSeen = std::function<BodySink(const TransferReply&)>;
TransferResult RunTransfer(const TransferRequest& request, const HeadersSeen& headersSeen,
                           TransferReply& reply);

// Whether url is one RunTransfer would send (http or https), by the same
// reading of the URL.
bool IsHttpUrl(const std::string& url);

// Whoever shows the transfers that run while it is set (the main dialog,
// for its check): told of progress, asked whether the user is leaving.
class TransferWatch {
  public:
    virtual ~TransferWatch() = default;
    // A request with showsProgress set has begun (nothing is known yet).
    virtual void TransferBegun() {}
    // Bytes of the body received so far, of the whole when its length is
    // known; a few times a second, and once as the body begins.
    virtual void TransferProgress(unsigned long long, std::optional<unsigned long long>) {}
    // The request with showsProgress set has ended, however it ended.
    virtual void TransferEnded() {}
    // Asked for every keyboard and mouse message during any transfer:
    // whether it is dispatched (otherwise it is dropped).
    virtual bool TakesInput(const tagMSG&) { return true; }
    // Asked after every message handled during any transfer.
    virtual bool Leaving() const = 0;
};

// Sets the watch of the transfers of this program for its lifetime and puts
// the one before back.
class ScopedTransferWatch {
  public:
    explicit ScopedTransferWatch(TransferWatch* watch);
    ~ScopedTransferWatch();
    ScopedTransferWatch(const ScopedTransferWatch&) = delete;
    ScopedTransferWatch& operator=(const ScopedTransferWatch&) = delete;

  private:
    TransferWatch* previous_;
};

// The time bounds, in milliseconds, and the slowest rate taken for a link.
struct TransferBounds {
    unsigned long connectMs = 30000;        // connecting (name lookup included)
    unsigned long headersMs = 30000;        // from the request sent to the reply's headers
    unsigned long silenceMs = 30000;        // the body: the longest time without a byte
    unsigned long rateWindowMs = 60000;     // the body: in any window this long...
    unsigned long long rateMinBytes = 4096; // ...at least this much arrives
    unsigned long maxRedirects = 10;
};

// For tests only: the bounds of the transfers from now on; returns those
// before. The program never calls it.
TransferBounds SetTransferBoundsForTests(const TransferBounds& bounds);
