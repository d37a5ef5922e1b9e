// The quick check's decisions, natively: Content-Range, the requests for the
// central directory against a fake server, and the prediction of the
// comparison from the members.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <tuple>

#include "engine/CentralDirectory.h"
#include "engine/ContentRange.h"
#include "engine/MemberFetch.h"
#include "engine/QuickVerdict.h"
#include "tar32/ZipSubset.h"
#include "tests/support/ZipBuilder.h"

namespace {

TEST(ContentRange, OnlyOneWholeSingleRangeIsRead) {
    struct Case {
        const char* text;
        bool ok;
        std::uint64_t first = 0, last = 0, total = 0;
    };
    for (const Case& c : {
             Case{"bytes 0-99/100", true, 0, 99, 100},
             Case{"  bytes  5-5/6 ", true, 5, 5, 6},
             Case{"bytes 0-4294967296/8589934592", true, 0, 4294967296ULL, 8589934592ULL},
             Case{"bytes 0-99/*", false},
             Case{"bytes 0-100/100", false},
             Case{"bytes 9-8/100", false},
             Case{"bytes 0-9 /100", false},
             Case{"bytes 0-9/100, 20-29/100", false},
             Case{"bytes 0-9/99999999999999999999999", false},
         }) {
        SCOPED_TRACE(c.text);
        ContentRange range;
        ASSERT_EQ(ParseContentRange(c.text, range), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::tie(range.first, range.last, range.total),
                      std::tie(c.first, c.last, c.total));
        }
    }
    EXPECT_EQ(RangeOf(10, 19), "bytes=10-19");
}

constexpr ZipBuilder::LocalTime kRelease = {2024, 5, 6, 7, 8, 10};

// An archive whose central directory takes about names * 100 bytes.
std::string ArchiveOf(int names, const std::string& content = "data") {
    ZipBuilder zip;
    for (int i = 0; i < names; ++i) {
        char name[80];
        std::snprintf(name, sizeof name, "folder/%05d-a-long-enough-name-for-the-directory.dat", i);
        zip.Add(name, content, kRelease);
    }
    return zip.Bytes();
}

using Kind = RangeReply::Kind;

// A server of one archive by range, as nginx answers: 206 with
// Content-Range, and 200 with all when If-Range no longer matches.
struct FakeServer : RangeFetcher {
    FakeServer(std::string archive, std::string etag, std::string lastModified)
        : archive(std::move(archive)), etag(std::move(etag)),
          lastModified(std::move(lastModified)) {}
    std::string archive, etag, lastModified;
    // Per request, how it is answered instead.
    struct Fault {
        Fault(Kind kind = Kind::Partial, std::string contentRange = "", std::size_t cut = 0)
            : kind(kind), contentRange(std::move(contentRange)), cut(cut) {}
        Kind kind;
        std::string contentRange; // when set: sent instead of the right one
        std::size_t cut;          // bytes of the body left out
    };
    std::vector<Fault> faults;
    struct Asked {
        std::string range, ifRange;
    };
    std::vector<Asked> asked;

    RangeReply Fetch(const RangeRequest& request) override {
        asked.push_back({request.range, request.ifRange});
        const std::size_t n = asked.size() - 1;
        const Fault fault = n < faults.size() ? faults[n] : Fault();
        RangeReply reply;
        if (fault.kind != Kind::Partial) {
            reply.kind = fault.kind;
        } else if (!request.ifRange.empty() && request.ifRange != etag &&
                   request.ifRange != lastModified) {
            reply.kind = Kind::Whole;
        } else {
            std::uint64_t first, last;
            const std::uint64_t size = archive.size();
            if (request.range.compare(0, 7, "bytes=-") == 0) {
                const std::uint64_t suffix = std::stoull(request.range.substr(7));
                first = size - std::min<std::uint64_t>(size, suffix);
                last = size - 1;
            } else {
                std::sscanf(request.range.c_str(), "bytes=%llu-%llu",
                            reinterpret_cast<unsigned long long*>(&first),
                            reinterpret_cast<unsigned long long*>(&last));
            }
            reply.kind = Kind::Partial;
            reply.body = archive.substr(first, last - first + 1 - fault.cut);
            reply.contentRange = "bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                 "/" + std::to_string(size);
            if (!fault.contentRange.empty() || reply.body.size() > request.maxBody)
                reply.contentRange = fault.contentRange;
            reply.etag = etag;
            reply.lastModified = lastModified;
            if (request.sink) {
                request.sink(reply.body.data(), reply.body.size());
                reply.body.clear();
            }
        }
        return reply;
    }
};

