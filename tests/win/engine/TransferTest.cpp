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

TransferBounds ShortBounds() {
    TransferBounds bounds;
    bounds.connectMs = 1000;
    bounds.headersMs = 1000;
    bounds.silenceMs = 1000;
    bounds.rateWindowMs = 2000;
    bounds.rateMinBytes = 4096;
    return bounds;
}

// A ZIP of a few members, large enough for several chunks.
std::string SomeZip() {
    ZipBuilder zip;
    for (int i = 0; i < 4; ++i)
        zip.Add("file" + std::to_string(i) + ".txt", std::string(3000, static_cast<char>('a' + i)),
                {2024, 5, 6, 7, 8, 10});
    return zip.Bytes();
}

Reply With(std::function<void(Reply&)> change) {
    Reply reply(SomeZip());
    change(reply);
    return reply;
}

struct TransferTest : EngineTest {
    LoopbackServer server;
    TransferBounds boundsBefore;

    void SetUp() override {
        MakeFolder(tempFolder);
        boundsBefore = SetTransferBoundsForTests(ShortBounds());
    }
    void TearDown() override { SetTransferBoundsForTests(boundsBefore); }
    std::string Causes() const { return causes.All(); }
};

TEST_F(TransferTest, EveryMisbehaviourIsAReceivingErrorWithItsCause) {
    const std::string zip = SomeZip();
    const std::string bigLength = "1152921504606846976"; // 2^60 bytes: no disk holds that
    struct Case {
        const char* name;
        Reply reply;
        const char* cause; // in the cause lines
    } cases[] = {
        {"accepts, sends nothing", With([](Reply& r) { r.stall = Stall::BeforeHead; }),
         "no reply headers in time"},
        {"headers, then nothing", With([](Reply& r) { r.stall = Stall::AfterHead; }),
         "no byte of the body in time"},
        {"a trickle below the slowest link", With([](Reply& r) {
             r.trickleChunk = 100;
             r.trickleDelayMs = 150;
         }),
         "the body arrives too slowly"},
        {"redirect to itself", With([&](Reply& r) {
             r.status = 302;
             r.location = server.Url("/case");
         }),
         "more than 10 redirects"},
        {"redirect to a file", With([](Reply& r) {
             r.status = 302;
             r.location = "file:///C:/windows/win.ini";
         }),
         "not http or https"},
        {"redirect to ftp", With([](Reply& r) {
             r.status = 301;
             r.location = "ftp://127.0.0.1/update.zip";
         }),
         "not http or https"},
        {"redirect to https on a port that speaks plain HTTP", With([&](Reply& r) {
             r.status = 302;
             r.location = "https://localhost:" + std::to_string(server.Port()) + "/update.zip";
         }),
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
        {"a length of 70 digits, half the body sent", With([&](Reply& r) {
             r.lengthText = std::string(70, '9');
             r.sendLimit = zip.size() / 2;
         }),
         "unreadable Content-Length"},
        {"a length written twice, half the body sent", With([&](Reply& r) {
             r.lengthText = std::to_string(zip.size()) + ", " + std::to_string(zip.size());
             r.sendLimit = zip.size() / 2;
         }),
         "unreadable Content-Length"},
        {"a large body without a length that never ends its archive", With([](Reply& r) {
             r.body = "PK\x03\x04 and so on ";
             r.generatedSize = 8 * 1024 * 1024;
             r.framing = Framing::Close;
         }),
         "before the archive's end"},
        {"a length beyond the free space", With([&](Reply& r) {
             r.lengthText = bigLength;
             r.sendLimit = 1000;
         }),
         "not enough space"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve("/case", c.reply);
        const int requestsBefore = server.RequestCount();
        const std::string url = server.Url("/case");
        EXPECT_EQ(Download(url), DownloadOutcome::Failed);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>({texts::kReceiveFailed + url}));
        EXPECT_NE(Causes().find(c.cause), std::string::npos) << Causes();
        // A loop ends after the first request and its ten redirects.
        EXPECT_LE(server.RequestCount() - requestsBefore, 11);
        // Nothing but the archive itself may ever be taken for it.
        EXPECT_TRUE(ReadFileBytes(archivePath) != zip);
    }
}

// The sound cases beside the faults: whole bodies however they are framed,
// ten redirects, and a body that is no archive at all (the unpacking
// judges it).
TEST_F(TransferTest, WholeBodiesArriveHoweverFramed) {
    const std::string zip = SomeZip();
    server.ServeBytes("/end.zip", zip);
    for (int hop = 0; hop < 10; ++hop)
        server.ServeRedirect("/hop" + std::to_string(hop),
                             hop == 9 ? "/end.zip" : "/hop" + std::to_string(hop + 1), 307);
    struct Case {
        const char* name;
        std::string path;
        Reply reply;
        std::string expected;
    } cases[] = {
        {"chunked", "/chunked", With([](Reply& r) { r.framing = Framing::Chunked; }), zip},
        {"until the close", "/close", With([](Reply& r) { r.framing = Framing::Close; }), zip},
        {"ten redirects", "/hop0", Reply(), zip},
        {"no archive, no length", "/text",
         With([](Reply& r) { r.framing = Framing::Close, r.body = "plain text"; }), "plain text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.path != "/hop0")
            server.Serve(c.path, c.reply);
        EXPECT_EQ(Download(server.Url(c.path)), DownloadOutcome::Complete) << Causes();
        EXPECT_TRUE(app.messages.empty());
        EXPECT_TRUE(ReadFileBytes(archivePath) == c.expected);
    }
}

// While writing, the volume keeps its margin: the margin is set just under
// what is free now, so that a few megabytes fill it.
TEST_F(TransferTest, WritingStopsBeforeTheFreeSpaceMargin) {
    ULARGE_INTEGER available = {};
    ASSERT_TRUE(GetDiskFreeSpaceExA(tempFolder.c_str(), &available, nullptr, nullptr));
    const unsigned long long marginBefore =
        SetFreeSpaceMarginForTests(available.QuadPart - 3 * 1024 * 1024);
    Reply reply("no archive ");
    reply.generatedSize = 64 * 1024 * 1024;
    reply.framing = Framing::Close;
    server.Serve("/huge", reply);
    const DownloadOutcome outcome = Download(server.Url("/huge"));
    SetFreeSpaceMarginForTests(marginBefore);
    EXPECT_EQ(outcome, DownloadOutcome::Failed);
    EXPECT_NE(Causes().find("not enough space"), std::string::npos) << Causes();
    EXPECT_LT(ReadFileBytes(archivePath).size(), reply.generatedSize);
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
    EXPECT_EQ(RunTransfer(
                  request,
                  [&](const TransferReply&) -> BodySink {
                      return [&](const char* data, std::size_t size) {
                          body.append(data, size);
                          return true;
                      };
                  },
                  reply),
              TransferResult::Complete);
    EXPECT_EQ(reply.status, 206u);
    EXPECT_EQ(reply.contentLength, 4u);
    EXPECT_EQ(body, "tail");

    EXPECT_EQ(RunTransfer(
                  request, [](const TransferReply&) { return BodySink(); }, reply),
              TransferResult::Failed);
    request.range.clear();
    EXPECT_EQ(RunTransfer(
                  request, [](const TransferReply&) { return BodySink(); }, reply),
              TransferResult::Refused);
    EXPECT_EQ(reply.status, 206u);
}

} // namespace
