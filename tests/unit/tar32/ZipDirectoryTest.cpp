// The listing from an archive's tail against the extraction of the whole
// archive: same members taken, same refusals, same names, sizes and times.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <tuple>

#include "Tar32TestSupport.h"
#include "tar32/PosixFileSystem.h"
#include "tar32/ZipDirectory.h"
#include "tar32/ZipSubset.h"

namespace {

using namespace tar32test;

tar32::ZipTail TailOf(const std::string& archive, std::size_t size) {
    tar32::ZipTail tail;
    tail.archiveSize = archive.size();
    tail.size = std::min(size, archive.size());
    tail.bytes =
        reinterpret_cast<const unsigned char*>(archive.data()) + archive.size() - tail.size;
    return tail;
}

tar32::PosixFileSystem posix;
const tar32::Utf8Converter kToShiftJis = [](const std::string& utf8, std::string& sjis) {
    return posix.Utf8ToShiftJis(utf8, sjis);
};

// The failure code of listing the whole archive, 0 when it lists.
int ListCode(const std::string& archive, std::vector<tar32::ZipMember>* members = nullptr) {
    try {
        std::vector<tar32::ZipMember> listed =
            tar32::ListZipDirectory(TailOf(archive, archive.size()), kToShiftJis);
        if (members) {
            *members = std::move(listed);
        }
        return 0;
    } catch (const tar32::Failure& failure) {
        return failure.code;
    }
}

// The archive of the chosen members, made as the quick check makes it: their
// spans in the archive's order, then the subset's own directory.
std::string SubsetOf(const std::string& archive, const std::vector<tar32::ZipMember>& members,
                     const std::vector<std::size_t>& chosen) {
    const tar32::ZipTail tail = TailOf(archive, archive.size());
    const std::vector<tar32::ZipSpan> spans = tar32::MemberSpans(members, tar32::ReadZipEnd(tail));
    std::string subset;
    for (std::size_t i : tar32::SubsetOrder(members, chosen)) {
        subset += archive.substr(spans[i].begin, spans[i].Size());
    }
    return subset + tar32::SubsetDirectory(tail, members, chosen);
}

// The Unix second a written file gets for a member's time (the POSIX file
// system's conversion of a wall time).
std::int64_t UnixSeconds(const tar32::FileTime& time) {
    const std::int64_t seconds = (time.ticks - tar32::kUnixEpochTicks) / tar32::kTicksPerSecond;
    if (time.kind != tar32::FileTime::Local) {
        return seconds;
    }
    const time_t day = static_cast<time_t>(seconds / 86400 * 86400);
    struct tm tm {};
    gmtime_r(&day, &tm);
    tm.tm_hour = static_cast<int>(seconds % 86400 / 3600);
    tm.tm_min = static_cast<int>(seconds % 3600 / 60);
    tm.tm_sec = static_cast<int>(seconds % 60);
    tm.tm_isdst = -1;
    return mktime(&tm);
}

std::vector<std::string> ZipFixtures() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Fixtures())) {
        if (entry.path().extension() == ".zip") {
            names.push_back(entry.path().filename());
        }
    }
    return names;
}

// Sizes by bare name: what a listing and an unpacking agree on, with the times.
using Sizes = std::map<std::string, std::uint64_t>;