bool AsciiOnly(const std::string& utf8, std::string& sjis) {
    sjis = utf8;
    return true;
}

using Outcome = FetchEnd;

tar32::ZipTail WholeTail(const std::string& archive) {
    tar32::ZipTail tail;
    tail.bytes = reinterpret_cast<const unsigned char*>(archive.data());
    tail.size = tail.archiveSize = archive.size();
    return tail;
}

TEST(FetchCentralDirectory, TakesTheTailAndExactlyTheDirectoryBeforeItUnderIfRange) {
    const std::string modified = "Mon, 06 May 2024 07:08:10 GMT";
    struct Case {
        const char* what;
        std::size_t names;
        std::string etag, lastModified, expectIfRange;
    };
    for (const Case& c : {Case{"a small archive: the tail alone", 3, "\"abc\"", modified, ""},
                          Case{"strong ETag", 1500, "\"abc\"", modified, "\"abc\""},
                          Case{"weak ETag", 1500, "W/\"abc\"", modified, modified},
                          Case{"no ETag", 1500, "", modified, modified}}) {
        SCOPED_TRACE(c.what);
        FakeServer server(ArchiveOf(static_cast<int>(c.names)), c.etag, c.lastModified);
        const DirectoryFetch fetch = FetchCentralDirectory(server, AsciiOnly);
        ASSERT_EQ(fetch.outcome, Outcome::Done) << fetch.why;
        ASSERT_EQ(fetch.members.size(), c.names);
        EXPECT_EQ(fetch.members[2].bareName, "00002-a-long-enough-name-for-the-directory.dat");
        EXPECT_EQ(fetch.archiveSize, server.archive.size());
        // What was held is the archive's end, the whole directory in it.
        const std::uint64_t directory = fetch.members[0].recordOffset;
        const std::uint64_t tailStart =
            server.archive.size() - std::min<std::size_t>(server.archive.size(), 65536);
        EXPECT_EQ(fetch.held, server.archive.substr(std::min(directory, tailStart)));
        EXPECT_EQ(server.asked[0].range, "bytes=-65536");
        EXPECT_EQ(server.asked[0].ifRange, "");
        ASSERT_EQ(server.asked.size(), c.expectIfRange.empty() ? 1u : 2u);
        if (server.asked.size() == 2) {
            EXPECT_EQ(server.asked[1].range, RangeOf(directory, tailStart - 1));
            EXPECT_EQ(server.asked[1].ifRange, c.expectIfRange);
        }
    }
}

