// The quick check against the full one: on every archive of the table, with
// the same installed files, the same marks, stamps, count and result, and
// after an update that fetched only the changed members, the same installed
// bytes and times; and what the range answers of a server make of it.
#include "QuickFixtures.h"
#include "engine/ContentRange.h"
#include "tar32/ZipSubset.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/SystemTexts.h"
#include "tests/win/engine/EngineFixture.h"

// Failures name the archive, not its bytes.
void PrintTo(const QuickFixture& fixture, std::ostream* out) {
    *out << fixture.name;
}

namespace {

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
    CheckResult Check(bool quick, const std::string& url = "", const std::string& more = "") {
        app.ClearTempFolder();
        app.messages.clear();
        app.WriteSettings("[Archive]\r\nURL=" + (url.empty() ? server.Url("/update.zip") : url) +
                          "\r\nQuickCheck=" + (quick ? "1" : "0") + "\r\n" + more);
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

    // An older copy of one entry, installed.
    void InstallOlder(std::size_t n) {
        Install(entryNames[n], "an older copy", {2020, 1, 2, 3, 4, 6});
    }

    // A check and the update after it: what the check left, then the
    // update's result and every installed copy (stamp and bytes).
    struct Update {
        CheckResult check;
        bool applied = false;
        std::vector<std::string> installed;
    };
    Update CheckAndUpdate(bool quick, std::size_t older) {
        InstallOlder(older);
        Update update;
        update.check = Check(quick);
        update.applied = app.ApplyUpdates(head);
        for (const std::string& name : entryNames) {
            char time[kTimeTextSize];
            int size = 0;
            app.GetFileStamp(false, name, time, kTimeTextSize, &size);
            const std::string path = programFolder + name;
            update.installed.push_back(name + " " + time + " " + std::to_string(size) + " " +
                                       (FileExists(path) ? ReadFileBytes(path) : "-"));
        }
        return update;
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

    // An older copy installed: the quick check fetches only the member that
    // decides it, and the update installs what the full one installs.
    if (!FileExists(programFolder + entryNames[fixture.changed]))
        return;
    const Update whole = CheckAndUpdate(false, fixture.changed);
    const Update partial = CheckAndUpdate(true, fixture.changed);
    EXPECT_EQ(partial.check, whole.check);
    EXPECT_GT(whole.check.count, 0);
    EXPECT_EQ(partial.applied, whole.applied);
    EXPECT_EQ(partial.installed, whole.installed);
    const std::vector<std::string> partialAsked = Asked();
    if (fixture.quick) {
        ASSERT_EQ(partialAsked.size(), asked.size() + 1);
        EXPECT_EQ(partialAsked.back().substr(partialAsked.back().size() - 3), " if");
    } else {
        EXPECT_EQ(partialAsked.back(), "GET");
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

bool AsciiOnly(const std::string& utf8, std::string& sjis) {
    sjis = utf8;
    return true;
}

// The Range header that asks for the member an unpacking leaves as
// bareName, or, with none, for the central directory before the tail.
std::string RangeAsked(const std::string& archive, const std::string& bareName = "") {
    tar32::ZipTail tail;
    tail.bytes = reinterpret_cast<const unsigned char*>(archive.data());
    tail.size = tail.archiveSize = archive.size();
    const tar32::ZipEnd end = tar32::ReadZipEnd(tail);
    if (bareName.empty())
        return RangeOf(end.directoryOffset, archive.size() - 65536 - 1) + " if";
    const std::vector<tar32::ZipMember> members = tar32::ListZipDirectory(tail, AsciiOnly);
    const std::vector<tar32::ZipSpan> spans = tar32::MemberSpans(members, end);
    std::string range;
    for (std::size_t i = 0; i < members.size(); ++i)
        if (members[i].bareName == bareName)
            range = RangeOf(spans[i].begin, spans[i].end - 1) + " if";
    return range;
}

// The answers to the tail and the directory (nothing new) and, with one
// entry older, to its member's range: each ends as the full check does.
TEST_F(QuickCheckTest, EveryRangeAnswerEndsAsItShould) {
    using Server = LoopbackServer;
    const QuickFixture& dos = Named("dos_time");
    const QuickFixture& ut = Named("infozip_ut");
    const QuickFixture& big = Named("directory_over_64k");
    auto ranged = [](Server::RangeFault fault, const QuickFixture& fixture = Named("dos_time")) {
        return Server::RangedReply(fixture.bytes, kEtag, kLastModified, fault);
    };
    const Server::Reply served = ranged(Server::RangesServed);
    const Server::Reply ignored = ranged(Server::RangesIgnored);
    const Server::Reply status416 = ranged(Server::RangeStatus416);
    const Server::Reply status501 = ranged(Server::RangeStatus501);
    const Server::Reply noRange = ranged(Server::RangeWithoutContentRange);
    Server::Reply otherRange = noRange;
    otherRange.headers = "Content-Range: bytes 1-100/" + std::to_string(dos.bytes.size()) + "\r\n";
    // The next release ("new"), published between two ranges.
    auto next = [](const QuickFixture& fixture) {
        return Server::RangedReply(fixture.bytes, "\"next\"", "Tue, 07 May 2024 07:08:10 GMT");
    };
    const std::string tail = "bytes=-65536";
    const std::string member = RangeAsked(dos.bytes, dos.entries[dos.changed]);
    const std::size_t older = dos.changed;
    const std::string directory = RangeAsked(big.bytes);
    const Server::Reply servedUt = ranged(Server::RangesServed, ut);
    // A 206 to the tail one byte longer than the 64 KiB asked for.
    Server::Reply tooLong(big.bytes.substr(big.bytes.size() - 65536 - 1));
    tooLong.status = 206;
    tooLong.headers = "Content-Range: bytes " + std::to_string(big.bytes.size() - 65536) + "-" +
                      std::to_string(big.bytes.size() - 1) + "/" +
                      std::to_string(big.bytes.size()) + "\r\nETag: " + kEtag + "\r\n";
    constexpr std::size_t kNone = ~std::size_t(0);
    struct Case {
        const char* what;
        const QuickFixture& archive;
        std::size_t older; // the entry installed older, if any
        int after;         // requests answered as they should be before the reply
        Server::Reply reply;
        std::vector<std::string> asked;
        int count;         // what the full check counts
        bool once = false; // the reply answers one request, then all is served as it should be
    };
    for (const Case& c : {
             Case{"206", dos, kNone, 0, served, {tail}, 0},
             Case{"200: the range ignored", dos, kNone, 0, ignored, {tail}, 0},
             Case{"416", dos, kNone, 0, status416, {tail, "GET"}, 0},
             Case{"501", dos, kNone, 0, status501, {tail, "GET"}, 0},
             Case{"206 without Content-Range", dos, kNone, 0, noRange, {tail, "GET"}, 0},
             Case{"new before the directory", big, kNone, 1, next(dos), {tail, directory}, 0},
             Case{"the member's 206", dos, older, 1, served, {tail, member}, 1},
             Case{"200 to the member: taken", dos, older, 1, ignored, {tail, member}, 1},
             Case{"416 to the member", dos, older, 1, status416, {tail, member, "GET"}, 1},
             Case{"another Content-Range", dos, older, 1, otherRange, {tail, member, "GET"}, 1},
             Case{"new before the member", dos, older, 1, next(ut), {tail, member}, 2},
             Case{"a member over half", ut, 0, 0, servedUt, {tail, "GET"}, 1},
             Case{"206 longer than the tail", big, kNone, 0, tooLong, {tail, "GET"}, 0, true},
         }) {
        SCOPED_TRACE(c.what);
        entryNames = c.archive.entries;
        ServeArchive(c.archive.bytes);
        InstallFromArchive();
        if (c.older != kNone)
            InstallOlder(c.older);
        if (c.after > 0)
            server.ServeAfter("/update.zip", c.after, c.reply);
        else
            server.Serve("/update.zip", c.reply);
        if (c.once)
            server.ServeAfter("/update.zip", 1, ranged(Server::RangesServed, c.archive));
        const CheckResult quick = Check(true);
        EXPECT_EQ(Asked(), c.asked);
        const CheckResult full = Check(false);
        EXPECT_EQ(quick, full);
        EXPECT_EQ(full.count, c.count) << full;
    }
}

TEST_F(QuickCheckTest, WithAPublicKeyTheWholeArchiveIsFetchedAndVerified) {
    const std::string signing = BinaryFolder() + "minisign-fixture\\";
    server.ServeBytes("/update.zip.minisig", ReadFileBytes(signing + "good.minisig"));
    ServeArchive(ReadFileBytes(signing + "update.zip"));
    entryNames = {"app.exe"};
    Install("app.exe", "program 1", {2024, 5, 6, 7, 8, 10});
    const std::string key = ReadFileBytes(signing + "key-a.txt");
    const CheckResult quick = Check(true, "", "PublicKey=" + key + "\r\n");
    EXPECT_EQ(Asked(), std::vector<std::string>({"bytes=-65536", "GET", "GET"}));
    EXPECT_EQ(quick.count, 1) << quick;
    EXPECT_TRUE(quick.messages.empty()) << quick;
}

TEST_F(QuickCheckTest, NoConnectionIsTheReceivingErrorAtOnce) {
    entryNames = {"app.exe"};
    const std::string url =
        "http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/update.zip";
    const CheckResult quick = Check(true, url);
    EXPECT_FALSE(quick.result);
    EXPECT_EQ(quick.messages, std::vector<std::string>({texts::kReceiveFailed + url}));
    EXPECT_EQ(quick.rows, std::vector<std::string>({"app.exe 0  0"}));
}

} // namespace
