// The quick check against the full one: on every archive of the table, with
// the same installed files, the same marks, stamps, count and result; and
// what the range answers of a server make of it.
#include "QuickFixtures.h"
#include "tests/support/LoopbackServer.h"
#include "tests/win/engine/EngineFixture.h"

// Failures name the archive, not its bytes.
void PrintTo(const QuickFixture& fixture, std::ostream* out) {
    *out << fixture.name;
}

namespace {

const std::string kReceiveError = "ｱｰｶｲﾌﾞﾃﾞｰﾀ受信中にｴﾗｰが起きました。\r\n\r\n";
const std::string kEtag = "\"65a1-5f3a\"";
const std::string kLastModified = "Mon, 06 May 2024 07:08:10 GMT";

// What one check left: its result, count, messages and every entry.
struct CheckResult {
    bool result = false;
    int count = -1;
    std::vector<std::string> messages;
    std::vector<std::string> rows; // name, state, archive time and size of each entry
    bool operator==(const CheckResult& o) const {
        return result == o.result && count == o.count && messages == o.messages && rows == o.rows;
    }
};

std::ostream& operator<<(std::ostream& out, const CheckResult& r) {
    out << (r.result ? "true" : "false") << ", count " << r.count;
    for (const std::string& m : r.messages)
        out << " [" << m << "]";
    for (const std::string& row : r.rows)
        out << "\n  " << row;
    return out;
}

struct QuickCheckTest : EngineTest {
    LoopbackServer server;
    std::vector<std::string> entryNames;
    UpdateEntry* head = nullptr;

    void SetUp() override { ASSERT_TRUE(HaveArchiveLibrary()) << "tar32.dll is not built"; }
    ~QuickCheckTest() override { FreeEntryChain(head); }

    void ServeArchive(const std::string& bytes,
                      LoopbackServer::RangeFault fault = LoopbackServer::RangesServed) {
        server.Serve("/update.zip",
                     LoopbackServer::RangedReply(bytes, kEtag, kLastModified, fault));
    }

    // One check from a fresh start: the temporary folder emptied, the list
    // loaded again (local stamps taken anew), no messages, no requests.
    CheckResult Check(bool quick, const std::string& url = "") {
        app.ClearTempFolder();
        app.messages.clear();
        app.WriteSettings("[Archive]\r\nURL=" + (url.empty() ? server.Url("/update.zip") : url) +
                          "\r\nQuickCheck=" + (quick ? "1" : "0") + "\r\n");
        EXPECT_TRUE(app.LoadSettings());
        FreeEntryChain(head);
        UpdateEntry** tail = &head;
        for (const std::string& name : entryNames) {
            auto* entry = new UpdateEntry;
            entry->fileName = name;
            app.GetFileStamp(false, name, entry->localTime, kTimeTextSize, &entry->localSize);
            *tail = entry;
            tail = &entry->next;
        }
        requestsBefore_ = server.Requests().size();
        CheckResult r;
        r.result = app.CheckForUpdates(head, &r.count);
        r.messages = MessageTexts();
        for (UpdateEntry* e = head; e != nullptr; e = e->next)
            r.rows.push_back(e->fileName + " " + std::to_string(e->state) + " " + e->archiveTime +
                             " " + std::to_string(e->archiveSize));
        return r;
    }

    // Installs the archive's copies as an update would.
    void InstallFromArchive() {
        Check(false);
        app.ApplyUpdates(head);
    }

    // The requests of the last check: "GET", or the range asked for and
    // "if" when it carried If-Range.
    std::vector<std::string> Asked() const {
        std::vector<std::string> asked;
        const std::vector<LoopbackServer::Request> all = server.Requests();
        for (std::size_t i = requestsBefore_; i < all.size(); ++i)
            asked.push_back(all[i].range.empty()
                                ? "GET"
                                : all[i].range + (all[i].ifRange.empty() ? "" : " if"));
        return asked;
    }

