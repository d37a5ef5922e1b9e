#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "Tar32TestSupport.h"
#include "tar32/CommandLine.h"
#include "tar32/Core.h"
#include "tar32/PosixFileSystem.h"

namespace {

using tar32::Options;
using tar32::ParseCommandLine;

int ParseCode(const std::string& line) {
    try {
        ParseCommandLine(line);
        return TAR32_OK;
    } catch (const tar32::Failure& failure) {
        return failure.code;
    }
}

// Every field of the options at once.
using Fields = std::tuple<bool, bool, bool, std::string, std::string>;
Fields FieldsOf(const Options& o) {
    return {o.extract, o.verbose, o.useDirectory, o.archive, o.outputFolder};
}

TEST(Tar32CommandLine, ReadsWhatItKnows) {
    const struct {
        const char* line;
        Fields fields; // extract, verbose, useDirectory, archive, outputFolder
    } rows[] = {
        // The program's own line.
        {R"(--use-directory=0 --display-dialog=0 xvf "C:\App\UpdateArchive\Archive.zip" -o "C:\App\UpdateArchive")",
         {true, true, false, R"(C:\App\UpdateArchive\Archive.zip)", R"(C:\App\UpdateArchive)"}},
        // "表" and "ソ" end in 0x5C: neither is an escape for the quote after it.
        {"xf \"C:\\ソ\\表\" -o \"D:\\作業 表\"", {true, false, true, "C:\\ソ\\表", "D:\\作業 表"}},
        // Listing, and dashed command words; folders are kept by default.
        {"tf a.zip", {false, false, true, "a.zip", ""}},
        {"-xf a.zip --use-directory=1", {true, false, true, "a.zip", ""}},
        {"xf a.zip", {true, false, true, "a.zip", ""}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FieldsOf(ParseCommandLine(row.line)), row.fields) << row.line;
    }
}

TEST(Tar32CommandLine, SplitsAtBlanksAndGroupsQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(tar32::SplitArguments("  a\t b  "), (V{"a", "b"}));
    EXPECT_EQ(tar32::SplitArguments("\"a b\"c \"\" d"), (V{"a bc", "", "d"}));
    EXPECT_EQ(tar32::SplitArguments("a\\\"b c\""), (V{"a\\b c"}));
    EXPECT_EQ(tar32::SplitArguments(""), V{});
}

TEST(Tar32CommandLine, RefusesWhatItDoesNotKnow) {
    for (const char* line : {
             "",
             "xvf",
             "xv a.zip",
             "--unknown=1 xf a.zip",
             "--use-directory xf a.zip",
             "--use-directory=2 xf a.zip",
             "--display-dialog=yes xf a.zip",
             "xtf a.zip",
             "vf a.zip",
             "xqf a.zip",
             "xf a.zip b.zip",
             "xf a.zip -o",
             "xf a.zip -o \"\"",
             "xf a.zip -o x -o y",
             "xff a.zip",
         }) {
        EXPECT_EQ(ParseCode(line), TAR32_ERROR_COMMAND_LINE) << line;
    }
}

TEST(Tar32Output, AlwaysTerminatedWithinItsSizeNeverBeyond) {
    tar32test::Scratch out;
    const std::string line =
        tar32test::ProgramCommandLine(tar32test::Fixture("infozip.zip"), out.Path());
    tar32::PosixFileSystem fs;
    EXPECT_EQ(tar32::Run(line.c_str(), nullptr, 1024, fs), TAR32_OK);
    char buffer[64];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(tar32::Run(line.c_str(), buffer, 0, fs), TAR32_OK);
    EXPECT_EQ(buffer[0], 'Z');
    for (std::size_t size : {1u, 2u, 7u, 40u}) {
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(tar32::Run(line.c_str(), buffer, size, fs), TAR32_OK);
        EXPECT_EQ(std::strlen(buffer), size - 1) << size;
        EXPECT_EQ(buffer[size], 'Z') << size;
    }
    std::string listing;
    EXPECT_EQ(tar32test::RunTar(line, &listing), TAR32_OK);
    EXPECT_EQ(listing,
              "readme.txt\r\nsub/\r\nsub/data.bin\r\nsub/deeper/\r\nsub/deeper/empty.txt\r\n");
    EXPECT_EQ(tar32::Run(nullptr, buffer, sizeof buffer, fs), TAR32_ERROR_COMMAND_LINE);
}

TEST(Tar32Output, ErrorsAreExplained) {
    std::string listing;
    EXPECT_EQ(tar32test::RunTar("xf /nonexistent/Archive.zip", &listing), TAR32_ERROR_OPEN);
    EXPECT_NE(listing.find("/nonexistent/Archive.zip"), std::string::npos);
}

} // namespace
