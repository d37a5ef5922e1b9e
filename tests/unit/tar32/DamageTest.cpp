#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include "Tar32TestSupport.h"
#include "tar32/Core.h"

namespace {

using namespace tar32test;

struct Broken {
    const char* archive;
    int code;
    // Refused by the check of the whole archive: not one member is listed
    // first, and (unless it is about writing) listing alone fails too.
    bool checkedWhole = false;
    const char* says = ""; // in the error line
    std::uint64_t freeSpace = kRealFreeSpace;
};

constexpr std::uint64_t kMargin = tar32::kFreeSpaceMargin;
constexpr std::uint64_t kPerMember = tar32::kSpacePerMember;

TEST(Tar32Damage, BrokenArchivesFailAndLeaveNothing) {
    for (const Broken& b : {
             Broken{"crc_stored.zip", TAR32_ERROR_CORRUPT},
             Broken{"crc_deflated.zip", TAR32_ERROR_CORRUPT},
             Broken{"size_larger.zip", TAR32_ERROR_CORRUPT},
             Broken{"size_smaller.zip", TAR32_ERROR_CORRUPT},
             Broken{"data_longer.zip", TAR32_ERROR_CORRUPT},
             Broken{"overlap.zip", TAR32_ERROR_CORRUPT, true, "overlapping members"},
             Broken{"reordered_overlap.zip", TAR32_ERROR_CORRUPT, true, "overlapping members"},
             Broken{"reordered_inside.zip", TAR32_ERROR_CORRUPT, true, "overlapping members"},
             Broken{"local_method.zip", TAR32_ERROR_CORRUPT},
             Broken{"method_bzip2.zip", TAR32_ERROR_UNSUPPORTED, true},
             Broken{"encrypted.zip", TAR32_ERROR_UNSUPPORTED, true},
             Broken{"encrypted_real.zip", TAR32_ERROR_UNSUPPORTED, true},
             Broken{"not_an_archive.zip", TAR32_ERROR_FORMAT},
             Broken{"empty.zip", TAR32_ERROR_FORMAT},
             Broken{"gzipped_page.zip", TAR32_ERROR_FORMAT},
             Broken{".", TAR32_ERROR_OPEN}, // the fixtures' folder
             // Sizes beyond what the data can hold, up to 2^64-1.
             Broken{"zip64_endless.zip", TAR32_ERROR_CORRUPT, true},
             Broken{"zip64_endless_descriptor.zip", TAR32_ERROR_CORRUPT, true},
             Broken{"deflate_ratio.zip", TAR32_ERROR_CORRUPT, true},
             Broken{"tar_huge_member.tar", TAR32_ERROR_CORRUPT, false, "cut short"},
             Broken{"tar_zeros_then_garbage.tar", TAR32_ERROR_CORRUPT, true, "after the end"},
             // The gzip trailer is the only check of a stored .tar.gz's bytes.
             Broken{"gz_flipped.tgz", TAR32_ERROR_CORRUPT},
             Broken{"gz_bad_crc.tgz", TAR32_ERROR_CORRUPT},
             Broken{"gz_bad_size.tgz", TAR32_ERROR_CORRUPT},
             Broken{"gz_cut_trailer.tgz", TAR32_ERROR_CORRUPT},
             Broken{"gz_trailing_garbage.tgz", TAR32_ERROR_CORRUPT},
             // Each member would fit alone, all three do not.
             Broken{"infozip.zip", TAR32_ERROR_WRITE, true, "not enough space",
                    kMargin + 3 * kPerMember + 6 + 50000},
             Broken{"bsdtar.tgz", TAR32_ERROR_WRITE, false, "not enough space",
                    kMargin + kPerMember + 5},
         }) {
        SCOPED_TRACE(b.archive);
        Scratch out;
        std::string listing;
        EXPECT_EQ(RunTar(ProgramCommandLine(Fixture(b.archive), out.Path()), &listing, b.freeSpace),
                  b.code)
            << listing;
        const std::size_t error = listing.find("error: ");
        EXPECT_NE(error, std::string::npos);
        EXPECT_NE(listing.find(b.says, error), std::string::npos) << listing;
        EXPECT_EQ(Tree(out.Path()), Files{});
        if (b.checkedWhole) {
            EXPECT_EQ(error, 0u) << listing;
            if (b.code != TAR32_ERROR_WRITE) {
                EXPECT_EQ(RunTar("tvf " + Fixture(b.archive)), b.code);
            }
        }
    }
}

// Every prefix of an archive fails without a crash; what it leaves behind is
// whole members only, never a temporary or half-written file.
void CheckEveryTruncation(const std::string& archive, std::size_t end, const Files& members) {
    const std::string bytes = ReadFile(archive);
    ASSERT_LE(end, bytes.size());
    Scratch scratch;
    const std::string cut = scratch / "cut";
    for (std::size_t size = 0; size < end; ++size) {
        WriteFile(cut, bytes.substr(0, size));
        const std::string out = scratch / "out";
        ASSERT_NE(RunTar(ProgramCommandLine(cut, out)), TAR32_OK) << archive << " cut at " << size;
        const Files left = Tree(out);
        ASSERT_TRUE(std::includes(members.begin(), members.end(), left.begin(), left.end()))
            << "cut at " << size;
        Remove(out);
    }
    EXPECT_EQ(Tree(scratch.Path()), (Files{{"cut", bytes.substr(0, end - 1)}}));
}

TEST(Tar32Damage, EveryTruncatedArchiveFails) {
    const Files small{{"one.txt", "data of one.txt"}, {"two.txt", "data of dir/two.txt"}};
    Scratch scratch;
    MakeArchive("zip", scratch / "small.zip", {"one.txt", "dir/two.txt"});
    MakeArchive("tar", scratch / "small.tar", {"one.txt", "dir/two.txt"});
    Gzip(scratch / "small.tar", scratch / "small.tgz");
    const struct {
        std::string archive;
        std::size_t end; // 0: every prefix
        Files members;
    } rows[] = {
        {scratch / "small.zip", 0, small},
        {Fixture("infozip_stream.zip"), 0, {{"readme.txt", "hello\n"}}},
        // Two members of one block each, then the two zero blocks; the padding may go.
        {scratch / "small.tar", 6 * 512, small},
        {scratch / "small.tgz", 0, small},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.archive);
        CheckEveryTruncation(row.archive, row.end ? row.end : ReadFile(row.archive).size(),
                             row.members);
    }
}