TEST(ZipDirectory, ListsWhatTheExtractionWritesAndRefusesWhatItRefuses) {
    const std::vector<std::string> fixtures = ZipFixtures();
    ASSERT_GT(fixtures.size(), 20u);
    int listedArchives = 0;
    for (const std::string& name : fixtures) {
        SCOPED_TRACE(name);
        const std::string archive = ReadFile(Fixture(name));
        std::vector<tar32::ZipMember> members;
        const int listed = ListCode(archive, &members);
        Scratch out;
        const int extracted = RunTar(ProgramCommandLine(Fixture(name), out.Path()));
        if (listed != 0) {
            // Refused from the directory alone: the extraction refuses it
            // the same way, unless it takes it for no ZIP at all.
            EXPECT_NE(extracted, 0);
            if (extracted != TAR32_ERROR_FORMAT) {
                EXPECT_EQ(extracted, listed);
            }
            continue;
        }
        if (extracted != 0) {
            // Only what lies in the members' data escapes the directory.
            EXPECT_EQ(extracted, TAR32_ERROR_CORRUPT);
            continue;
        }
        ++listedArchives;
        // The last member of each bare name is the one left on disk.
        std::map<std::string, const tar32::ZipMember*> last;
        for (const tar32::ZipMember& member : members) {
            if (member.type == tar32::ZipMember::File) {
                last[member.bareName] = &member;
            } else {
                EXPECT_EQ(member.bareName, "");
            }
        }
        const Files files = Tree(out.Path());
        Sizes sizes, wrote;
        Times times, stamped;
        for (const auto& [bare, member] : last) {
            sizes[bare] = member->size;
            if (member->time.kind != tar32::FileTime::None) {
                times[bare] = UnixSeconds(member->time);
                stamped[bare] = ModifiedTime(out / bare);
            }
        }
        for (const auto& [bare, bytes] : files) {
            wrote[bare] = bytes.size();
        }
        EXPECT_EQ(wrote, sizes);
        EXPECT_EQ(stamped, times);

        // An archive of every other file left, and one of them all: it
        // lists those members and unpacks to the same bytes and times.
        for (const int step : {2, 1}) {
            SCOPED_TRACE(step);
            std::vector<std::size_t> chosen;
            Files expected;
            Times expectedTimes;
            int n = 0;
            for (const auto& [bare, member] : last) {
                if (n++ % step == 0) {
                    chosen.push_back(static_cast<std::size_t>(member - members.data()));
                    expected[bare] = files.count(bare) ? files.at(bare) : "<not written>";
                    expectedTimes[bare] = ModifiedTime(out / bare);
                }
            }
            Scratch subsetFolder, subsetOut;
            const std::string subset = SubsetOf(archive, members, chosen);
            WriteFile(subsetFolder / "subset.zip", subset);
            std::vector<tar32::ZipMember> listedAgain;
            ASSERT_EQ(ListCode(subset, &listedAgain), 0);
            ASSERT_EQ(listedAgain.size(), chosen.size());
            ASSERT_EQ(RunTar(ProgramCommandLine(subsetFolder / "subset.zip", subsetOut.Path())), 0);
            EXPECT_EQ(Tree(subsetOut.Path()), expected);
            EXPECT_EQ(ModifiedTimes(subsetOut.Path()), expectedTimes);
        }
    }
    EXPECT_GT(listedArchives, 5);
}

// Refused by the directory alone, where the extraction's code cannot show it:
// it says CORRUPT for damaged data too, and FORMAT for what is no ZIP at all,
// such as prefixed.zip, whose directory is whole but whose first byte begins
// no member.
TEST(ZipDirectory, RefusesFromTheDirectoryAlone) {
    for (const char* archive : {"overlap.zip", "reordered_overlap.zip", "reordered_inside.zip",
                                "zip64_endless.zip", "zip64_endless_descriptor.zip",
                                "deflate_ratio.zip", "not_an_archive.zip", "prefixed.zip"}) {
        EXPECT_EQ(ListCode(ReadFile(Fixture(archive))), TAR32_ERROR_CORRUPT) << archive;
    }
}

// Where a listing's members and its directory's records lie.
using Places = std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>>;
Places PlacesOf(const std::vector<tar32::ZipMember>& members) {
    Places places;
    for (const tar32::ZipMember& m : members) {
        places.emplace_back(m.name, m.localOffset, m.recordOffset);
    }
    return places;
}

TEST(ZipDirectory, AnyTailHoldingTheDirectoryListsTheSame) {
    for (const char* name : {"infozip.zip", "infozip_stream.zip", "py_zip64.zip", "py_names.zip"}) {
        SCOPED_TRACE(name);
        const std::string archive = ReadFile(Fixture(name));
        std::vector<tar32::ZipMember> whole;
        ASSERT_EQ(ListCode(archive, &whole), 0);
        const tar32::ZipEnd end = tar32::ReadZipEnd(TailOf(archive, archive.size()));
        EXPECT_EQ(end.entries, whole.size());
        const std::size_t needed = archive.size() - end.directoryOffset;
        for (std::size_t size = 0; size <= archive.size(); ++size) {
            SCOPED_TRACE(size);
            const tar32::ZipTail tail = TailOf(archive, size);
            if (size >= needed) {
                EXPECT_EQ(PlacesOf(tar32::ListZipDirectory(tail, kToShiftJis)), PlacesOf(whole));
            } else {
                EXPECT_THROW(tar32::ListZipDirectory(tail, kToShiftJis), tar32::Failure);
            }
            // The end alone is found as soon as the tail holds it (and the
            // place of a ZIP64 locator before it).
            try {
                const tar32::ZipEnd found = tar32::ReadZipEnd(tail);
                EXPECT_EQ(std::make_pair(found.directoryOffset, found.entries),
                          std::make_pair(end.directoryOffset, end.entries));
            } catch (const tar32::Failure&) {
                EXPECT_LT(size, archive.size() - end.directoryEnd + 20 + 56);
            }
        }
    }
}

} // namespace
