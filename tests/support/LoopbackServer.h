#pragma once
// A small HTTP/1.1 server for tests and benchmarks, on a thread of the
// calling Windows process (Winsock, so it runs under Wine beside the code
// it serves). It listens on 127.0.0.1 only, on a free port, answers one
// connection at a time with "Connection: close", and stops by itself: on
// destruction, and at the latest when its lifetime runs out even if nobody
// stops it; once stopped its port refuses connections.
//
//   LoopbackServer server;
//   server.ServeBytes("/a.zip", bytes);
//   ... fetch server.Url("/a.zip") ...
//   EXPECT_EQ(server.RequestCount("/a.zip"), 1);
//   EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
//
// A path that was given no reply answers 404 with a short page. Replies
// can be replaced at any time; the next request sees the new one.
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class LoopbackServer {
  public:
    // Where a reply falls silent, holding the connection open until the
    // client goes away or the next one connects.
    enum class Stall { None, BeforeHead, AfterHead };
    // How the body's end is told: by its Content-Length, by the connection's
    // close (no length), or chunked. The chunked faults end the connection
    // normally where the body's last data chunk would begin, halfway through
    // the last chunk (announced longer than sent), or after a last chunk
    // whose size line is no number.
    enum class Framing {
        Length,
        Close,
        Chunked,
        ChunkedCutBeforeLast,
        ChunkedShort,
        ChunkedBadSize
    };

    // How one path answers: 200 with the body unless its fields say
    // otherwise, each field one way a server may misbehave.
    struct Reply {
        Reply() = default;
        explicit Reply(std::string bytes) : body(std::move(bytes)) {}
        int status = 200;
        std::string body;                 // the body, unless file is set
        std::string file;                 // a file whose bytes are sent, read per request
        std::string location;             // Location header, for redirects
        std::size_t sendLimit = SIZE_MAX; // body bytes sent before the connection ends
        bool reset = false;               // end with a reset instead of a normal close
        std::size_t trickleChunk = 0;     // when > 0: send the body in chunks this size...
        DWORD trickleDelayMs = 0;         // ...with this pause before each
        std::string headers;              // more header lines, each ending in CRLF
        // Ranges: answered as a static file server does (RangedReply).
        bool ranged = false;
        int rangeFault = 0; // a RangeFault
        std::string etag, lastModified;
        std::size_t generatedSize = 0; // when > 0: the body is this long, body repeated
        Stall stall = Stall::None;     // where the server falls silent
        Framing framing = Framing::Length;
        std::string lengthText; // with Framing::Length: sent instead of the true length
    };

    struct Request {
        std::string method;
        std::string path;
        std::string userAgent;
        // The Range and If-Range headers, "" when absent.
        std::string range, ifRange;
    };

    // Winsock started for as long as it lives; a test's own sockets need one.
    struct Winsock {
        Winsock();
        ~Winsock();
        Winsock(const Winsock&) = delete;
        Winsock& operator=(const Winsock&) = delete;
    };

    // lifetimeMs: the server stops by itself this long after it starts.
    explicit LoopbackServer(DWORD lifetimeMs = 5 * 60 * 1000);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    unsigned short Port() const { return port_; }
    // "http://127.0.0.1:<port>" + path (path starts with '/').
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    void Serve(const std::string& path, const Reply& reply);
    // 200 with these bytes (an empty body when bytes is empty).
    void ServeBytes(const std::string& path, const std::string& bytes) {
        Serve(path, Made(200, bytes));
    }
    // 200 with the bytes of a file on disk, read at each request (so large
    // files are streamed, and a test may change the file between requests).
    // A file that cannot be opened answers 404.
    void ServeFile(const std::string& path, const std::string& filePath) {
        Serve(path, Made(200, "", filePath));
    }
    // An error status (404, 500, ...) with a page as its body.
    void ServeStatus(const std::string& path, int status, const std::string& page) {
        Serve(path, Made(status, page));
    }
    // A redirect (301, 302, 303, 307) to target: a path of this server or
    // a whole URL.
    void ServeRedirect(const std::string& path, const std::string& target, int status = 302) {
        Serve(path, Made(status, "<html><body>Moved</body></html>", "",
                         !target.empty() && target[0] == '/' ? Url(target) : target));
    }

    // Requests received so far (their head was read in full).
    int RequestCount() const { return static_cast<int>(Requests().size()); }
    int RequestCount(const std::string& path) const;
    std::vector<Request> Requests() const;
    std::string LastUserAgent() const { // "" before the first request
        const std::vector<Request> all = Requests();
        return all.empty() ? "" : all.back().userAgent;
    }

    // A port on 127.0.0.1 with nothing listening: a connection is refused.
    static unsigned short ClosedPort();

    // --- ranges ---
    enum RangeFault {
        RangesServed,
        RangesIgnored,
        RangeStatus416,
        RangeStatus501,
        RangeWithoutContentRange
    };
    // The bytes as nginx serves a static file: 200 with all, or 206 with
    // the one range asked for ("bytes=a-b", "a-" or "-n") and its
    // Content-Range; an If-Range naming neither etag nor lastModified gets
    // 200 with all. fault makes it answer ranges otherwise.
    static Reply RangedReply(const std::string& bytes, const std::string& etag,
                             const std::string& lastModified, RangeFault fault = RangesServed);
    // After the next `after` requests for path, path answers with reply.
    void ServeAfter(const std::string& path, int after, const Reply& reply);

  private:
    static Reply Made(int status, const std::string& body, const std::string& file = "",
                      const std::string& location = "");
    void Run();
    // Sockets are kept as UINT_PTR so that this header needs no winsock2.h.
    void Answer(UINT_PTR client);
    static void AnswerRange(const Request& request, Reply& reply);
    bool SendAll(UINT_PTR client, const char* data, std::size_t size);
    bool SendBody(UINT_PTR client, const Reply& reply, std::size_t length, HANDLE file);
    void HoldUntilClientLeaves(UINT_PTR client);
    bool TimeLeft() const;

    Winsock winsock_;
    UINT_PTR listener_ = ~UINT_PTR(0);
    unsigned short port_ = 0;
    DWORD deadline_ = 0; // GetTickCount() value at which the server stops
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::map<std::string, std::pair<int, Reply>> later_; // ServeAfter
    std::vector<Request> requests_;
    std::thread thread_;
};
