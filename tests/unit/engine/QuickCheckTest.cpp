// The quick check's decisions, natively: Content-Range, the requests for the
// central directory against a fake server, and the prediction of the
// comparison from the members.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "engine/CentralDirectory.h"
#include "engine/ContentRange.h"
#include "engine/QuickVerdict.h"
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
            EXPECT_EQ(range.first, c.first);
            EXPECT_EQ(range.last, c.last);
            EXPECT_EQ(range.total, c.total);
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

// A server of one archive by range, as nginx answers: 206 with
// Content-Range, and 200 with all when If-Range no longer matches.
struct FakeServer : RangeFetcher {
    std::string archive;
    std::string etag = "\"5f3a-1\"";
    std::string lastModified = "Mon, 06 May 2024 07:08:10 GMT";
    std::string contentRange;            // when set: sent instead of the right one
    std::vector<RangeReply::Kind> kinds; // per request: how it ends instead
    struct Asked {
        std::string range, ifRange;
    };
    std::vector<Asked> asked;

    RangeReply Fetch(const std::string& range, const std::string& ifRange,
                     std::uint64_t maxBody) override {
        asked.push_back({range, ifRange});
        RangeReply reply;
        const std::size_t n = asked.size() - 1;
        if (n < kinds.size() && kinds[n] != RangeReply::Kind::Partial) {
            reply.kind = kinds[n];
        } else if (!ifRange.empty() && ifRange != etag && ifRange != lastModified) {
            reply.kind = RangeReply::Kind::Whole;
        } else {
            std::uint64_t first, last;
            const std::uint64_t size = archive.size();
            if (range.compare(0, 7, "bytes=-") == 0) {
                const std::uint64_t suffix = std::stoull(range.substr(7));
                first = size - std::min<std::uint64_t>(size, suffix);
                last = size - 1;
            } else {
                std::sscanf(range.c_str(), "bytes=%llu-%llu",
                            reinterpret_cast<unsigned long long*>(&first),
                            reinterpret_cast<unsigned long long*>(&last));
            }
            reply.kind = RangeReply::Kind::Partial;
            reply.body = archive.substr(first, last - first + 1);
            reply.contentRange = "bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                 "/" + std::to_string(size);
            if (!contentRange.empty() || reply.body.size() > maxBody)
                reply.contentRange = contentRange;
            reply.etag = etag;
            reply.lastModified = lastModified;
        }
        return reply;
    }
};

bool AsciiOnly(const std::string& utf8, std::string& sjis) {
    sjis = utf8;
    return true;
}

using Outcome = DirectoryFetch::Outcome;

TEST(FetchCentralDirectory, ASmallArchiveTakesOneTailRequest) {
    FakeServer server;
    server.archive = ArchiveOf(3);
    const DirectoryFetch fetch = FetchCentralDirectory(server, AsciiOnly);
    ASSERT_EQ(fetch.outcome, Outcome::Listed) << fetch.why;
    ASSERT_EQ(server.asked.size(), 1u);
    EXPECT_EQ(server.asked[0].range, "bytes=-65536");
    EXPECT_EQ(server.asked[0].ifRange, "");
    ASSERT_EQ(fetch.members.size(), 3u);
    EXPECT_EQ(fetch.members[2].bareName, "00002-a-long-enough-name-for-the-directory.dat");
    EXPECT_EQ(fetch.archiveSize, server.archive.size());
}

TEST(FetchCentralDirectory, ALargeDirectoryTakesExactlyItsMissingBytesUnderIfRange) {
    struct Case {
        const char* what;
        std::string etag, lastModified, expectIfRange;
    };
    for (const Case& c :
         {Case{"strong ETag", "\"abc\"", "Mon, 06 May 2024 07:08:10 GMT", "\"abc\""},
          Case{"weak ETag", "W/\"abc\"", "Mon, 06 May 2024 07:08:10 GMT",
               "Mon, 06 May 2024 07:08:10 GMT"},
          Case{"no ETag", "", "Mon, 06 May 2024 07:08:10 GMT", "Mon, 06 May 2024 07:08:10 GMT"}}) {
        SCOPED_TRACE(c.what);
        FakeServer server;
        server.archive = ArchiveOf(1500);
        server.etag = c.etag;
        server.lastModified = c.lastModified;
        const DirectoryFetch fetch = FetchCentralDirectory(server, AsciiOnly);
        ASSERT_EQ(fetch.outcome, Outcome::Listed) << fetch.why;
        EXPECT_EQ(fetch.members.size(), 1500u);
        ASSERT_EQ(server.asked.size(), 2u);
        const std::uint64_t directory = fetch.members[0].recordOffset;
        const std::uint64_t tailStart = server.archive.size() - 65536;
        EXPECT_EQ(server.asked[1].range, RangeOf(directory, tailStart - 1));
        EXPECT_EQ(server.asked[1].ifRange, c.expectIfRange);
    }
}