  private:
    std::size_t requestsBefore_ = 0;
};

struct QuickDifferential : QuickCheckTest, testing::WithParamInterface<QuickFixture> {};

TEST_P(QuickDifferential, GivesWhatTheFullCheckGives) {
    const QuickFixture& fixture = GetParam();
    entryNames = fixture.entries;
    ServeArchive(fixture.bytes);
    InstallFromArchive();

    // Nothing new: the quick check reads the directory only.
    const CheckResult full = Check(false);
    const CheckResult quick = Check(true);
    EXPECT_EQ(quick, full);
    const std::vector<std::string> asked = Asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], "bytes=-65536");
    if (fixture.quick) {
        EXPECT_EQ(full.count, 0) << full;
        EXPECT_EQ(std::count(asked.begin(), asked.end(), "GET"), 0);
    } else {
        EXPECT_EQ(asked.back(), "GET");
    }

    // One installed file a second off: the whole archive decides.
    const std::string first = programFolder + entryNames[0];
    if (FileExists(first)) {
        FILETIME written;
        {
            ScopedFile file(CreateFileA(first.c_str(), FILE_WRITE_ATTRIBUTES | GENERIC_READ, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(GetFileTime(file.get(), nullptr, nullptr, &written));
            ULARGE_INTEGER ticks;
            ticks.LowPart = written.dwLowDateTime;
            ticks.HighPart = written.dwHighDateTime;
            ticks.QuadPart += 10000000;
            written.dwLowDateTime = ticks.LowPart;
            written.dwHighDateTime = ticks.HighPart;
            ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
        }
        const CheckResult fullAgain = Check(false);
        const CheckResult quickAgain = Check(true);
        EXPECT_EQ(quickAgain, fullAgain);
        EXPECT_GT(fullAgain.count, 0);
        EXPECT_EQ(Asked().back(), "GET");
    }
}

std::string FixtureName(const testing::TestParamInfo<QuickFixture>& info) {
    return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Archives, QuickDifferential, testing::ValuesIn(QuickFixtures()),
                         FixtureName);

const QuickFixture& Named(const char* name) {
    static const std::vector<QuickFixture> all = QuickFixtures();
    for (const QuickFixture& fixture : all)
        if (std::string(fixture.name) == name)
            return fixture;
    throw std::runtime_error(name);
}

TEST_F(QuickCheckTest, EveryRangeAnswerEndsAsItShould) {
    struct Case {
        const char* what;
        const char* archive;
        LoopbackServer::RangeFault fault;
        std::vector<std::string> asked;
    };
    const std::string tail = "bytes=-65536";
    for (const Case& c : {
             Case{"206", "dos_time", LoopbackServer::RangesServed, {tail}},
             Case{"200: the range ignored", "dos_time", LoopbackServer::RangesIgnored, {tail}},
             Case{"416", "dos_time", LoopbackServer::RangeStatus416, {tail, "GET"}},
             Case{"501", "dos_time", LoopbackServer::RangeStatus501, {tail, "GET"}},
             Case{"206 without Content-Range",
                  "dos_time",
                  LoopbackServer::RangeWithoutContentRange,
                  {tail, "GET"}},
         }) {
        SCOPED_TRACE(c.what);
        const QuickFixture& fixture = Named(c.archive);
        entryNames = fixture.entries;
        ServeArchive(fixture.bytes);
        InstallFromArchive();
        ServeArchive(fixture.bytes, c.fault);
        const CheckResult full = Check(false);
        const CheckResult quick = Check(true);
        EXPECT_EQ(quick, full);
        EXPECT_EQ(Asked(), c.asked);
    }
}

TEST_F(QuickCheckTest, AnArchiveRepublishedBetweenTheRangesIsReadWhole) {
    const QuickFixture& fixture = Named("directory_over_64k");
    entryNames = fixture.entries;
    ServeArchive(fixture.bytes);
    InstallFromArchive();
    // The next archive: one member more, under another ETag.
    const std::string next = Named("dos_time").bytes;
    ServeArchive(fixture.bytes);
    server.ServeAfter(
        "/update.zip", 1,
        LoopbackServer::RangedReply(next, "\"next\"", "Tue, 07 May 2024 07:08:10 GMT"));
    const CheckResult quick = Check(true);
    const std::vector<std::string> asked = Asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].substr(asked[1].size() - 3), " if");
    // The second answer is the new archive, whole: checked as without the key.
    const CheckResult full = Check(false);
    EXPECT_EQ(quick, full);
}

TEST_F(QuickCheckTest, SomethingNewFetchesTheWholeArchiveOnceAndUpdates) {
    const QuickFixture& fixture = Named("infozip_ut");
    entryNames = fixture.entries;
    ServeArchive(fixture.bytes);
    const CheckResult quick = Check(true);
    EXPECT_EQ(quick.count, 2);
    EXPECT_EQ(Asked(), std::vector<std::string>({"bytes=-65536", "GET"}));
    ASSERT_TRUE(app.ApplyUpdates(head));
    EXPECT_EQ(ReadFileBytes(programFolder + "app.exe").size(), 480u);
}

TEST_F(QuickCheckTest, NoConnectionIsTheReceivingErrorAtOnce) {
    entryNames = {"app.exe"};
    const std::string url =
        "http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/update.zip";
    const CheckResult quick = Check(true, url);
    EXPECT_FALSE(quick.result);
    EXPECT_EQ(quick.messages, std::vector<std::string>({kReceiveError + url}));
    EXPECT_EQ(quick.rows, std::vector<std::string>({"app.exe 0  0"}));
}

} // namespace