// One name of each kind (NamesTest proves every rule), after a good member:
// the whole archive is checked before writing.
TEST(Tar32Damage, UnsafeNamesRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::vector<const char*> useDirectory, names;
    } cases[] = {
        // The last: UTF-8 with no Shift-JIS form.
        {{"0", "1"},
         {"", "..", "a:b.txt", "x\\x01y.txt", "sub/aux.txt", "trail.", "smile\\U0001F600.txt"}},
        {{"1"}, {"/abs.txt", "C:\\\\evil.txt", "a/../../up.txt", "..\\\\up.txt"}}, // escapes
    };
    Scratch scratch;
    const std::string archive = scratch / "unsafe.zip";
    for (const Case& c : cases) {
        for (const char* name : c.names) {
            MakeArchive("zip", archive, {"good.txt", name});
            for (const char* useDirectory : c.useDirectory) {
                Scratch out;
                std::string listing;
                EXPECT_EQ(RunTar(std::string("--use-directory=") + useDirectory + " xf " + archive +
                                     " -o " + out.Path(),
                                 &listing),
                          TAR32_ERROR_UNSAFE_NAME)
                    << name << " " << useDirectory << ": " << listing;
                EXPECT_EQ(Tree(out.Path()), Files{}) << name;
            }
        }
    }
}

TEST(Tar32Damage, UnsafeTarMemberStopsTheStream) {
    Scratch scratch;
    const std::string archive = scratch / "unsafe.tar";
    MakeArchive("tar", archive, {"good.txt", "../../escape.txt", "after.txt"});
    Scratch out;
    EXPECT_EQ(RunTar("xf " + archive + " -o " + out.Path()), TAR32_ERROR_UNSAFE_NAME);
    EXPECT_EQ(Tree(out.Path()), (Files{{"good.txt", "data of good.txt"}}));
    EXPECT_FALSE(Exists(scratch / "escape.txt"));
    // Without folders the bare name is harmless.
    Scratch flat;
    EXPECT_EQ(RunTar(ProgramCommandLine(archive, flat.Path())), TAR32_OK);
    EXPECT_EQ(Tree(flat.Path()), (Files{{"good.txt", "data of good.txt"},
                                        {"escape.txt", "data of ../../escape.txt"},
                                        {"after.txt", "data of after.txt"}}));
}

TEST(Tar32Damage, WriteFailuresLeaveNoTemporaryFile) {
    Scratch out;
    ASSERT_EQ(mkdir((out / "readme.txt").c_str(), 0777), 0); // a folder where the file goes
    std::string listing;
    EXPECT_EQ(RunTar(ProgramCommandLine(Fixture("infozip.zip"), out.Path()), &listing),
              TAR32_ERROR_WRITE)
        << listing;
    EXPECT_EQ(Tree(out.Path()), Files{});
    EXPECT_EQ(RunTar(ProgramCommandLine(Fixture("infozip.zip"), out / "no/such/folder")),
              TAR32_ERROR_WRITE);
}

// The program keeps Archive.zip in the folder it unpacks into.
TEST(Tar32Damage, NeverWritesOverTheArchiveBeingRead) {
    for (const char* mode : {"zip", "tar"}) {
        for (const char* member : {"Archive.zip", "sub/other.dat"}) {
            Scratch out;
            const std::string archive = out / "Archive.zip";
            MakeArchive(mode, archive, {"first.txt", member});
            // The same file under another name.
            ASSERT_EQ(link(archive.c_str(), (out / "other.dat").c_str()), 0);
            const std::string bytes = ReadFile(archive);
            std::string listing;
            EXPECT_EQ(RunTar(ProgramCommandLine(archive, out.Path()), &listing),
                      TAR32_ERROR_UNSAFE_NAME)
                << mode << " " << member << ": " << listing;
            EXPECT_NE(listing.find("the archive being read: "), std::string::npos) << listing;
            EXPECT_TRUE(ReadFile(archive) == bytes) << mode << " " << member;
            // A ZIP is checked whole first; a tar is read as a stream.
            EXPECT_EQ(Tree(out.Path()).size(), std::string(mode) == "tar" ? 3u : 2u);
        }
    }
}

} // namespace
