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
    std::size_t changed = 0; // the entry InstallOlder installs older
    UpdateEntry* head = nullptr;

    void Use(const QuickFixture& fixture) {
        entryNames = fixture.entries;
        changed = fixture.changed;
    }

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

    // An older copy of one entry, installed: by default the fixture's
    // entry whose member is fetched alone.
    void InstallOlder() { Install(entryNames[changed], "an older copy", {2020, 1, 2, 3, 4, 6}); }

    // A check and the update after it: what the check left, what was asked,
    // then the update's result and every installed copy (stamp and bytes).
    struct Update {
        CheckResult check;
        std::vector<std::string> asked;
        bool applied = false;
        std::vector<std::string> installed;
    };
    Update CheckAndUpdate(bool quick) {
        InstallOlder();
        Update update;
        update.check = Check(quick);
        update.asked = Asked();
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
    Use(fixture);
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
    if (!FileExists(programFolder + entryNames[changed]))
        return;
    const Update whole = CheckAndUpdate(false);
    const Update partial = CheckAndUpdate(true);
    EXPECT_EQ(partial.check, whole.check);
    EXPECT_GT(whole.check.count, 0);
    EXPECT_EQ(partial.applied, whole.applied);
    EXPECT_EQ(partial.installed, whole.installed);
    if (fixture.quick) {
        ASSERT_EQ(partial.asked.size(), asked.size() + 1);
        EXPECT_EQ(partial.asked.back().substr(partial.asked.back().size() - 3), " if");
    } else {
        EXPECT_EQ(partial.asked.back(), "GET");
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

// The Range header that asks for the member an unpacking leaves as bareName.
std::string MemberRange(const std::string& archive, const std::string& bareName) {
    tar32::ZipTail tail;
    tail.bytes = reinterpret_cast<const unsigned char*>(archive.data());
    tail.size = tail.archiveSize = archive.size();
    const std::vector<tar32::ZipMember> members = tar32::ListZipDirectory(tail, AsciiOnly);
    const std::vector<tar32::ZipSpan> spans = tar32::MemberSpans(members, tar32::ReadZipEnd(tail));
    std::string range;
    for (std::size_t i = 0; i < members.size(); ++i)
        if (members[i].bareName == bareName)
            range = RangeOf(spans[i].begin, spans[i].end - 1);
    return range;
}

// The answers to the tail (nothing new) and, with one entry older, to its
// member's range: each ends as the full check does.
TEST_F(QuickCheckTest, EveryRangeAnswerEndsAsItShould) {
    const QuickFixture& fixture = Named("dos_time");
    const std::string& bytes = fixture.bytes;
    const std::string tail = "bytes=-65536";
    const std::string member = MemberRange(bytes, fixture.entries[fixture.changed]) + " if";
    using Server = LoopbackServer;
    Server::Reply otherRange =
        Server::RangedReply(bytes, kEtag, kLastModified, Server::RangeWithoutContentRange);
    otherRange.headers = "Content-Range: bytes 1-100/" + std::to_string(bytes.size()) + "\r\n";
    // The next release, published between the directory and the member.
    const Server::Reply republished =
        Server::RangedReply(Named("infozip_ut").bytes, "\"next\"", "Tue, 07 May 2024 07:08:10 GMT");
    struct Case {
        const char* what;
        int after; // requests answered as they should be before the reply
        Server::Reply reply;
        std::vector<std::string> asked;
        int count; // what the full check counts
    };
    auto ranged = [&](Server::RangeFault fault) {
        return Server::RangedReply(bytes, kEtag, kLastModified, fault);
    };
    for (const Case& c : {
             Case{"206", 0, ranged(Server::RangesServed), {tail}, 0},
             Case{"200: the range ignored", 0, ranged(Server::RangesIgnored), {tail}, 0},
             Case{"416", 0, ranged(Server::RangeStatus416), {tail, "GET"}, 0},
             Case{"501", 0, ranged(Server::RangeStatus501), {tail, "GET"}, 0},
             Case{"206 without Content-Range",
                  0,
                  ranged(Server::RangeWithoutContentRange),
                  {tail, "GET"},
                  0},
             Case{"the member's 206", 1, ranged(Server::RangesServed), {tail, member}, 1},
             Case{"200 to the member: used whole",
                  1,
                  ranged(Server::RangesIgnored),
                  {tail, member},
                  1},
             Case{"416 to the member", 1, ranged(Server::RangeStatus416), {tail, member, "GET"}, 1},
             Case{"the member in another Content-Range", 1, otherRange, {tail, member, "GET"}, 1},
             Case{"republished before the member", 1, republished, {tail, member}, 2},
         }) {
        SCOPED_TRACE(c.what);
        Use(fixture);
        ServeArchive(bytes);
        InstallFromArchive();
        if (c.after > 0) {
            InstallOlder();
            server.ServeAfter("/update.zip", c.after, c.reply);
        } else {
            server.Serve("/update.zip", c.reply);
        }
        const CheckResult quick = Check(true);
        EXPECT_EQ(Asked(), c.asked);
        const CheckResult full = Check(false);
        EXPECT_EQ(quick, full);
        EXPECT_EQ(full.count, c.count) << full;
    }
}

TEST_F(QuickCheckTest, WithAPublicKeyTheWholeArchiveIsFetchedAndVerified) {
    server.ServeBytes("/update.zip.minisig",
                      ReadFileBytes(BinaryFolder() + "minisign-fixture\\good.minisig"));
    ServeArchive(ReadFileBytes(BinaryFolder() + "minisign-fixture\\update.zip"));
    entryNames = {"app.exe"};
    Install("app.exe", "program 1", {2024, 5, 6, 7, 8, 10});
    const std::string key = ReadFileBytes(BinaryFolder() + "minisign-fixture\\key-a.txt");
    const CheckResult quick = Check(true, "", "PublicKey=" + key + "\r\n");
    EXPECT_EQ(Asked(), std::vector<std::string>({"bytes=-65536", "GET", "GET"}));
    EXPECT_EQ(quick.count, 1) << quick;
    EXPECT_TRUE(quick.messages.empty()) << quick;
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

TEST_F(QuickCheckTest, MembersOverHalfTheArchiveFetchItWholeOnceAndUpdate) {
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
    EXPECT_EQ(quick.messages, std::vector<std::string>({texts::kReceiveFailed + url}));
    EXPECT_EQ(quick.rows, std::vector<std::string>({"app.exe 0  0"}));
}

} // namespace
