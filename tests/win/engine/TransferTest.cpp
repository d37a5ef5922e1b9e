// The transfer against servers that misbehave as broken proxies, captive
// portals and hostile networks do: each ends as a receiving error, with the
// cause line that says which rule it broke. The time bounds are shortened.
#include <windows.h>

#include <functional>

#include "engine/ArchiveFile.h"
#include "engine/Transfer.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

using Reply = LoopbackServer::Reply;
using Framing = LoopbackServer::Framing;
using Stall = LoopbackServer::Stall;

// A ZIP of a few members, large enough for several chunks.
std::string SomeZip() {
    ZipBuilder zip;
    for (int i = 0; i < 4; ++i)
        zip.Add("file" + std::to_string(i) + ".txt", std::string(3000, static_cast<char>('a' + i)),
                {2024, 5, 6, 7, 8, 10});
    return zip.Bytes();
}

// SomeZip() as served after change.
Reply With(std::function<void(Reply&)> change) {
    Reply reply(SomeZip());
    change(reply);
    return reply;
}

Reply Redirect(int status, const std::string& location) {
    return With([&](Reply& r) { r.status = status, r.location = location; });
}

// size bytes of pattern over and over, until the connection closes.
Reply Endless(const std::string& pattern, std::size_t size) {
    return With(
        [&](Reply& r) { r.body = pattern, r.generatedSize = size, r.framing = Framing::Close; });
}

struct TransferTest : EngineTest {
    LoopbackServer server;
    TransferBounds boundsBefore;

    void SetUp() override {
        MakeFolder(tempFolder);
        // Connecting, the headers and a silence 1 s each; 4 KiB in any 2 s.
        boundsBefore = SetTransferBoundsForTests({1000, 1000, 1000, 2000, 4096});
    }
    void TearDown() override { SetTransferBoundsForTests(boundsBefore); }
    std::string Causes() const { return causes.All(); }
};

