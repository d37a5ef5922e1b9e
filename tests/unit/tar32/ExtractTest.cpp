#include <gtest/gtest.h>

#include <ctime>

#include "Tar32TestSupport.h"

namespace {

using namespace tar32test;

std::string DataBin() {
    std::string data(100000, '\0');
    for (int i = 0; i < 100000; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return data;
}
// The tree of mkarchive.py, taken without its folders.
const Files kFlat{{"readme.txt", "hello\n"}, {"data.bin", DataBin()}, {"empty.txt", ""}};

// What zip and bsdtar stored: the tree of mkarchive.py with its UTC times.
class ToolArchives : public ::testing::TestWithParam<const char*> {};

TEST_P(ToolArchives, TheProgramsLineGivesBareNamesBytesAndTimes) {
    Scratch out;
    std::string listing;
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture(GetParam()), out.Path()), &listing), TAR32_OK)
        << listing;
    EXPECT_EQ(Tree(out.Path()), kFlat);
    EXPECT_EQ(ModifiedTime(out / "readme.txt"), 1614834367);
    EXPECT_EQ(ModifiedTime(out / "data.bin"), 1577934245);
    EXPECT_EQ(ModifiedTime(out / "empty.txt"), 1559894950);
    EXPECT_NE(listing.find("sub/data.bin\r\n"), std::string::npos);
}

TEST_P(ToolArchives, UseDirectoryKeepsTheFolders) {
    Scratch out;
    ASSERT_EQ(RunTar("--use-directory=1 xf \"" + Fixture(GetParam()) + "\" -o " + out.Path()),
              TAR32_OK);
    EXPECT_EQ(Tree(out.Path()), (Files{{"readme.txt", "hello\n"},
                                       {"sub/data.bin", DataBin()},
                                       {"sub/deeper/empty.txt", ""}}));
    EXPECT_EQ(ModifiedTime(out / "sub/deeper/empty.txt"), 1559894950);
}

TEST_P(ToolArchives, ListingWritesNothing) {
    Scratch out;
    std::string listing;
    ASSERT_EQ(RunTar("tvf " + Fixture(GetParam()) + " -o " + out.Path(), &listing), TAR32_OK);
    const std::size_t at = listing.find("sub/data.bin\r\n");
    ASSERT_NE(at, std::string::npos) << listing;
    EXPECT_EQ(listing.rfind("\n100000 ", at) + 1, listing.rfind('\n', at - 1) + 1) << listing;
    EXPECT_TRUE(Tree(out.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Made, ToolArchives,
                         ::testing::Values("infozip.zip", "infozip_stream.zip", "bsdtar.zip",
                                           "bsdtar.tar", "bsdtar.tgz", "gnutar.tar", "dot.tar"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(Tar32Extract, Zip64FieldsAndDosTimesTakenAsLocalTime) {
    Scratch out;
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("py_zip64.zip"), out.Path())), TAR32_OK);
    EXPECT_EQ(Tree(out.Path()), kFlat);
    // 2020-01-02 03:04:06 in Tokyo.
    EXPECT_EQ(ModifiedTime(out / "data.bin"), 1577901846);
}

TEST(Tar32Extract, Utf8AndShiftJisNamesBecomeShiftJisFiles) {
    Scratch flat;
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("py_names.zip"), flat.Path())), TAR32_OK);
    EXPECT_EQ(Tree(flat.Path()),
              (Files{{"表示.txt", "utf-8 flagged\n"}, {"能力.txt", "shift-jis\n"}}));
    EXPECT_EQ(ModifiedTime(flat / "表示.txt"), 1651788490);
    EXPECT_EQ(ModifiedTime(flat / "能力.txt"), 1651788492);

    Scratch deep;
    ASSERT_EQ(RunTar("xf " + Fixture("py_names.zip") + " -o " + deep.Path()), TAR32_OK);
    EXPECT_EQ(Tree(deep.Path()), (Files{{"フォルダ/表示.txt", "utf-8 flagged\n"},
                                        {"ソフト/能力.txt", "shift-jis\n"}}));
}

TEST(Tar32Extract, LongAndPaxNamesInTar) {
    const std::string longPath = std::string(60, 'a') + "/" + std::string(60, 'b') + "/long.txt";
    for (const char* archive :
         {"py_gnu.tar", "py_pax.tar", "pax_size_then_header.tar", "signed_checksum.tar"}) {
        Scratch out;
        ASSERT_EQ(RunTar("xf " + Fixture(archive) + " -o " + out.Path()), TAR32_OK) << archive;
        EXPECT_EQ(Tree(out.Path()),
                  (Files{{longPath, "long name\n"}, {"日本語/表示.txt", "kanji\n"}}))
            << archive;
        EXPECT_EQ(ModifiedTime(out / longPath), 1600000000);
        EXPECT_EQ(ModifiedTime(out / "日本語/表示.txt"), 1600000001);
    }
}

TEST(Tar32Extract, TimeBefore1601IsIgnored) {
    Scratch out;
    const std::int64_t before = time(nullptr);
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("pax_before_1601.tar"), out.Path())), TAR32_OK);
    EXPECT_EQ(ReadFile(out / "old.txt"), "old\n");
    EXPECT_GE(ModifiedTime(out / "old.txt"), before);
}

TEST(Tar32Extract, LinksAreNeverCreated) {
    for (const char* archive : {"links.zip", "links.tar"}) {
        Scratch out;
        std::string listing;
        ASSERT_EQ(RunTar(ProgramCommandLine(Fixture(archive), out.Path()), &listing), TAR32_OK);
        EXPECT_EQ(Tree(out.Path()), (Files{{"target.txt", "target\n"}})) << archive;
        EXPECT_NE(listing.find("escape.txt (skipped"), std::string::npos) << listing;
    }
}

TEST(Tar32Extract, ReplacesOlderCopiesAndCreatesTheOutputFolder) {
    Scratch scratch;
    const std::string out = scratch / "UpdateArchive";
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("infozip.zip"), out)), TAR32_OK);
    tar32test::WriteFile(out + "/readme.txt", "an older, longer copy of the file");
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("infozip.zip"), out + "/")), TAR32_OK);
    EXPECT_EQ(ReadFile(out + "/readme.txt"), "hello\n");
    EXPECT_EQ(Tree(out).size(), 3u);
}

TEST(Tar32Extract, DirectoryOutOfDataOrder) {
    Scratch out;
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("reordered.zip"), out.Path())), TAR32_OK);
    const Files files = Tree(out.Path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("second.txt").substr(files.at("second.txt").size() - 10), "second.txt");
}

TEST(Tar32Extract, DeflateNearItsLimitIsNoBomb) {
    Scratch out;
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("deflate_1028.zip"), out.Path())), TAR32_OK);
    EXPECT_EQ(ReadFile(out / "zeros.bin"), std::string(4 << 20, '\0'));
}

TEST(Tar32Extract, DuplicateBareNamesLastOneWins) {
    Scratch scratch, out;
    MakeArchive("zip", scratch / "dup.zip", {"x/same.txt", "y/same.txt"});
    ASSERT_EQ(RunTar(ProgramCommandLine(scratch / "dup.zip", out.Path())), TAR32_OK);
    EXPECT_EQ(Tree(out.Path()), (Files{{"same.txt", "data of y/same.txt"}}));
}

} // namespace