TEST(FetchCentralDirectory, EveryOtherAnswerDecidesAsTheCheckNeeds) {
    const std::string small = ArchiveOf(3);
    const std::string large = ArchiveOf(1500);
    // An end record claiming a 17 MiB (0x01100000) directory right before it.
    std::string giant(17 * 1024 * 1024, '\0');
    giant.replace(0, 4, "PK\x05\x06", 4); // no matter: the size alone is refused
    giant += std::string("PK\x05\x06\0\0\0\0\x01\0\x01\0\0\0\x10\x01\0\0\0\0\0\0", 22);
    using K = Kind;
    using O = Outcome;
    struct Case {
        const char* what;
        const std::string& archive;
        std::vector<Kind> kinds;
        std::string contentRange;
        O outcome;
        std::size_t requests;
        std::string etag = "\"e\"";
        std::string lastModified = "";
    };
    const std::string tarGz =
        std::string("\x1F\x8B\x08\0\0\0\0\0\0\x03", 10) + std::string(300, 'x');
    for (const Case& c : {
             Case{"200 to the tail", small, {K::Whole}, "", O::StoredWhole, 1},
             Case{"no connection", small, {K::NoConnection}, "", O::NoConnection, 1},
             Case{"broken transfer", small, {K::Failed}, "", O::Failed, 1},
             Case{"left", small, {K::Left}, "", O::Left, 1},
             Case{"206 of other bytes", small, {}, "bytes 0-99/1000", O::FullDownload, 1},
             Case{"206 with an unknown total", small, {}, "bytes 0-99/*", O::FullDownload, 1},
             Case{"no ZIP end", tarGz, {}, "-", O::FullDownload, 1},
             Case{"directory over 16 MiB", giant, {}, "-", O::FullDownload, 1},
             Case{"200 to the directory", large, {K::Partial, K::Whole}, "", O::StoredWhole, 2},
             Case{"416 to the directory", large, {K::Partial, K::Refused}, "", O::FullDownload, 2},
             Case{"no validator for the second range", large, {}, "-", O::FullDownload, 1, "", ""},
         }) {
        SCOPED_TRACE(c.what);
        FakeServer server(c.archive, c.etag, c.lastModified);
        for (Kind kind : c.kinds)
            server.faults.emplace_back(kind);
        server.faults.resize(std::max<std::size_t>(server.faults.size(), 1));
        if (c.contentRange != "-")
            server.faults[0].contentRange = c.contentRange;
        const DirectoryFetch fetch = FetchCentralDirectory(server, AsciiOnly);
        EXPECT_EQ(fetch.outcome, c.outcome) << fetch.why;
        EXPECT_EQ(server.asked.size(), c.requests);
        EXPECT_TRUE(fetch.members.empty());
    }
}

// --- the members ---

// One large member, then 70 small ones.
const std::string& MemberArchive() {
    static const std::string archive = [] {
        ZipBuilder zip;
        zip.Add("large.dat", std::string(20000, 'L'), kRelease);
        for (int i = 0; i < 70; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "m%02d.dat", i);
            zip.Add(name, std::string(100, static_cast<char>('a' + i % 26)), kRelease);
        }
        return zip.Bytes();
    }();
    return archive;
}

struct MemberRun {
    FakeServer server;
    DirectoryFetch directory;
    std::string written;
    explicit MemberRun(const std::string& etag = "\"5f3a-1\"", const std::string& modified = "")
        : server(MemberArchive(), etag, modified),
          directory(FetchCentralDirectory(server, AsciiOnly)) {}
    MemberFetch Fetch(const std::vector<std::size_t>& members) {
        return FetchMembers(server, directory, members, [this](const char* data, std::size_t size) {
            written.append(data, size);
            return true;
        });
    }
};

