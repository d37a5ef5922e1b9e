#include <optional>

#include "engine/Download.h"
#include "tests/support/LoopbackServer.h"
#include "tests/win/engine/EngineFixture.h"

namespace {

const std::string kReceiveError = "ｱｰｶｲﾌﾞﾃﾞｰﾀ受信中にｴﾗｰが起きました。\r\n\r\n";
const std::string kTempFileError = "下記ﾃﾝﾎﾟﾗﾘﾌｧｲﾙを作成できません。\r\n\r\n";
const std::string kCannotOpen = "下記URLがｵｰﾌﾟﾝできません。\r\n\r\n";

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

struct DownloadTest : EngineTest {
    LoopbackServer server;
    std::optional<CWaitCursor> waitCursor;

    void SetUp() override { MakeFolder(tempFolder); }

    DownloadOutcome Download(const std::string& url) {
        waitCursor.reset();
        return DownloadArchive(url, archivePath, waitCursor);
    }
};

TEST_F(DownloadTest, StoresTheBodyByteForByteAsTovarindSession) {
    const std::string body = BinaryBody(300 * 1024 + 17);
    server.ServeBytes("/update.zip", body);
    EXPECT_EQ(Download(server.Url("/update.zip")), DownloadOutcome::Complete);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(ReadFileBytes(archivePath), body);
    EXPECT_TRUE(waitCursor.has_value());
    ASSERT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(server.Requests()[0].method, "GET");
    EXPECT_EQ(server.LastUserAgent(), "Tovarind Session");
}

TEST_F(DownloadTest, EmptyBodyIsAnEmptyArchive) {
    server.ServeBytes("/empty.zip", "");
    EXPECT_EQ(Download(server.Url("/empty.zip")), DownloadOutcome::Complete);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_TRUE(FileExists(archivePath));
    EXPECT_EQ(ReadFileBytes(archivePath), "");
}

TEST_F(DownloadTest, RedirectsAreFollowedToTheArchive) {
    server.ServeBytes("/real.zip", "PK-real");
    server.ServeRedirect("/moved.zip", "/real.zip", 302);
    server.ServeRedirect("/gone.zip", "/real.zip", 301);
    EXPECT_EQ(Download(server.Url("/moved.zip")), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFileBytes(archivePath), "PK-real");
    EXPECT_EQ(Download(server.Url("/gone.zip")), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFileBytes(archivePath), "PK-real");
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(server.RequestCount("/real.zip"), 2);
}

TEST_F(DownloadTest, ASlowTrickleArrivesWhole) {
    const std::string body = BinaryBody(10000);
    server.ServeTrickle("/slow.zip", body, 1500, 30);
    EXPECT_EQ(Download(server.Url("/slow.zip")), DownloadOutcome::Complete);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(ReadFileBytes(archivePath), body);
}

// An error page is not an archive: it must not be reported as downloaded.
TEST_F(DownloadTest, ErrorStatusesAreReceivingErrors) {
    server.ServeStatus("/missing.zip", 404, "<html>Not Found</html>");
    server.ServeStatus("/broken.zip", 500, "<html>Server Error</html>");
    server.ServeRedirect("/to-missing.zip", "/missing.zip");
    for (const char* path : {"/missing.zip", "/broken.zip", "/to-missing.zip"}) {
        SCOPED_TRACE(path);
        app.messages.clear();
        const std::string url = server.Url(path);
        EXPECT_EQ(Download(url), DownloadOutcome::Failed);
        ASSERT_EQ(app.messages.size(), 1u);
        EXPECT_EQ(app.messages[0].text, kReceiveError + url);
        EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_EQ(ReadFileBytes(archivePath), ""); // the page is not kept as the archive
    }
}

TEST_F(DownloadTest, ABodyEndingEarlyIsAReceivingError) {
    const std::string body = BinaryBody(50000);
    server.ServeCutOff("/cut.zip", body, 20000);
    server.ServeDropped("/dropped.zip", body, 20000);
    server.ServeCutOff("/headonly.zip", body, 0);
    for (const char* path : {"/cut.zip", "/dropped.zip", "/headonly.zip"}) {
        SCOPED_TRACE(path);
        app.messages.clear();
        const std::string url = server.Url(path);
        EXPECT_EQ(Download(url), DownloadOutcome::Failed);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>({kReceiveError + url}));
        // What arrived stays until the end of the run; it is never more.
        EXPECT_LE(ReadFileBytes(archivePath).size(), 20000u);
    }
}

TEST_F(DownloadTest, RefusedConnectionIsAReceivingError) {
    const std::string url =
        "http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/update.zip";
    EXPECT_EQ(Download(url), DownloadOutcome::Failed);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({kReceiveError + url}));
    EXPECT_TRUE(FileExists(archivePath));
}

TEST_F(DownloadTest, UnknownHostAndNonUrlsAreReceivingErrors) {
    for (const std::string url : {"http://tovarind-test.invalid/update.zip", "not a url"}) {
        SCOPED_TRACE(url);
        app.messages.clear();
        EXPECT_EQ(Download(url), DownloadOutcome::Failed);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>({kReceiveError + url}));
    }
}

TEST_F(DownloadTest, AUrlThatNamesNoFileCannotBeOpened) {
    const std::string url = "mailto:updates@127.0.0.1";
    EXPECT_EQ(Download(url), DownloadOutcome::Failed);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({kCannotOpen + url}));
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(DownloadTest, MissingTemporaryFolderStopsBeforeAnyConnection) {
    RemoveTree(tempFolder);
    server.ServeBytes("/update.zip", "PK");
    EXPECT_EQ(Download(server.Url("/update.zip")), DownloadOutcome::FileNotCreated);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({kTempFileError + archivePath}));
    EXPECT_EQ(app.messages[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_FALSE(waitCursor.has_value());
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(DownloadTest, ArchiveFileInUseCannotBeCreated) {
    WriteFileBytes(archivePath, "old");
    LockedFile lock(archivePath);
    ASSERT_TRUE(lock.IsOpen());
    server.ServeBytes("/update.zip", "PK");
    EXPECT_EQ(Download(server.Url("/update.zip")), DownloadOutcome::FileNotCreated);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({kTempFileError + archivePath}));
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(DownloadTest, ASecondDownloadStartsTheFileAfresh) {
    server.ServeCutOff("/first.zip", BinaryBody(40000), 30000);
    server.ServeBytes("/second.zip", "short archive");
    EXPECT_EQ(Download(server.Url("/first.zip")), DownloadOutcome::Failed);
    EXPECT_GT(ReadFileBytes(archivePath).size(), 0u);
    EXPECT_EQ(Download(server.Url("/second.zip")), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFileBytes(archivePath), "short archive");
}

// A check repeated within one run (after a failure, say) must see what the
// server has now, not an earlier answer kept by the platform.
TEST_F(DownloadTest, TheSameUrlIsFetchedAgain) {
    server.ServeBytes("/update.zip", "first");
    EXPECT_EQ(Download(server.Url("/update.zip")), DownloadOutcome::Complete);
    server.ServeBytes("/update.zip", "second");
    EXPECT_EQ(Download(server.Url("/update.zip")), DownloadOutcome::Complete);
    EXPECT_EQ(ReadFileBytes(archivePath), "second");
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
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>({kReceiveError + server.Url("/update.zip")}));
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
