#include "engine/Download.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

using Reply = LoopbackServer::Reply;
using Framing = LoopbackServer::Framing;

// Every byte value, line ends of both kinds and zero bytes, over many reads.
std::string BinaryBody(std::size_t size) {
    std::string bytes(size, '\0');
    unsigned long seed = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245UL + 12345UL;
        bytes[i] = static_cast<char>((seed >> 16) & 0xFF);
    }
    return bytes.replace(0, 6, "\r\n\n\r\0\x1A", 6);
}

// bytes announced whole, only the first `sent` sent; reset: the connection
// is reset rather than closed.
Reply CutAfter(const std::string& bytes, std::size_t sent, bool reset = false) {
    Reply reply(bytes);
    reply.sendLimit = sent;
    reply.reset = reset;
    return reply;
}

struct DownloadTest : EngineTest {
    LoopbackServer server;

    void SetUp() override { MakeFolder(tempFolder); }
};

// Each body arrives byte for byte, however it is framed, asked for with
// GET as Tovarind Session, under the wait cursor. A body that is no archive
// at all is kept too: the unpacking judges it.
TEST_F(DownloadTest, WholeBodiesArriveAsSent) {
    const std::string binary = BinaryBody(300 * 1024 + 17), slow = BinaryBody(10000);
    // Stored, large enough for several chunks.
    const std::string zip =
        ZipBuilder().Add("file.txt", std::string(12000, 'z'), {2024, 5, 6, 7, 8, 10}).Bytes();
    Reply trickle(slow), chunked(zip), close(zip), text("plain text");
    trickle.trickleChunk = 1500;
    trickle.trickleDelayMs = 30;
    chunked.framing = Framing::Chunked;
    close.framing = text.framing = Framing::Close;
    server.ServeBytes("/update.zip", binary);
    server.ServeBytes("/empty.zip", "");
    server.ServeBytes("/real.zip", "PK-real");
    server.ServeRedirect("/moved.zip", "/real.zip", 302);
    server.ServeRedirect("/gone.zip", "/real.zip", 301);
    server.Serve("/slow.zip", trickle);
    server.Serve("/chunked.zip", chunked);
    server.Serve("/close.zip", close);
    server.Serve("/text", text);
    server.ServeBytes("/end.zip", zip);
    for (int hop = 0; hop < 10; ++hop)
        server.ServeRedirect("/hop" + std::to_string(hop),
                             hop == 9 ? "/end.zip" : "/hop" + std::to_string(hop + 1), 307);
    struct Case {
        const char* name;
        const char* path;
        std::string expected;
        int requests;
    } const cases[] = {
        {"every byte value", "/update.zip", binary, 1},
        {"an empty body is an empty archive", "/empty.zip", "", 1},
        {"a 302 is followed to the archive", "/moved.zip", "PK-real", 2},
        {"a 301 is followed to the archive", "/gone.zip", "PK-real", 2},
        {"a slow trickle arrives whole", "/slow.zip", slow, 1},
        {"chunked", "/chunked.zip", zip, 1},
        {"until the close", "/close.zip", zip, 1},
        {"ten redirects", "/hop0", zip, 11},
        {"no archive, no length", "/text", "plain text", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int requestsBefore = server.RequestCount();
        EXPECT_EQ(Download(server.Url(c.path)), DownloadOutcome::Complete) << causes.All();
        ExpectMessages(app, {});
        EXPECT_TRUE(FileExists(archivePath));
        EXPECT_TRUE(ReadFileBytes(archivePath) == c.expected);
        EXPECT_TRUE(waitCursor.has_value());
        ASSERT_EQ(server.RequestCount() - requestsBefore, c.requests);
        EXPECT_EQ(server.Requests().back().method, "GET");
        EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
    }
    EXPECT_EQ(server.RequestCount("/real.zip"), 2);
}

// Each failure shows the one message with the URL, or, when the archive
// file cannot be made, with its path: then nothing is asked of the server.
// An error page is not an archive: it is not kept as one; a body that ends
// early stays as far as it came until the end of the run, never more.
TEST_F(DownloadTest, EveryFailureIsItsOneMessage) {
    const std::string body = BinaryBody(50000);
    server.ServeStatus("/missing.zip", 404, "<html>Not Found</html>");
    server.ServeStatus("/broken.zip", 500, "<html>Server Error</html>");
    server.ServeRedirect("/to-missing.zip", "/missing.zip");
    server.Serve("/cut.zip", CutAfter(body, 20000));
    server.Serve("/dropped.zip", CutAfter(body, 20000, true));
    server.Serve("/headonly.zip", CutAfter(body, 0));
    server.ServeBytes("/update.zip", "PK");
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/update.zip";
    enum Before { Nothing, NoFolder, FileInUse };
    struct Case {
        const char* name;
        std::string url; // a path of the server, or a whole URL
        const std::string& message;
        std::size_t keptAtMost;
        Before before = Nothing;
    } const cases[] = {
        {"404", "/missing.zip", texts::kReceiveFailed, 0},
        {"500", "/broken.zip", texts::kReceiveFailed, 0},
        {"redirect to a 404", "/to-missing.zip", texts::kReceiveFailed, 0},
        {"cut off", "/cut.zip", texts::kReceiveFailed, 20000},
        {"dropped", "/dropped.zip", texts::kReceiveFailed, 20000},
        {"the head only", "/headonly.zip", texts::kReceiveFailed, 0},
        {"a refused connection", refused, texts::kReceiveFailed, 0},
        {"an unknown host", "http://tovarind-test.invalid/update.zip", texts::kReceiveFailed, 0},
        {"not a URL", "not a url", texts::kReceiveFailed, 0},
        {"a URL that names no file", "mailto:updates@127.0.0.1", texts::kUrlNotOpened, 0},
        {"ftp", "ftp://127.0.0.1/update.zip", texts::kUrlNotOpened, 0},
        {"file", "file:///C:/update.zip", texts::kUrlNotOpened, 0},
        {"missing temporary folder", "/update.zip", texts::kTempFileNotCreated, 0, NoFolder},
        {"archive file in use", "/update.zip", texts::kTempFileNotCreated, 3, FileInUse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool ours = c.url[0] == '/', created = c.before == Nothing;
        const std::string url = ours ? server.Url(c.url) : c.url;
        std::optional<LockedFile> lock;
        if (c.before == NoFolder)
            RemoveTree(tempFolder);
        if (c.before == FileInUse) {
            MakeFolder(tempFolder);
            WriteFileBytes(archivePath, "old");
            lock.emplace(archivePath);
            ASSERT_TRUE(lock->IsOpen());
        }
        const int requestsBefore = server.RequestCount();
        EXPECT_EQ(Download(url),
                  created ? DownloadOutcome::Failed : DownloadOutcome::FileNotCreated);
        ExpectMessages(app, {c.message + (created ? url : archivePath)});
        EXPECT_EQ(waitCursor.has_value(), created);
        EXPECT_LE(ReadFileBytes(archivePath).size(), c.keptAtMost);
        if (!ours || !created) {
            EXPECT_EQ(server.RequestCount(), requestsBefore);
        }
        if (c.url == refused) {
            EXPECT_TRUE(FileExists(archivePath));
        }
    }
}

// A second download starts the file afresh; one of the same URL within a
// run (a check repeated after a failure, say) sees what the server has
// now, not an earlier answer kept by the platform.
TEST_F(DownloadTest, ASecondDownloadStartsAfreshFromTheServer) {
    server.Serve("/first.zip", CutAfter(BinaryBody(40000), 30000));
    server.ServeBytes("/second.zip", "short archive");
    EXPECT_EQ(Download(server.Url("/first.zip")), DownloadOutcome::Failed);
    EXPECT_GT(ReadFileBytes(archivePath).size(), 0u);
    EXPECT_EQ(Download(server.Url("/second.zip")), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFileBytes(archivePath), "short archive");
    for (const std::string bytes : {"first", "second"}) {
        server.ServeBytes("/update.zip", bytes);
        EXPECT_EQ(Download(server.Url("/update.zip")), DownloadOutcome::Complete);
        EXPECT_EQ(ReadFileBytes(archivePath), bytes);
    }
    EXPECT_EQ(server.RequestCount("/update.zip"), 2);
}

// Through the check: a failed download touches no entry and unpacks nothing.
TEST_F(DownloadTest, FailedDownloadLeavesTheCheckUntouched) {
    Install("app.exe", "old", {2024, 5, 6, 7, 8, 10});
    server.ServeStatus("/update.zip", 404, "<html>Not Found</html>");
    Configure(server.Url("/update.zip"));
    EntryChain chain(app, {{"app.exe", ""}});
    int count = 42;
    EXPECT_FALSE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    ExpectMessages(app, {texts::kReceiveFailed + server.Url("/update.zip")});
    EXPECT_EQ(chain[0].state, NotCompared);
    EXPECT_EQ(chain[0].archiveSize, 0);
    EXPECT_EQ(chain[0].archiveTime[0], '\0');
    // A retry after the server is fixed reaches the unpacking.
    server.ServeBytes("/update.zip", "not a zip");
    app.messages.clear();
    EXPECT_TRUE(app.CheckForUpdates(chain.head, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ReadFileBytes(archivePath), "not a zip");
}

} // namespace