TEST(FetchCentralDirectory, EveryOtherAnswerDecidesAsTheCheckNeeds) {
    const std::string small = ArchiveOf(3);
    const std::string large = ArchiveOf(1500);
    std::string giant(17 * 1024 * 1024, '\0');
    giant.replace(0, 4, "PK\x05\x06", 4); // no matter: the size alone is refused
    {
        // An end record claiming a 17 MiB directory right before it.
        std::string end("PK\x05\x06\0\0\0\0\x01\0\x01\0", 12);
        const std::uint32_t size = static_cast<std::uint32_t>(giant.size());
        for (int i = 0; i < 4; ++i)
            end += static_cast<char>(size >> (8 * i));
        end += std::string(4, '\0') + std::string(2, '\0');
        giant += end;
    }
    using Kind = RangeReply::Kind;
    struct Case {
        const char* what;
        const std::string& archive;
        std::vector<Kind> kinds;
        std::string contentRange;
        Outcome outcome;
        std::size_t requests;
        std::string etag = "\"e\"";
        std::string lastModified = "";
    };
    const std::string tarGz =
        std::string("\x1F\x8B\x08\0\0\0\0\0\0\x03", 10) + std::string(300, 'x');
    for (const Case& c : {
             Case{"200 to the tail", small, {Kind::Whole}, "", Outcome::StoredWhole, 1},
             Case{"no connection", small, {Kind::NoConnection}, "", Outcome::NoConnection, 1},
             Case{"broken transfer", small, {Kind::Failed}, "", Outcome::Failed, 1},
             Case{"left", small, {Kind::Left}, "", Outcome::Left, 1},
             Case{"206 of other bytes", small, {}, "bytes 0-99/1000", Outcome::FullDownload, 1},
             Case{"206 with an unknown total", small, {}, "bytes 0-99/*", Outcome::FullDownload, 1},
             Case{"no ZIP end", tarGz, {}, "-", Outcome::FullDownload, 1},
             Case{"directory over 16 MiB", giant, {}, "-", Outcome::FullDownload, 1},
             Case{"200 to the directory",
                  large,
                  {Kind::Partial, Kind::Whole},
                  "",
                  Outcome::StoredWhole,
                  2},
             Case{"416 to the directory",
                  large,
                  {Kind::Partial, Kind::Refused},
                  "",
                  Outcome::FullDownload,
                  2},
             Case{"no validator for the second range",
                  large,
                  {},
                  "-",
                  Outcome::FullDownload,
                  1,
                  "",
                  ""},
         }) {
        SCOPED_TRACE(c.what);
        FakeServer server;
        server.archive = c.archive;
        server.kinds = c.kinds;
        server.etag = c.etag;
        server.lastModified = c.lastModified;
        if (c.contentRange != "-")
            server.contentRange = c.contentRange;
        const DirectoryFetch fetch = FetchCentralDirectory(server, AsciiOnly);
        EXPECT_EQ(fetch.outcome, c.outcome) << fetch.why;
        EXPECT_EQ(server.asked.size(), c.requests);
        EXPECT_TRUE(fetch.members.empty());
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
    Chain(std::initializer_list<std::pair<std::string, std::pair<long long, int>>> files) {
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
    const int count = ApplyPrediction(chain.Head(), prediction);
    EXPECT_EQ(count, 4);
    std::vector<int> states;
    for (const UpdateEntry& entry : chain.entries)
        states.push_back(entry.state);
    EXPECT_EQ(states, std::vector<int>({Unchanged, NeedsUpdate, NeedsUpdate, NotCompared,
                                        NotCompared, NeedsUpdate, NeedsUpdate, Unchanged}));
    EXPECT_EQ(chain.entries[3].archiveSize, 0); // the empty copy is stamped all the same
    EXPECT_STREQ(chain.entries[3].archiveTime, chain.entries[0].archiveTime);
    EXPECT_EQ(chain.entries[4].archiveTime[0], '\0');
    EXPECT_STREQ(chain.entries[5].archiveTime, "2001/01/01 00:00:00");
    EXPECT_EQ(chain.entries[7].archiveSize, 2); // the last of its name, in any case
}

TEST(PredictComparison, LeavesToTheUnpackingWhatOnlyItCanTell) {
    const std::string zenkakuA = "\x82\x60";  // "Ａ"
    const std::string zenkakuLa = "\x82\x81"; // "ａ"
    struct Case {
        const char* what;
        std::string entry;
        std::vector<tar32::ZipMember> members;
    };
    for (const Case& c : {
             Case{"a member without a time", "a.dll", {File("a.dll", 3, 0, tar32::FileTime::None)}},
             Case{"double-byte letters in another case",
                  zenkakuLa + ".txt",
                  {File(zenkakuA + ".txt", 3, 1)}},
             Case{"the archive's own name", "archive.ZIP", {}},
             Case{"a path", "sub\\a.dll", {File("a.dll", 3, 1)}},
             Case{"a wildcard", "*.dll", {File("a.dll", 3, 1)}},
             Case{"a trailing dot", "a.dll.", {File("a.dll", 3, 1)}},
             Case{"a short name", "PROGRA~1.EXE", {}},
         }) {
        SCOPED_TRACE(c.what);
        Chain chain({{"same.dll", {1000, 5}}, {c.entry, {1, 3}}});
        std::vector<tar32::ZipMember> members = c.members;
        members.push_back(File("same.dll", 5, 1000));
        const QuickPrediction prediction = Predict(chain, members);
        EXPECT_FALSE(prediction.certain);
        EXPECT_TRUE(prediction.stamps.empty());
    }
    // A 0x5C trail byte is part of its character, and a double-byte name
    // that matches byte for byte is certain.
    const std::string hyou = "\x95\x5C"; // "表"
    Chain chain({{hyou + ".txt", {1, 3}}});
    const QuickPrediction prediction = Predict(chain, {File(hyou + ".txt", 3, 1)});
    ASSERT_TRUE(prediction.certain);
    EXPECT_EQ(prediction.needsUpdate, 0);
}

} // namespace