// One ranged GET per run of adjacent members, each under If-Range, written
// as an archive of those members; or the full download where the members
// would not do, or an answer is not the one asked for.
TEST(FetchMembers, AsksForEachRunOfMembersOrTheWholeArchive) {
    using Fault = FakeServer::Fault;
    using O = FetchEnd;
    const std::string size = std::to_string(MemberArchive().size());
    std::string five; // the Content-Range of member 5
    {
        MemberRun run;
        run.Fetch({5});
        five = "bytes " + run.server.asked[1].range.substr(6) + "/" + size;
    }
    const Fault otherBytes(Kind::Partial, "bytes 0-99/" + size);
    const Fault otherTotal(Kind::Partial, five.substr(0, five.find('/')) + "/9" + size);
    const Fault cutShort(Kind::Partial, five, 1);
    std::vector<std::size_t> apart;
    for (std::size_t i = 1; i <= 66; i += 2)
        apart.push_back(i);
    struct Case {
        const char* what;
        std::vector<std::size_t> members;
        std::size_t requests;
        O outcome = O::Done;
        Fault fault = Fault();
        std::string etag = "\"5f3a-1\"";
    };
    for (const Case& c : {
             Case{"one member", {5}, 1},
             Case{"adjacent members", {7, 5, 6}, 1},
             Case{"two runs", {3, 5, 6}, 2},
             Case{"the last member", {70}, 1},
             Case{"none", {}, 0},
             Case{"more than half of the archive", {0}, 0, O::FullDownload},
             Case{"more than 32 requests", apart, 0, O::FullDownload},
             Case{"no validator", {5}, 0, O::FullDownload, Fault(), ""},
             Case{"200: the archive changed", {5}, 1, O::StoredWhole, Fault(Kind::Whole)},
             Case{"416", {5, 9}, 1, O::FullDownload, Fault(Kind::Refused)},
             Case{"206 of other bytes", {5}, 1, O::FullDownload, otherBytes},
             Case{"206 of another total", {5}, 1, O::FullDownload, otherTotal},
             Case{"206 cut short", {5}, 1, O::FullDownload, cutShort},
             Case{"no connection", {5}, 1, O::NoConnection, Fault(Kind::NoConnection)},
             Case{"broken transfer", {5}, 1, O::Failed, Fault(Kind::Failed)},
             Case{"left", {5}, 1, O::Left, Fault(Kind::Left)},
         }) {
        SCOPED_TRACE(c.what);
        MemberRun run(c.etag);
        ASSERT_EQ(run.directory.outcome, Outcome::Done) << run.directory.why;
        run.server.faults = {Fault(), c.fault};
        const MemberFetch fetch = run.Fetch(c.members);
        ASSERT_EQ(fetch.outcome, c.outcome) << fetch.why;
        ASSERT_EQ(run.server.asked.size(), 1 + c.requests);
        for (std::size_t i = 1; i < run.server.asked.size(); ++i)
            EXPECT_EQ(run.server.asked[i].ifRange, run.server.etag);
        if (c.outcome != O::Done)
            continue;
        // The written archive lists those members, each with its own bytes.
        const std::vector<tar32::ZipMember> listed =
            tar32::ListZipDirectory(WholeTail(run.written), AsciiOnly);
        ASSERT_EQ(listed.size(), c.members.size());
        std::vector<std::size_t> sorted = c.members;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t k = 0; k < listed.size(); ++k) {
            const tar32::ZipMember& original = run.directory.members[sorted[k]];
            EXPECT_EQ(listed[k].name, original.name);
            const std::size_t length = 30 + original.name.size() + original.compressedSize;
            EXPECT_EQ(run.written.substr(listed[k].localOffset, length),
                      MemberArchive().substr(original.localOffset, length));
        }
    }
}

TEST(SubsetDirectory, TakesZip64sEndRecordsWhereTheCountNeedsThem) {
    ZipBuilder zip;
    for (int i = 0; i < 0xFFFF; ++i)
        zip.Add(std::to_string(i), "", kRelease);
    const std::string archive = zip.Bytes();
    const tar32::ZipTail tail = WholeTail(archive);
    const std::vector<tar32::ZipMember> members = tar32::ListZipDirectory(tail, AsciiOnly);
    ASSERT_EQ(members.size(), 0xFFFFu);
    for (const std::size_t count : {0xFFFFu, 0xFFFEu}) {
        std::vector<std::size_t> chosen(count);
        std::iota(chosen.begin(), chosen.end(), std::size_t(0));
        const std::vector<tar32::ZipSpan> spans =
            tar32::MemberSpans(members, tar32::ReadZipEnd(tail));
        std::string subset = archive.substr(0, spans[count - 1].end);
        subset += tar32::SubsetDirectory(tail, members, chosen);
        EXPECT_EQ(subset.find("PK\x06\x07") != std::string::npos, count == 0xFFFF);
        EXPECT_EQ(tar32::ListZipDirectory(WholeTail(subset), AsciiOnly).size(), count);
    }
}

