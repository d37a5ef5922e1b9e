// winsock2.h must come before windows.h.
#include <winsock2.h>

#include "tests/support/LoopbackServer.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

using Winsock = LoopbackServer::Winsock;

// One raw request; the whole response as it came over the wire, or
// "refused" when nothing listens on port.
std::string Fetch(unsigned short port, const std::string& request) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string response = "refused";
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        send(s, request.data(), static_cast<int>(request.size()), 0);
        shutdown(s, SD_SEND); // a head never finished is given up at once
        response.clear();
        char buffer[4096];
        for (int n; (n = recv(s, buffer, sizeof(buffer), 0)) > 0;)
            response.append(buffer, static_cast<std::size_t>(n));
    }
    closesocket(s);
    return response;
}

// What the server sends before a body of length bytes.
std::string Head(const std::string& status, std::size_t length) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

// The file is read at each request; the agent is the last request's.
TEST(LoopbackServer, ServesAFileCountsRequestsAndRecordsTheAgent) {
    Winsock winsock;
    ScratchFolder scratch;
    LoopbackServer server;
    server.ServeFile("/a.zip", scratch / "a.zip");
    EXPECT_EQ(server.Url("/a.zip"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a.zip");
    const std::string zip("PK\0\1", 4), page = "<html><body>404 Not Found</body></html>";
    struct Step {
        const char* name;
        std::string file, request, response, agent;
    } const steps[] = {
        {"the file", zip, "GET /a.zip HTTP/1.1\r\nHost: x\r\nuser-agent:  Probe 1\r\n\r\n",
         Head("200 OK", 4) + zip, "Probe 1"},
        {"the file changed", "changed", "GET /a.zip HTTP/1.1\r\n\r\n",
         Head("200 OK", 7) + "changed", ""},
        {"a path with no reply", "changed", "GET /b.zip HTTP/1.1\r\n\r\n",
         Head("404 Not Found", page.size()) + page, ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        WriteFileBytes(scratch / "a.zip", step.file);
        EXPECT_TRUE(Fetch(server.Port(), step.request) == step.response);
        EXPECT_EQ(server.LastUserAgent(), step.agent);
    }
    EXPECT_EQ(server.RequestCount("/a.zip"), 2);
    EXPECT_EQ(server.RequestCount(), 3);
}

TEST(LoopbackServer, CutOffAnnouncesMoreThanItSends) {
    Winsock winsock;
    LoopbackServer server;
    LoopbackServer::Reply cut("0123456789");
    cut.sendLimit = 4;
    server.Serve("/cut", cut);
    EXPECT_EQ(Fetch(server.Port(), "GET /cut HTTP/1.1\r\n\r\n"), Head("200 OK", 10) + "0123");
}

TEST(LoopbackServer, StopsByItselfWhenItsLifetimeEnds) {
    Winsock winsock;
    LoopbackServer server(100);
    bool refused = false;
    for (int i = 0; i < 200 && !refused; ++i) {
        refused = Fetch(server.Port(), "") == "refused";
        if (!refused)
            Sleep(50);
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(Fetch(LoopbackServer::ClosedPort(), "GET / HTTP/1.1\r\n\r\n"), "refused");
}

} // namespace
