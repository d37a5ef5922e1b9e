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

// The reason phrases of the statuses tests send; "Status" for any other.
std::string ReasonPhrase(int status) {
    static const std::string phrases =
        "|200 OK|204 No Content|206 Partial Content|300 Multiple Choices|301 Moved Permanently"
        "|302 Found|303 See Other|304 Not Modified|307 Temporary Redirect|308 Permanent Redirect"
        "|400 Bad Request|403 Forbidden|404 Not Found|416 Range Not Satisfiable"
        "|500 Internal Server Error|501 Not Implemented|503 Service Unavailable|";
    const std::size_t at = phrases.find("|" + std::to_string(status) + " ");
    if (at == std::string::npos)
        return "Status";
    return phrases.substr(at + 5, phrases.find('|', at + 1) - at - 5);
}

// What a path without a reply answers.
LoopbackServer::Reply NotFound() {
    LoopbackServer::Reply reply("<html><body>404 Not Found</body></html>");
    reply.status = 404;
    return reply;
}

std::string ToLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Waits until socket s is readable, for at most ms milliseconds.
bool Readable(SOCKET s, DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
}

// The size of a file, or -1 when it cannot be opened.
long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0; // a free port, read back below
    int length = sizeof(address);
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ||
        listen(s, 16) || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length)) {
        if (s != INVALID_SOCKET)
            closesocket(s);
        throw std::runtime_error("the loopback server cannot listen");
    }
    listener_ = s;
    port_ = ntohs(address.sin_port);
    deadline_ = GetTickCount() + lifetimeMs;
    thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::Serve(const std::string& path, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = reply;
}

void LoopbackServer::ServeBytes(const std::string& path, const std::string& bytes) {
    Serve(path, Reply(bytes));
}

void LoopbackServer::ServeFile(const std::string& path, const std::string& filePath) {
    Reply reply;
    reply.file = filePath;
    Serve(path, reply);
}

void LoopbackServer::ServeStatus(const std::string& path, int status, const std::string& page) {
    Reply reply(page);
    reply.status = status;
    Serve(path, reply);
}

void LoopbackServer::ServeRedirect(const std::string& path, const std::string& target, int status) {
    Reply reply;
    reply.status = status;
    reply.location = !target.empty() && target[0] == '/' ? Url(target) : target;
    reply.body = "<html><body>Moved</body></html>";
    Serve(path, reply);
}

int LoopbackServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(requests_.size());
}

int LoopbackServer::RequestCount(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                          [&](const Request& r) { return r.path == path; }));
}

std::vector<LoopbackServer::Request> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string LoopbackServer::LastUserAgent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back().userAgent;
}

unsigned short LoopbackServer::ClosedPort() {
    Winsock winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    unsigned short port = 0;
    // Bound but never listening: the port is ours while nothing else can
    // take it, and connections to it are refused.
    if (s != INVALID_SOCKET &&
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s != INVALID_SOCKET)
        closesocket(s);
    return port;
}

bool LoopbackServer::TimeLeft() const {
    return !stop_ && static_cast<LONG>(deadline_ - GetTickCount()) > 0;
}

void LoopbackServer::Run() {
    const SOCKET listener = static_cast<SOCKET>(listener_);
    while (TimeLeft()) {
        if (!Readable(listener, kPollMs))
            continue;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        Answer(client);
    }
    // From now on connections are refused.
    closesocket(listener);
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

bool LoopbackServer::SendGenerated(UINT_PTR client, const Reply& reply, std::size_t length) {
    const std::size_t limit = std::min(length, reply.sendLimit);
    std::string block;
    while (block.size() < kSendBlock)
        block += reply.body.empty() ? std::string(1, '\0') : reply.body;
    for (std::size_t sent = 0; sent < limit;) {
        const std::size_t n = std::min(block.size(), limit - sent);
        if (!SendAll(client, block.data(), n))
            return false;
        sent += n;
    }
    return true;
}

bool LoopbackServer::SendChunked(UINT_PTR client, const Reply& reply) {
    const std::size_t size = std::max<std::size_t>(reply.trickleChunk, 1000);
    const std::string& body = reply.body;
    for (std::size_t at = 0; at < body.size(); at += size) {
        const std::size_t n = std::min(size, body.size() - at);
        const bool last = at + n >= body.size();
        if (last && reply.framing == Framing::ChunkedCutBeforeLast)
            return true;
        char line[32];
        if (last && reply.framing == Framing::ChunkedBadSize)
            std::snprintf(line, sizeof(line), "zz\r\n");
        else
            std::snprintf(line, sizeof(line), "%zx\r\n", n);
        const bool cut = last && reply.framing == Framing::ChunkedShort;
        if (!SendAll(client, line, std::strlen(line)) ||
            !SendAll(client, body.data() + at, cut ? n / 2 : n))
            return false;
        if (cut)
            return true;
        if (!SendAll(client, "\r\n", 2))
            return false;
    }
    return reply.framing != Framing::Chunked || SendAll(client, "0\r\n\r\n", 5);
}

bool LoopbackServer::SendBody(UINT_PTR client, const Reply& reply, std::size_t length) {
    if (reply.framing != Framing::Length && reply.framing != Framing::Close)
        return SendChunked(client, reply);
    if (reply.generatedSize > 0)
        return SendGenerated(client, reply, length);
    const std::size_t limit = std::min(length, reply.sendLimit);
    if (!reply.file.empty()) {
        const ScopedFile file(CreateFileA(reply.file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                          nullptr));
        if (!file)
            return false;
        std::vector<char> buffer(kSendBlock);
        std::size_t sent = 0;
        bool ok = true;
        while (ok && sent < limit) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min(buffer.size(), limit - sent));
            ok = ReadFile(file.get(), buffer.data(), want, &got, nullptr) && got > 0 &&
                 SendAll(client, buffer.data(), got);
            sent += got;
        }
        return ok;
    }
    const std::size_t chunk = reply.trickleChunk > 0 ? reply.trickleChunk : limit;
    for (std::size_t sent = 0; sent < limit;) {
        if (reply.trickleChunk > 0) {
            // Sleep in small steps so that stopping the server stays quick.
            for (DWORD slept = 0; slept < reply.trickleDelayMs && TimeLeft(); slept += 10)
                Sleep(std::min<DWORD>(10, reply.trickleDelayMs - slept));
        }
        const std::size_t n = std::min(chunk, limit - sent);
        if (!SendAll(client, reply.body.data() + sent, n))
            return false;
        sent += n;
    }
    return true;
}

