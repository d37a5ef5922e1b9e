// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/LoopbackServer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "win/ScopedHandle.h"

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kReadHeadMs = 10000;
constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kSendBlock = 64 * 1024;

struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() { return INVALID_SOCKET; }
    static void Close(Handle handle) { closesocket(handle); }
};
using ScopedSocket = ScopedHandle<SocketTraits>;

// The reason phrases of the statuses tests send; "Status" for any other.
std::string ReasonPhrase(int status) {
    static const std::string phrases =
        "|200 OK|204 No Content|206 Partial Content|300 Multiple Choices"
        "|301 Moved Permanently|302 Found|303 See Other|304 Not Modified"
        "|307 Temporary Redirect|308 Permanent Redirect"
        "|400 Bad Request|403 Forbidden|404 Not Found|416 Range Not Satisfiable"
        "|500 Internal Server Error|501 Not Implemented|503 Service Unavailable|";
    const std::size_t at = phrases.find("|" + std::to_string(status) + " ");
    if (at == std::string::npos)
        return "Status";
    return phrases.substr(at + 5, phrases.find('|', at + 1) - at - 5);
}

// Waits until socket s is readable, for at most ms milliseconds.
bool Readable(SOCKET s, DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
}

// A socket bound to a free port of 127.0.0.1, and that port (0 when none).
ScopedSocket BoundSocket(unsigned short& port) {
    ScopedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (s && (bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) ||
              getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length)))
        s.reset();
    port = s ? ntohs(address.sin_port) : 0;
    return s;
}

std::string ToLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The value of the header name (lower case) in a request head; "" when absent.
std::string HeaderOf(const std::string& head, const std::string& name) {
    const std::size_t at = ToLower(head).find("\r\n" + name + ":");
    if (at == std::string::npos)
        return "";
    const std::size_t end = head.find("\r\n", at + 2);
    const std::size_t value = head.find_first_not_of(' ', at + 3 + name.size());
    return value >= end ? "" : head.substr(value, end - value);
}

} // namespace

LoopbackServer::Winsock::Winsock() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("WSAStartup failed");
}

LoopbackServer::Winsock::~Winsock() {
    WSACleanup();
}

