// The listing from an archive's tail against the extraction of the whole
// archive: same members taken, same refusals, same names, sizes and times.
#include <gtest/gtest.h>

#include <dirent.h>

#include <ctime>
#include <map>

#include "Tar32TestSupport.h"
#include "tar32/PosixFileSystem.h"
#include "tar32/ZipDirectory.h"
#include "tar32/ZipSubset.h"

namespace {

using tar32test::Fixture;
using tar32test::Fixtures;
using tar32test::ReadFile;
using tar32test::Scratch;

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
    DIR* dir = opendir(Fixtures().c_str());
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0) {
            names.push_back(name);
        }
    }
    if (dir) {
        closedir(dir);
    }
    return names;
}

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
        const int extracted =
            tar32test::RunTar(tar32test::ProgramCommandLine(Fixture(name), out.Path()), nullptr);
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
        const std::map<std::string, std::string> files = tar32test::Tree(out.Path());
        ASSERT_EQ(files.size(), last.size());
        for (const auto& [bare, member] : last) {
            SCOPED_TRACE(bare);
            ASSERT_EQ(files.count(bare), 1u);
            EXPECT_EQ(files.at(bare).size(), member->size);
            if (member->time.kind != tar32::FileTime::None) {
                EXPECT_EQ(tar32test::ModifiedTime(out / bare), UnixSeconds(member->time));
            }
        }

        // An archive of every other file left, and one of them all: it
        // lists those members and unpacks to the same bytes and times.
        for (const int step : {2, 1}) {
            std::vector<std::size_t> chosen;
            int n = 0;
            for (const auto& [bare, member] : last) {
                if (n++ % step == 0) {
                    chosen.push_back(static_cast<std::size_t>(member - members.data()));
                }
            }
            Scratch subsetFolder;
            const std::string subset = SubsetOf(archive, members, chosen);
            tar32test::WriteFile(subsetFolder / "subset.zip", subset);
            std::vector<tar32::ZipMember> listedAgain;
            ASSERT_EQ(ListCode(subset, &listedAgain), 0) << step;
            ASSERT_EQ(listedAgain.size(), chosen.size());
            Scratch subsetOut;
            ASSERT_EQ(tar32test::RunTar(tar32test::ProgramCommandLine(subsetFolder / "subset.zip",
                                                                      subsetOut.Path()),
                                        nullptr),
                      0);
            const std::map<std::string, std::string> subsetFiles =
                tar32test::Tree(subsetOut.Path());
            ASSERT_EQ(subsetFiles.size(), chosen.size());
            for (const auto& [bare, bytes] : subsetFiles) {
                SCOPED_TRACE(bare);
                ASSERT_EQ(files.count(bare), 1u);
                EXPECT_EQ(bytes, files.at(bare));
                EXPECT_EQ(tar32test::ModifiedTime(subsetOut / bare),
                          tar32test::ModifiedTime(out / bare));
            }
        }
    }
    EXPECT_GT(listedArchives, 5);
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
            const tar32::ZipTail tail = TailOf(archive, size);
            if (size >= needed) {
                const std::vector<tar32::ZipMember> listed =
                    tar32::ListZipDirectory(tail, kToShiftJis);
                ASSERT_EQ(listed.size(), whole.size()) << size;
                for (std::size_t i = 0; i < listed.size(); ++i) {
                    EXPECT_EQ(listed[i].name, whole[i].name);
                    EXPECT_EQ(listed[i].localOffset, whole[i].localOffset);
                    EXPECT_EQ(listed[i].recordOffset, whole[i].recordOffset);
                }
            } else {
                EXPECT_THROW(tar32::ListZipDirectory(tail, kToShiftJis), tar32::Failure) << size;
            }
            // The end alone is found as soon as the tail holds it (and the
            // place of a ZIP64 locator before it).
            try {
                const tar32::ZipEnd found = tar32::ReadZipEnd(tail);
                EXPECT_EQ(found.directoryOffset, end.directoryOffset);
                EXPECT_EQ(found.entries, end.entries);
            } catch (const tar32::Failure&) {
                EXPECT_LT(size, archive.size() - end.directoryEnd + 20 + 56);
            }
        }
    }
}

} // namespace