// --- the prediction ---

// A time text that shows the ticks as they are (the platform's conversion
// is the Windows tests' business).
bool TicksText(const tar32::FileTime& time, char* text) {
    const long long seconds = (time.ticks - tar32::kUnixEpochTicks) / tar32::kTicksPerSecond;
    std::snprintf(text, kTimeTextSize, "%c%017lld", time.kind == tar32::FileTime::Local ? 'L' : 'U',
                  seconds);
    return true;
}

tar32::ZipMember File(const std::string& bare, std::uint64_t size, long long seconds,
                      tar32::FileTime::Kind kind = tar32::FileTime::Utc) {
    tar32::ZipMember member;
    member.name = "dir/" + bare;
    member.bareName = bare;
    member.size = size;
    member.time.kind = kind;
    member.time.ticks = tar32::kUnixEpochTicks + seconds * tar32::kTicksPerSecond;
    return member;
}

struct Chain {
    std::vector<UpdateEntry> entries;
    // Each file's name and local stamp (seconds, size; a size below 0: not installed).
    Chain(const std::vector<std::pair<std::string, std::pair<long long, int>>>& files) {
        entries.resize(files.size());
        std::size_t n = 0;
        for (const auto& [name, stamp] : files) {
            UpdateEntry& entry = entries[n++];
            entry.fileName = name;
            if (stamp.second >= 0) {
                tar32::FileTime time;
                time.kind = tar32::FileTime::Utc;
                time.ticks = tar32::kUnixEpochTicks + stamp.first * tar32::kTicksPerSecond;
                TicksText(time, entry.localTime);
                entry.localSize = stamp.second;
            }
        }
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            entries[i].next = &entries[i + 1];
    }
    UpdateEntry* Head() { return entries.empty() ? nullptr : &entries[0]; }
    // Each entry as "name state archive-time archive-size".
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const UpdateEntry& e : entries)
            rows.push_back(e.fileName + " " + std::to_string(e.state) + " " + e.archiveTime + " " +
                           std::to_string(e.archiveSize));
        return rows;
    }
};

QuickPrediction Predict(Chain& chain, const std::vector<tar32::ZipMember>& members,
                        std::vector<std::string>* lookedUp = nullptr) {
    return PredictComparison(chain.Head(), members, TicksText,
                             [lookedUp](const std::string& name, ArchiveStamp& stamp) {
                                 if (lookedUp)
                                     lookedUp->push_back(name);
                                 if (name == "stale.dat") {
                                     std::strcpy(stamp.time, "2001/01/01 00:00:00");
                                     stamp.size = 3;
                                 }
                             });
}

// The time text TicksText gives for a UTC time.
std::string Utc(long long seconds) {
    char text[kTimeTextSize];
    std::snprintf(text, sizeof text, "U%017lld", seconds);
    return text;
}