LoopbackServer::LoopbackServer(DWORD lifetimeMs) {
    ScopedSocket s = BoundSocket(port_);
    if (!s || listen(s.get(), 16))
        throw std::runtime_error("the loopback server cannot listen");
    listener_ = s.release();
    deadline_ = GetTickCount() + lifetimeMs;
    thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

LoopbackServer::Reply LoopbackServer::Made(int status, const std::string& body,
                                           const std::string& file, const std::string& location) {
    Reply reply(body);
    reply.status = status;
    reply.file = file;
    reply.location = location;
    return reply;
}

void LoopbackServer::Serve(const std::string& path, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = reply;
}

void LoopbackServer::ServeAfter(const std::string& path, int after, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    later_[path] = {after, reply};
}

int LoopbackServer::RequestCount(const std::string& path) const {
    const std::vector<Request> all = Requests();
    return static_cast<int>(
        std::count_if(all.begin(), all.end(), [&](const Request& r) { return r.path == path; }));
}

std::vector<LoopbackServer::Request> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

// Bound but never listening: connections to the port are refused.
unsigned short LoopbackServer::ClosedPort() {
    Winsock winsock;
    unsigned short port = 0;
    BoundSocket(port);
    return port;
}

bool LoopbackServer::TimeLeft() const {
    return !stop_ && static_cast<LONG>(deadline_ - GetTickCount()) > 0;
}

void LoopbackServer::Run() {
    const ScopedSocket listener(static_cast<SOCKET>(listener_)); // closed: connections refused
    while (TimeLeft()) {
        if (!Readable(listener.get(), kPollMs))
            continue;
        SOCKET client = accept(listener.get(), nullptr, nullptr);
        if (client != INVALID_SOCKET)
            Answer(client);
    }
}

bool LoopbackServer::SendAll(UINT_PTR client, const char* data, std::size_t size) {
    while (size > 0) {
        if (!TimeLeft())
            return false;
        const int n = send(static_cast<SOCKET>(client), data,
                           static_cast<int>(std::min(size, kSendBlock)), 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void LoopbackServer::HoldUntilClientLeaves(UINT_PTR client) {
    char buffer[512];
    // One connection at a time: the next client ends the hold too.
    while (TimeLeft() && !Readable(static_cast<SOCKET>(listener_), 0)) {
        if (Readable(static_cast<SOCKET>(client), kPollMs) &&
            recv(static_cast<SOCKET>(client), buffer, sizeof(buffer), 0) <= 0)
            return;
    }
}

// One loop for every body: its bytes come from the file, the repeated
// pattern or the body itself, piece by piece, each piece framed as a chunk
// when the reply is chunked.
bool LoopbackServer::SendBody(UINT_PTR client, const Reply& reply, std::size_t length,
                              HANDLE file) {
    const bool chunked = reply.framing != Framing::Length && reply.framing != Framing::Close;
    const bool generated = reply.generatedSize > 0;
    const std::size_t limit = std::min(length, reply.sendLimit);
    const std::size_t piece = chunked ? std::max<std::size_t>(reply.trickleChunk, 1000)
                              : reply.trickleChunk > 0 ? reply.trickleChunk
                                                       : kSendBlock;
    const bool fromFile = file != INVALID_HANDLE_VALUE;
    // A generated body repeats its pattern (a zero byte without one), in
    // copies enough that a piece may start anywhere in the first.
    std::string bytes = generated && reply.body.empty() ? std::string(1, '\0') : reply.body;
    const std::size_t period = bytes.size();
    while (generated && bytes.size() < period + piece)
        bytes += bytes;
    if (fromFile)
        bytes.resize(piece);
    for (std::size_t sent = 0; sent < limit;) {
        // Sleep in small steps so that stopping the server stays quick.
        for (DWORD slept = 0; slept < reply.trickleDelayMs && TimeLeft(); slept += 10)
            Sleep(std::min<DWORD>(10, reply.trickleDelayMs - slept));
        std::size_t n = std::min(piece, limit - sent);
        const char* data = bytes.data() + (generated ? sent % period : fromFile ? 0 : sent);
        DWORD got = 0;
        if (fromFile &&
            (!ReadFile(file, &bytes[0], static_cast<DWORD>(n), &got, nullptr) || got == 0))
            return false;
        n = fromFile ? got : n;
        const bool last = sent + n >= limit;
        if (chunked) {
            if (last && reply.framing == Framing::ChunkedCutBeforeLast)
                return true;
            char line[32];
            std::snprintf(line, sizeof(line), "%zx\r\n", n);
            if (last && reply.framing == Framing::ChunkedBadSize)
                std::snprintf(line, sizeof(line), "zz\r\n");
            if (!SendAll(client, line, std::strlen(line)))
                return false;
            if (last && reply.framing == Framing::ChunkedShort)
                return SendAll(client, data, n / 2);
        }
        if (!SendAll(client, data, n) || (chunked && !SendAll(client, "\r\n", 2)))
            return false;
        sent += n;
    }
    return reply.framing != Framing::Chunked || SendAll(client, "0\r\n\r\n", 5);
}

void LoopbackServer::Answer(UINT_PTR clientHandle) {
    const ScopedSocket owner(static_cast<SOCKET>(clientHandle));
    const SOCKET client = owner.get();
    // Read the request head. A client that never finishes it (one speaking
    // TLS, say) gives way to the next one.
    std::string head;
    char buffer[4096];
    const DWORD headStart = GetTickCount();
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead && TimeLeft()) {
        if (!Readable(client, kPollMs)) {
            if (GetTickCount() - headStart > kReadHeadMs ||
                Readable(static_cast<SOCKET>(listener_), 0))
                break;
            continue;
        }
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    if (head.find("\r\n\r\n") == std::string::npos)
        return;

    Request request;
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::size_t space1 = line.find(' ');
    request.method = line.substr(0, space1);
    if (space1 != std::string::npos)
        request.path = line.substr(space1 + 1, line.find(' ', space1 + 1) - space1 - 1);
    request.userAgent = HeaderOf(head, "user-agent");
    request.range = HeaderOf(head, "range");
    request.ifRange = HeaderOf(head, "if-range");

    // What a path without a reply answers.
    const Reply notFound = Made(404, "<html><body>404 Not Found</body></html>");
    Reply reply = notFound;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        auto it = replies_.find(request.path);
        if (it != replies_.end()) {
            reply = it->second;
            auto later = later_.find(request.path);
            if (later != later_.end() && --later->second.first <= 0) {
                it->second = later->second.second;
                later_.erase(later);
            }
        }
    }
    if (reply.stall == Stall::BeforeHead)
        return HoldUntilClientLeaves(client);
    std::size_t length = reply.generatedSize > 0 ? reply.generatedSize : reply.body.size();
    ScopedFile file;
    if (!reply.file.empty()) {
        file.reset(CreateFileA(reply.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size;
        if (!file || !GetFileSizeEx(file.get(), &size)) {
            file.reset();
            reply = notFound;
        }
        length = file ? static_cast<std::size_t>(size.QuadPart) : reply.body.size();
    }
    if (reply.ranged) {
        AnswerRange(request, reply);
        length = reply.body.size();
    }

    std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                           ReasonPhrase(reply.status) +
                           "\r\nContent-Type: application/octet-stream\r\n" + reply.headers;
    if (reply.framing == Framing::Length)
        response += "Content-Length: " +
                    (reply.lengthText.empty() ? std::to_string(length) : reply.lengthText) + "\r\n";
    else if (reply.framing != Framing::Close)
        response += "Transfer-Encoding: chunked\r\n";
    if (!reply.location.empty())
        response += "Location: " + reply.location + "\r\n";
    response += "Connection: close\r\n\r\n";
    bool sent = SendAll(client, response.data(), response.size());
    if (sent && reply.stall == Stall::AfterHead) {
        file.reset();
        return HoldUntilClientLeaves(client);
    }
    if (sent && request.method != "HEAD")
        sent = SendBody(client, reply, length, file.get());
    // Closed before the client sees the end: a test may rewrite the file at once.
    file.reset();

    if (reply.reset) {
        // A zero linger time turns the close into a reset.
        linger hard = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                   sizeof(hard));
    } else if (sent) {
        // Let the client read everything before the connection goes away.
        shutdown(client, SD_SEND);
        while (Readable(client, 200) && recv(client, buffer, sizeof(buffer), 0) > 0) {
        }
    }
}

LoopbackServer::Reply LoopbackServer::RangedReply(const std::string& bytes, const std::string& etag,
                                                  const std::string& lastModified,
                                                  RangeFault fault) {
    Reply reply(bytes);
    reply.ranged = true;
    reply.rangeFault = fault;
    reply.etag = etag;
    reply.lastModified = lastModified;
    return reply;
}

void LoopbackServer::AnswerRange(const Request& request, Reply& reply) {
    if (!reply.etag.empty())
        reply.headers += "ETag: " + reply.etag + "\r\n";
    if (!reply.lastModified.empty())
        reply.headers += "Last-Modified: " + reply.lastModified + "\r\n";
    const std::size_t size = reply.body.size();
    if (request.range.empty() || reply.rangeFault == RangesIgnored)
        return;
    if (reply.rangeFault == RangeStatus416 || reply.rangeFault == RangeStatus501) {
        reply.status = reply.rangeFault == RangeStatus416 ? 416 : 501;
        reply.body = "<html><body>no ranges</body></html>";
        return;
    }
    if (!request.ifRange.empty() && request.ifRange != reply.etag &&
        request.ifRange != reply.lastModified)
        return;
    // "a-b", "a-" or the suffix "-n", each within the body.
    const std::string spec =
        request.range.compare(0, 6, "bytes=") == 0 ? request.range.substr(6) : "";
    const std::size_t dash = spec.find('-');
    const bool suffix = dash == 0, open = dash + 1 >= spec.size();
    const unsigned long long a = std::strtoull(spec.c_str(), nullptr, 10);
    const unsigned long long b = open ? 0 : std::strtoull(spec.c_str() + dash + 1, nullptr, 10);
    const unsigned long long first = suffix ? size - std::min<unsigned long long>(b, size) : a;
    const unsigned long long last =
        suffix || open ? size - 1 : std::min<unsigned long long>(b, size - 1);
    const bool ok = dash != std::string::npos && spec.find(',') == std::string::npos && size > 0 &&
                    (suffix ? b > 0 : first <= last);
    if (!ok) {
        reply.status = 416;
        reply.headers += "Content-Range: bytes */" + std::to_string(size) + "\r\n";
        reply.body.clear();
        return;
    }
    reply.status = 206;
    reply.body = reply.body.substr(static_cast<std::size_t>(first),
                                   static_cast<std::size_t>(last - first + 1));
    if (reply.rangeFault != RangeWithoutContentRange)
        reply.headers += "Content-Range: bytes " + std::to_string(first) + "-" +
                         std::to_string(last) + "/" + std::to_string(size) + "\r\n";
}
