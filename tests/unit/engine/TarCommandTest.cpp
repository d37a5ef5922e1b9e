#include <gtest/gtest.h>

#include "engine/TarCommand.h"

namespace {

TEST(TarCommandLine, BothPathsQuotedAndNoDialog) {
    EXPECT_EQ(TarCommandLine("C:\\App\\UpdateArchive\\Archive.zip", "C:\\App\\UpdateArchive"),
              "--use-directory=0 --display-dialog=0 xvf \"C:\\App\\UpdateArchive\\Archive.zip\" "
              "-o \"C:\\App\\UpdateArchive\"");
}

TEST(TarCommandLine, PlaceholderTextInsideAPathStaysAsItIs) {
    // A program folder named "%2" or "%1" must not pull the other path in.
    EXPECT_EQ(TarCommandLine("C:\\a%2b\\T\\Archive.zip", "C:\\a%2b\\T"),
              "--use-directory=0 --display-dialog=0 xvf \"C:\\a%2b\\T\\Archive.zip\" "
              "-o \"C:\\a%2b\\T\"");
    EXPECT_EQ(TarCommandLine("C:\\%1%0\\Archive.zip", "C:\\%1%0"),
              "--use-directory=0 --display-dialog=0 xvf \"C:\\%1%0\\Archive.zip\" "
              "-o \"C:\\%1%0\"");
}

TEST(TarCommandLine, ShiftJisPathsPassThroughByteForByte) {
    // 表 is 0x95 0x5C in Shift-JIS: its trail byte looks like a backslash.
    const std::string folder = "C:\\\x95\x5C\\T";
    EXPECT_EQ(TarCommandLine(folder + "\\Archive.zip", folder),
              "--use-directory=0 --display-dialog=0 xvf \"" + folder + "\\Archive.zip\" -o \"" +
                  folder + "\"");
}

TEST(FillPlaceholders, EachPlaceholderOnceAnyOrder) {
    EXPECT_EQ(FillPlaceholders("%2-%0-%1-%2", {"a", "b", "c"}), "c-a-b-c");
    EXPECT_EQ(FillPlaceholders("", {"a"}), "");
    EXPECT_EQ(FillPlaceholders("%0", {""}), "");
}

TEST(FillPlaceholders, OtherPercentSignsAreKept) {
    EXPECT_EQ(FillPlaceholders("100% %x %3 %%0 %", {"a", "b"}), "100% %x %3 %a %");
}

} // namespace
