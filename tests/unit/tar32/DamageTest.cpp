#include <gtest/gtest.h>

#include <sys/stat.h>

#include "Tar32TestSupport.h"

namespace {

using tar32test::Fixture;
using tar32test::MakeArchive;
using tar32test::ProgramCommandLine;
using tar32test::ReadFile;
using tar32test::RunTar;
using tar32test::Scratch;
using tar32test::Tree;
using Files = std::map<std::string, std::string>;

struct Broken {
    const char* archive;
    int code;
};

TEST(Tar32Damage, BrokenArchivesFailAndLeaveNothing) {
    for (const Broken& b : {
             Broken{"crc_stored.zip", TAR32_ERROR_CORRUPT},
             Broken{"crc_deflated.zip", TAR32_ERROR_CORRUPT},
             Broken{"size_larger.zip", TAR32_ERROR_CORRUPT},
             Broken{"size_smaller.zip", TAR32_ERROR_CORRUPT},
             Broken{"data_longer.zip", TAR32_ERROR_CORRUPT},
             Broken{"overlap.zip", TAR32_ERROR_CORRUPT},
             Broken{"reordered_overlap.zip", TAR32_ERROR_CORRUPT},
             Broken{"local_method.zip", TAR32_ERROR_CORRUPT},
             Broken{"method_bzip2.zip", TAR32_ERROR_UNSUPPORTED},
             Broken{"encrypted.zip", TAR32_ERROR_UNSUPPORTED},
             Broken{"encrypted_real.zip", TAR32_ERROR_UNSUPPORTED},
             Broken{"not_an_archive.zip", TAR32_ERROR_FORMAT},
         }) {
        Scratch out;
        std::string listing;
        EXPECT_EQ(RunTar(ProgramCommandLine(Fixture(b.archive), out.Path()), &listing), b.code)
            << b.archive << ": " << listing;
        EXPECT_NE(listing.find("error: "), std::string::npos) << b.archive;
        EXPECT_EQ(Tree(out.Path()), Files{}) << b.archive;
    }
}

TEST(Tar32Damage, EmptyFileOrGzippedPageIsNoArchive) {
    Scratch out;
    tar32test::WriteFile(out / "Archive.zip", "");
    EXPECT_EQ(RunTar(ProgramCommandLine(out / "Archive.zip", out / "x")), TAR32_ERROR_FORMAT);
    // A web server's gzip-encoded error page.
    tar32test::WriteFile(out / "page.html", "<html>Service Unavailable</html>");
    ASSERT_EQ(std::system(
                  ("gzip -c '" + out / "page.html" + "' > '" + out / "Archive.zip" + "'").c_str()),
              0);
    EXPECT_EQ(RunTar(ProgramCommandLine(out / "Archive.zip", out / "x")), TAR32_ERROR_FORMAT);
    EXPECT_EQ(RunTar(ProgramCommandLine(out.Path(), out / "x")), TAR32_ERROR_OPEN);
}

// Every prefix of an archive fails without a crash; what it leaves behind is
// whole members only, never a temporary or half-written file.
void CheckEveryTruncation(const std::string& archive, std::size_t end, const Files& members) {
    const std::string bytes = ReadFile(archive);
    ASSERT_LE(end, bytes.size());
    Scratch scratch;
    const std::string cut = scratch / "cut";
    for (std::size_t size = 0; size < end; ++size) {
        tar32test::WriteFile(cut, bytes.substr(0, size));
        const std::string out = scratch / "out";
        ASSERT_NE(RunTar(ProgramCommandLine(cut, out)), TAR32_OK) << archive << " cut at " << size;
        for (const auto& [name, content] : Tree(out)) {
            ASSERT_EQ(members.count(name), 1u) << name << " cut at " << size;
            ASSERT_EQ(members.at(name), content) << name << " cut at " << size;
        }
        std::system(("rm -rf '" + out + "'").c_str());
    }
    EXPECT_EQ(Tree(scratch.Path()), (Files{{"cut", bytes.substr(0, end - 1)}}));
}

TEST(Tar32Damage, EveryTruncatedZipFails) {
    Scratch scratch;
    const std::string archive = scratch / "small.zip";
    MakeArchive("zip", archive, {"one.txt", "dir/two.txt"});
    CheckEveryTruncation(archive, ReadFile(archive).size(),
                         {{"one.txt", "data of one.txt"}, {"two.txt", "data of dir/two.txt"}});
    CheckEveryTruncation(Fixture("infozip_stream.zip"),
                         ReadFile(Fixture("infozip_stream.zip")).size(),
                         {{"readme.txt", "hello\n"}});
}

TEST(Tar32Damage, EveryTruncatedTarFails) {
    Scratch scratch;
    const std::string archive = scratch / "small.tar";
    MakeArchive("tar", archive, {"one.txt", "dir/two.txt"});
    const Files members{{"one.txt", "data of one.txt"}, {"two.txt", "data of dir/two.txt"}};
    // Two members of one block each, then the two zero blocks; the padding
    // after them may go.
    CheckEveryTruncation(archive, 6 * 512, members);
    const std::string gz = scratch / "small.tgz";
    ASSERT_EQ(std::system(("gzip -c '" + archive + "' > '" + gz + "'").c_str()), 0);
    CheckEveryTruncation(gz, ReadFile(gz).size(), members);
}

TEST(Tar32Damage, UnsafeNamesRefusedBeforeAnythingIsWritten) {
    // One of each kind; every rule is proved on names alone in NamesTest.
    const std::vector<std::string> always = {"",      "..", "a:b.txt", "x\\x01y.txt", "sub/aux.txt",
                                             "trail."};
    const std::vector<std::string> withFolders = {"/abs.txt", "C:\\\\evil.txt", "a/../../up.txt",
                                                  "..\\\\up.txt"};
    Scratch scratch;
    for (const bool useDirectory : {false, true}) {
        std::vector<std::string> names = always;
        if (useDirectory) {
            names.insert(names.end(), withFolders.begin(), withFolders.end());
        }
        for (const std::string& name : names) {
            const std::string archive = scratch / "unsafe.zip";
            // A good member first: the whole archive is checked before writing.
            MakeArchive("zip", archive, {"good.txt", name});
            Scratch out;
            std::string listing;
            EXPECT_EQ(RunTar("--use-directory=" + std::string(useDirectory ? "1" : "0") + " xf " +
                                 archive + " -o " + out.Path(),
                             &listing),
                      TAR32_ERROR_UNSAFE_NAME)
                << name << " " << useDirectory << ": " << listing;
            EXPECT_EQ(Tree(out.Path()), Files{}) << name;
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
    EXPECT_FALSE(tar32test::Exists(scratch / "escape.txt"));
    // Without folders the bare name is harmless.
    Scratch flat;
    EXPECT_EQ(RunTar(ProgramCommandLine(archive, flat.Path())), TAR32_OK);
    EXPECT_EQ(Tree(flat.Path()).count("escape.txt"), 1u);
}

TEST(Tar32Damage, UnconvertibleUtf8NameIsUnsafe) {
    Scratch scratch;
    const std::string archive = scratch / "emoji.zip";
    MakeArchive("zip", archive, {"smile\\U0001F600.txt"});
    Scratch out;
    EXPECT_EQ(RunTar(ProgramCommandLine(archive, out.Path())), TAR32_ERROR_UNSAFE_NAME);
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

} // namespace
