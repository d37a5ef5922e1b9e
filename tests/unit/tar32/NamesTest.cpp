#include <gtest/gtest.h>

#include "tar32/Core.h"
#include "tar32/Names.h"

namespace {

using Path = std::vector<std::string>;

int Code(const std::string& name, bool useDirectory) {
    try {
        tar32::SafeOutputPath(name, useDirectory);
        return TAR32_OK;
    } catch (const tar32::Failure& failure) {
        return failure.code;
    }
}

TEST(Tar32Names, BareNameIsTheLastComponent) {
    EXPECT_EQ(tar32::SafeOutputPath("a/b/c.txt", false), Path{"c.txt"});
    EXPECT_EQ(tar32::SafeOutputPath("a\\b\\c.txt", false), Path{"c.txt"});
    EXPECT_EQ(tar32::SafeOutputPath("../../up.txt", false), Path{"up.txt"});
    EXPECT_EQ(tar32::SafeOutputPath("C:/x/y.txt", false), Path{"y.txt"});
    // The trail byte 0x5C of "表" and "ソ" is no separator.
    EXPECT_EQ(tar32::SafeOutputPath("フォルダ\\表示.txt", false), Path{"表示.txt"});
    EXPECT_EQ(tar32::SafeOutputPath("ソ/表", false), Path{"表"});
}

TEST(Tar32Names, FoldersAreKeptWithUseDirectory) {
    EXPECT_EQ(tar32::SafeOutputPath("a/b/c.txt", true), (Path{"a", "b", "c.txt"}));
    EXPECT_EQ(tar32::SafeOutputPath("././a/b", true), (Path{"a", "b"}));
    EXPECT_EQ(tar32::SafeOutputPath("表\\ソ.txt", true), (Path{"表", "ソ.txt"}));
    EXPECT_EQ(tar32::SafeOutputPath("./", true), Path{});
    EXPECT_EQ(tar32::SafeOutputPath("./", false), Path{});
    EXPECT_EQ(Code("/", true), TAR32_ERROR_UNSAFE_NAME);
    const tar32::MemberPath folder = tar32::SplitMemberName("./dir/sub/");
    EXPECT_TRUE(folder.folder);
    EXPECT_EQ(folder.components, (Path{"dir", "sub"}));
}

TEST(Tar32Names, UnsafeInEitherMode) {
    for (const char* name :
         {"",           ".",         "..",       "a:b.txt", "C:",       "file.txt:stream",
          "x\x01y",     "tab\there", "del\x7F",  "CON",     "con",      "con.txt",
          "Con.tar.gz", "PRN",       "AUX",      "NUL",     "nul.",     "COM1",
          "com9.log",   "LPT1",      "lpt9.txt", "CONIN$",  "AUX .txt", "trail.",
          "trail ",     "a<b",       "a>b",      "a|b",     "a?b",      "a*b",
          "q\"uote",    "dir/..",    "dir/CON",  "\x81",    "a\x81"}) {
        EXPECT_EQ(Code(name, false), TAR32_ERROR_UNSAFE_NAME) << name;
        EXPECT_EQ(Code(name, true), TAR32_ERROR_UNSAFE_NAME) << name;
    }
}

TEST(Tar32Names, EscapesRefusedWithUseDirectory) {
    for (const char* name :
         {"/abs.txt", "\\abs.txt", "../up.txt", "a/../../up.txt", "a\\..\\..\\up.txt", "a//b.txt",
          "a/./b.txt", "dir./x.txt", "CON/x.txt"}) {
        EXPECT_EQ(Code(name, true), TAR32_ERROR_UNSAFE_NAME) << name;
    }
}

TEST(Tar32Names, OrdinaryNamesPass) {
    for (const char* name : {"a.txt", "COM10", "CONSOLE.txt", "lpt", "...a", ".hidden", "ポト.txt",
                             "表示.txt", "ｱｰｶｲﾌﾞ.dat", "with space.txt"}) {
        EXPECT_EQ(Code(name, true), TAR32_OK) << name;
        EXPECT_EQ(Code(name, false), TAR32_OK) << name;
    }
}

} // namespace