void LoopbackServer::Answer(UINT_PTR clientHandle) {
    const SOCKET client = static_cast<SOCKET>(clientHandle);
    // Read the request head.
    std::string head;
    char buffer[4096];
    // A client that never finishes its head (one speaking TLS, say) gives
    // way to the next one.
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
    if (head.find("\r\n\r\n") == std::string::npos) {
        closesocket(client);
        return;
    }

    Request request;
    const std::size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const std::size_t space1 = line.find(' ');
    const std::size_t space2 = line.find(' ', space1 + 1);
    request.method = line.substr(0, space1);
    if (space1 != std::string::npos)
        request.path = line.substr(space1 + 1, space2 - space1 - 1);
    request.userAgent = HeaderOf(head, "user-agent");
    request.range = HeaderOf(head, "range");
    request.ifRange = HeaderOf(head, "if-range");

    Reply reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        auto it = replies_.find(request.path);
        if (it != replies_.end()) {
            reply = it->second;
            TakeTurn(request.path);
        } else {
            reply = NotFound();
        }
    }
    std::size_t length = reply.generatedSize > 0 ? reply.generatedSize : reply.body.size();
    if (reply.stall == Stall::BeforeHead) {
        HoldUntilClientLeaves(client);
        closesocket(client);
        return;
    }
    if (!reply.file.empty()) {
        const long long size = FileSize(reply.file);
        if (size < 0) {
            reply = NotFound();
            length = reply.body.size();
        } else {
            length = static_cast<std::size_t>(size);
        }
    }

    if (reply.ranged) {
        AnswerRange(request, reply);
        length = reply.body.size();
    }
    char status[128];
    std::snprintf(status, sizeof(status), "HTTP/1.1 %d %s\r\n", reply.status,
                  ReasonPhrase(reply.status).c_str());
    std::string response = status;
    response += "Content-Type: application/octet-stream\r\n";
    response += reply.headers;
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
        HoldUntilClientLeaves(client);
        closesocket(client);
        return;
    }
    if (sent && request.method != "HEAD")
        sent = SendBody(client, reply, length);

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
    closesocket(client);
}

std::string LoopbackServer::HeaderOf(const std::string& head, const std::string& name) {
    for (std::size_t at = head.find("\r\n"); at != std::string::npos && at + 2 < head.size();) {
        at += 2;
        const std::size_t end = head.find("\r\n", at);
        const std::string header = head.substr(at, end - at);
        const std::size_t colon = header.find(':');
        if (colon != std::string::npos && ToLower(header.substr(0, colon)) == name) {
            const std::size_t value = header.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? "" : header.substr(value);
        }
        at = end;
    }
    return "";
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

void LoopbackServer::ServeAfter(const std::string& path, int after, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    later_[path] = {after, reply};
}

// Called with the lock held, once per request for path.
void LoopbackServer::TakeTurn(const std::string& path) {
    auto it = later_.find(path);
    if (it != later_.end() && --it->second.first <= 0) {
        replies_[path] = it->second.second;
        later_.erase(it);
    }
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
    unsigned long long first = 0, last = 0;
    const std::string spec =
        request.range.compare(0, 6, "bytes=") == 0 ? request.range.substr(6) : "";
    const std::size_t dash = spec.find('-');
    bool ok = dash != std::string::npos && spec.find(',') == std::string::npos && size > 0;
    if (ok && dash == 0) {
        const unsigned long long suffix = std::strtoull(spec.c_str() + 1, nullptr, 10);
        first = size - std::min<unsigned long long>(suffix, size);
        last = size - 1;
        ok = suffix > 0;
    } else if (ok) {
        first = std::strtoull(spec.c_str(), nullptr, 10);
        last =
            dash + 1 < spec.size() ? std::strtoull(spec.c_str() + dash + 1, nullptr, 10) : size - 1;
        last = std::min<unsigned long long>(last, size - 1);
        ok = first <= last;
    }
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
