// winsock2.h must come before windows.h.
#include <winsock2.h>

#include "tests/support/LoopbackServer.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

using Winsock = LoopbackServer::Winsock;

SOCKET Connect(unsigned short port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// One raw request; the whole response as it came over the wire.
std::string Fetch(unsigned short port, const std::string& request) {
    SOCKET s = Connect(port);
    if (s == INVALID_SOCKET)
        return "refused";
    send(s, request.data(), static_cast<int>(request.size()), 0);
    std::string response;
    char buffer[4096];
    int n;
    while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0)
        response.append(buffer, static_cast<std::size_t>(n));
    closesocket(s);
    return response;
}

TEST(LoopbackServer, ServesAFileCountsRequestsAndRecordsTheAgent) {
    Winsock winsock;
    ScratchFolder scratch;
    WriteFileBytes(scratch / "a.zip", std::string("PK\0\1", 4));
    LoopbackServer server;
    server.ServeFile("/a.zip", scratch / "a.zip");
    EXPECT_EQ(server.Url("/a.zip"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a.zip");
    const std::string response =
        Fetch(server.Port(), "GET /a.zip HTTP/1.1\r\nHost: x\r\nuser-agent:  Probe 1\r\n\r\n");
    EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_NE(response.find("Content-Length: 4\r\n"), std::string::npos);
    EXPECT_EQ(response.substr(response.size() - 4), std::string("PK\0\1", 4));
    EXPECT_EQ(server.LastUserAgent(), "Probe 1");

    // The file is read at each request.
    WriteFileBytes(scratch / "a.zip", "changed");
    const std::string second = Fetch(server.Port(), "GET /a.zip HTTP/1.1\r\n\r\n");
    EXPECT_EQ(second.substr(second.size() - 11), "\r\n\r\nchanged");
    EXPECT_NE(Fetch(server.Port(), "GET /b.zip HTTP/1.1\r\n\r\n").find("HTTP/1.1 404"),
              std::string::npos);
    EXPECT_EQ(server.RequestCount("/a.zip"), 2);
    EXPECT_EQ(server.RequestCount(), 3);
    EXPECT_EQ(server.LastUserAgent(), "");
}

TEST(LoopbackServer, CutOffAnnouncesMoreThanItSends) {
    Winsock winsock;
    LoopbackServer server;
    LoopbackServer::Reply cut("0123456789");
    cut.sendLimit = 4;
    server.Serve("/cut", cut);
    const std::string response = Fetch(server.Port(), "GET /cut HTTP/1.1\r\n\r\n");
    EXPECT_NE(response.find("Content-Length: 10\r\n"), std::string::npos);
    EXPECT_EQ(response.substr(response.size() - 8), "\r\n\r\n0123");
}

TEST(LoopbackServer, StopsByItselfWhenItsLifetimeEnds) {
    Winsock winsock;
    LoopbackServer server(100);
    const unsigned short port = server.Port();
    bool refused = false;
    for (int i = 0; i < 200 && !refused; ++i) {
        SOCKET s = Connect(port);
        refused = s == INVALID_SOCKET;
        if (!refused) {
            closesocket(s);
            Sleep(50);
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(Fetch(LoopbackServer::ClosedPort(), "GET / HTTP/1.1\r\n\r\n"), "refused");
}

} // namespace
