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
const char* const kToolArchives[] = {"infozip.zip", "infozip_stream.zip", "bsdtar.zip",
                                     "bsdtar.tar",  "bsdtar.tgz",         "gnutar.tar",
                                     "dot.tar"};

TEST(Tar32Extract, ListingWritesNothing) {
    for (const char* archive : kToolArchives) {
        SCOPED_TRACE(archive);
        Scratch out;
        std::string listing;
        ASSERT_EQ(RunTar("tvf " + Fixture(archive) + " -o " + out.Path(), &listing), TAR32_OK);
        const std::size_t at = listing.find("sub/data.bin\r\n");
        ASSERT_NE(at, std::string::npos) << listing;
        EXPECT_EQ(listing.rfind("\n100000 ", at) + 1, listing.rfind('\n', at - 1) + 1) << listing;
        EXPECT_TRUE(Tree(out.Path()).empty());
    }
}

// What one archive leaves: through the program's line, or with its folders.
TEST(Tar32Extract, EachArchiveGivesItsFilesAndTimes) {
    const std::string longPath = std::string(60, 'a') + "/" + std::string(60, 'b') + "/long.txt";
    const Files longAndKanji{{longPath, "long name\n"}, {"日本語/表示.txt", "kanji\n"}};
    const Times longAndKanjiTimes{{longPath, 1600000000}, {"日本語/表示.txt", 1600000001}};
    const Files linkTarget{{"target.txt", "target\n"}};
    // 2020-01-02 03:04:06 in Tokyo: DOS times are wall time.
    const Times zip64Times{
        {"readme.txt", 1577901846}, {"data.bin", 1577901846}, {"empty.txt", 1577901846}};
    const std::string utf8 = "utf-8 flagged\n", sjis = "shift-jis\n";
    const Times namesTimes{{"表示.txt", 1651788490}, {"能力.txt", 1651788492}};
    struct Row {
        const char* archive;
        bool folders;
        Files files;
        Times times;           // none: not checked
        const char* says = ""; // in the listing
    };
    std::vector<Row> rows = {
        {"py_zip64.zip", false, kFlat, zip64Times}, // ZIP64 fields throughout
        // UTF-8 and Shift-JIS names become Shift-JIS files.
        {"py_names.zip", false, {{"表示.txt", utf8}, {"能力.txt", sjis}}, namesTimes},
        {"py_names.zip", true, {{"フォルダ/表示.txt", utf8}, {"ソフト/能力.txt", sjis}}, {}},
        // Long and pax names in tar.
        {"py_gnu.tar", true, longAndKanji, longAndKanjiTimes},
        {"py_pax.tar", true, longAndKanji, longAndKanjiTimes},
        {"pax_size_then_header.tar", true, longAndKanji, longAndKanjiTimes},
        {"signed_checksum.tar", true, longAndKanji, longAndKanjiTimes},
        // Links are never created.
        {"links.zip", false, linkTarget, {}, "escape.txt (skipped"},
        {"links.tar", false, linkTarget, {}, "escape.txt (skipped"},
        // Deflate near its limit is no bomb.
        {"deflate_1028.zip", false, {{"zeros.bin", std::string(4 << 20, '\0')}}, {}},
    };
    const Times toolTimes{
        {"readme.txt", 1614834367}, {"data.bin", 1577934245}, {"empty.txt", 1559894950}};
    const Times toolTreeTimes{{"readme.txt", 1614834367},
                              {"sub/data.bin", 1577934245},
                              {"sub/deeper/empty.txt", 1559894950}};
    const Files toolTree{
        {"readme.txt", "hello\n"}, {"sub/data.bin", DataBin()}, {"sub/deeper/empty.txt", ""}};
    for (const char* tool : kToolArchives) {
        rows.push_back({tool, false, kFlat, toolTimes, "sub/data.bin\r\n"});
        rows.push_back({tool, true, toolTree, toolTreeTimes});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.archive) + (row.folders ? " with folders" : ""));
        Scratch out;
        std::string listing;
        ASSERT_EQ(RunTar(row.folders ? "--use-directory=1 xf \"" + Fixture(row.archive) + "\" -o " +
                                           out.Path()
                                     : ProgramCommandLine(Fixture(row.archive), out.Path()),
                         &listing),
                  TAR32_OK)
            << listing;
        EXPECT_EQ(Tree(out.Path()), row.files);
        if (!row.times.empty()) {
            EXPECT_EQ(ModifiedTimes(out.Path()), row.times);
        }
        EXPECT_NE(listing.find(row.says), std::string::npos) << listing;
    }
}

TEST(Tar32Extract, TimeBefore1601IsIgnored) {
    Scratch out;
    const std::int64_t before = time(nullptr);
    ASSERT_EQ(RunTar(ProgramCommandLine(Fixture("pax_before_1601.tar"), out.Path())), TAR32_OK);
    EXPECT_EQ(ReadFile(out / "old.txt"), "old\n");
    EXPECT_GE(ModifiedTime(out / "old.txt"), before);
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

TEST(Tar32Extract, DuplicateBareNamesLastOneWins) {
    Scratch scratch, out;
    MakeArchive("zip", scratch / "dup.zip", {"x/same.txt", "y/same.txt"});
    ASSERT_EQ(RunTar(ProgramCommandLine(scratch / "dup.zip", out.Path())), TAR32_OK);
    EXPECT_EQ(Tree(out.Path()), (Files{{"same.txt", "data of y/same.txt"}}));
}

} // namespace