TEST_F(TransferTest, EveryMisbehaviourIsAReceivingErrorWithItsCause) {
    const std::string zip = SomeZip();
    const std::string bigLength = "1152921504606846976"; // 2^60 bytes: no disk holds that
    const std::string https = "https://localhost:" + std::to_string(server.Port());
    struct Case {
        const char* name;
        Reply reply;
        const char* cause;               // in the cause lines
        unsigned long long roomLeft = 0; // when > 0: the bytes the volume has before its margin
    } cases[] = {
        {"accepts, sends nothing", With([](Reply& r) { r.stall = Stall::BeforeHead; }),
         "no reply headers in time"},
        {"headers, then nothing", With([](Reply& r) { r.stall = Stall::AfterHead; }),
         "no byte of the body in time"},
        {"a trickle below the slowest link",
         With([](Reply& r) { r.trickleChunk = 100, r.trickleDelayMs = 150; }),
         "the body arrives too slowly"},
        {"redirect to itself", Redirect(302, server.Url("/case")), "more than 10 redirects"},
        {"redirect to a file", Redirect(302, "file:///C:/windows/win.ini"), "not http or https"},
        {"redirect to ftp", Redirect(301, "ftp://127.0.0.1/update.zip"), "not http or https"},
        {"redirect to https on a port that speaks plain HTTP", Redirect(302, https + "/update.zip"),
         "https://localhost"},
        {"chunked, cut before its last chunk",
         With([](Reply& r) { r.framing = Framing::ChunkedCutBeforeLast; }),
         "before the archive's end"},
        {"chunked, a chunk announced longer than sent",
         With([](Reply& r) { r.framing = Framing::ChunkedShort; }), "before the archive's end"},
        {"chunked, a chunk-size line that is no number",
         With([](Reply& r) { r.framing = Framing::ChunkedBadSize; }), "before the archive's end"},
        {"204", With([](Reply& r) { r.status = 204, r.body.clear(); }), "HTTP status 204"},
        {"206 to no range", With([](Reply& r) { r.status = 206; }), "HTTP status 206"},
        {"300", With([](Reply& r) { r.status = 300; }), "HTTP status 300"},
        {"302 without Location", With([](Reply& r) { r.status = 302; }), "HTTP status 302"},
        {"304", With([](Reply& r) { r.status = 304, r.body.clear(); }), "HTTP status 304"},
        {"404 with a page", With([](Reply& r) { r.status = 404, r.body = "<html>no</html>"; }),
         "HTTP status 404"},
        {"a length of 70 digits, half the body sent",
         With([&](Reply& r) { r.lengthText = std::string(70, '9'), r.sendLimit = zip.size() / 2; }),
         "unreadable Content-Length"},
        {"a length written twice, half the body sent", With([&](Reply& r) {
             r.lengthText = std::to_string(zip.size()) + ", " + std::to_string(zip.size());
             r.sendLimit = zip.size() / 2;
         }),
         "unreadable Content-Length"},
        {"a large body without a length that never ends its archive",
         Endless("PK\x03\x04 and so on ", 8 * 1024 * 1024), "before the archive's end"},
        {"a length beyond the free space",
         With([&](Reply& r) { r.lengthText = bigLength, r.sendLimit = 1000; }), "not enough space"},
        // While writing, the volume keeps its margin: a few megabytes fill it.
        {"a body that fills the volume to its margin", Endless("no archive ", 64 * 1024 * 1024),
         "not enough space", 3 * 1024 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve("/case", c.reply);
        const int requestsBefore = server.RequestCount();
        const std::string url = server.Url("/case");
        unsigned long long marginBefore = 0;
        if (c.roomLeft > 0) {
            ULARGE_INTEGER available = {};
            ASSERT_TRUE(GetDiskFreeSpaceExA(tempFolder.c_str(), &available, nullptr, nullptr));
            marginBefore = SetFreeSpaceMarginForTests(available.QuadPart - c.roomLeft);
        }
        EXPECT_EQ(Download(url), DownloadOutcome::Failed);
        if (c.roomLeft > 0)
            SetFreeSpaceMarginForTests(marginBefore);
        ExpectMessages(app, {texts::kReceiveFailed + url});
        EXPECT_NE(Causes().find(c.cause), std::string::npos) << Causes();
        // A loop ends after the first request and its ten redirects.
        EXPECT_LE(server.RequestCount() - requestsBefore, 11);
        // Nothing but the archive itself may ever be taken for it.
        EXPECT_TRUE(ReadFileBytes(archivePath) != zip);
        if (c.roomLeft > 0) {
            EXPECT_LT(ReadFileBytes(archivePath).size(), c.reply.generatedSize);
        }
    }
}

// The general request: its range, the validators and the 206 that answers
// it; a sink that stops the body.
TEST_F(TransferTest, ARangeTakesItsPartialContent) {
    Reply partial("tail");
    partial.status = 206;
    server.Serve("/part", partial);
    TransferRequest request;
    request.url = server.Url("/part");
    request.range = "bytes=-4";
    TransferReply reply;
    std::string body;
    const HeadersSeen keep = [&](const TransferReply&) -> BodySink {
        return [&](const char* data, std::size_t size) { return body.append(data, size), true; };
    };
    const HeadersSeen refuse = [](const TransferReply&) { return BodySink(); };
    EXPECT_EQ(RunTransfer(request, keep, reply), TransferResult::Complete);
    EXPECT_EQ(reply.status, 206u);
    EXPECT_EQ(reply.contentLength, 4u);
    EXPECT_EQ(body, "tail");
    EXPECT_EQ(RunTransfer(request, refuse, reply), TransferResult::Failed);
    request.range.clear();
    EXPECT_EQ(RunTransfer(request, refuse, reply), TransferResult::Refused);
    EXPECT_EQ(reply.status, 206u);
}

} // namespace