TEST(PredictComparison, GivesTheStampsAndStatesOfTheComparison) {
    Chain chain({{"same.dll", {1000, 5}},
                 {"newer.dll", {999, 5}},
                 {"resized.dll", {1000, 5}},
                 {"empty.dll", {1000, 5}},
                 {"absent.dll", {1000, 5}},
                 {"stale.dat", {1000, 5}},
                 {"fresh.dll", {0, -1}},
                 {"TWICE.TXT", {2000, 2}}});
    std::vector<tar32::ZipMember> members = {
        File("same.dll", 5, 1000),  File("newer.dll", 5, 1000), File("resized.dll", 6, 1000),
        File("empty.dll", 0, 1000), File("fresh.dll", 1, 5),    File("twice.txt", 9, 1),
        File("Twice.txt", 2, 2000),
    };
    tar32::ZipMember folder;
    folder.type = tar32::ZipMember::Folder;
    folder.name = "absent.dll/";
    members.push_back(folder);
    std::vector<std::string> lookedUp;
    const QuickPrediction prediction = Predict(chain, members, &lookedUp);
    ASSERT_TRUE(prediction.certain);
    // Names the archive does not write are stamped from the folder as it is.
    EXPECT_EQ(lookedUp, std::vector<std::string>({"absent.dll", "stale.dat"}));
    EXPECT_EQ(prediction.needsUpdate, 4); // newer, resized, stale, fresh
    // Those with a member are decided by it; the stale copy by the folder.
    EXPECT_EQ(prediction.deciding, std::vector<std::size_t>({1, 2, 4}));
    // Unpacked, the deciding members' copies are stamped as they lie.
    std::vector<std::string> unpacked;
    const int count = ApplyPrediction(chain.Head(), prediction,
                                      [&](const std::string& name, ArchiveStamp& stamp) {
                                          unpacked.push_back(name);
                                          stamp.size = name == "fresh.dll" ? 0 : stamp.size;
                                      });
    EXPECT_EQ(unpacked, std::vector<std::string>({"newer.dll", "resized.dll", "fresh.dll"}));
    EXPECT_EQ(count, 3); // fresh.dll as unpacked: empty, left as it was
    chain.entries[6].state = NotCompared;
    EXPECT_EQ(ApplyPrediction(chain.Head(), prediction), 4);
    // The empty copy is stamped all the same; TWICE.TXT by the last of its
    // name, in any case.
    const std::string t1000 = " " + Utc(1000) + " ";
    EXPECT_EQ(chain.Rows(),
              std::vector<std::string>({"same.dll 2" + t1000 + "5", "newer.dll 1" + t1000 + "5",
                                        "resized.dll 1" + t1000 + "6", "empty.dll 0" + t1000 + "0",
                                        "absent.dll 0  0", "stale.dat 1 2001/01/01 00:00:00 3",
                                        "fresh.dll 1 " + Utc(5) + " 1",
                                        "TWICE.TXT 2 " + Utc(2000) + " 2"}));
}

TEST(PredictComparison, LeavesToTheUnpackingWhatOnlyItCanTell) {
    const std::string zenkakuA = "\x82\x60";  // "Ａ"
    const std::string zenkakuLa = "\x82\x81"; // "ａ"
    const std::string hyou = "\x95\x5C";      // "表"
    struct Case {
        const char* what;
        std::string entry;
        std::vector<tar32::ZipMember> members;
        bool certain = false;
    };
    for (const Case& c : {
             Case{"a member without a time", "a.dll", {File("a.dll", 3, 0, tar32::FileTime::None)}},
             Case{"double-byte letters in another case",
                  zenkakuLa + ".txt",
                  {File(zenkakuA + ".txt", 3, 1)}},
             Case{"the archive's own name", "archive.ZIP", {}},
             Case{"a member over the archive itself", "a.dll", {File("ARCHIVE.zip", 3, 1)}},
             Case{"a path", "sub\\a.dll", {File("a.dll", 3, 1)}},
             Case{"a wildcard", "*.dll", {File("a.dll", 3, 1)}},
             Case{"a trailing dot", "a.dll.", {File("a.dll", 3, 1)}},
             Case{"a short name", "PROGRA~1.EXE", {}},
             // A 0x5C trail byte is part of its character, and a double-byte
             // name that matches byte for byte is certain.
             Case{"a double-byte name", hyou + ".txt", {File(hyou + ".txt", 3, 1)}, true},
         }) {
        SCOPED_TRACE(c.what);
        Chain chain({{"same.dll", {1000, 5}}, {c.entry, {1, 3}}});
        std::vector<tar32::ZipMember> members = c.members;
        members.push_back(File("same.dll", 5, 1000));
        const QuickPrediction prediction = Predict(chain, members);
        EXPECT_EQ(prediction.certain, c.certain);
        EXPECT_EQ(prediction.stamps.size(), c.certain ? 2u : 0u);
        EXPECT_EQ(prediction.needsUpdate, 0);
    }
}

} // namespace
