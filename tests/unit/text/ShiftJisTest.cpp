#include <gtest/gtest.h>

#include "text/ShiftJis.h"

namespace {

// "表" is 0x95 0x5C and "ソ" is 0x83 0x5C: their trail byte is the backslash.
const std::string kHyo = "表";
const std::string kSo = "ソ";

TEST(ShiftJis, LiteralsAreShiftJisBytes) {
    ASSERT_EQ(kHyo, "\x95\x5C");
    ASSERT_EQ(kSo, "\x83\x5C");
    ASSERT_EQ(std::string("ｱ"), "\xB1"); // half-width katakana is one byte
}

TEST(ShiftJis, LeadBytes) {
    for (unsigned char byte : {0x81, 0x9F, 0xE0, 0xFC})
        EXPECT_TRUE(sjis::IsLeadByte(byte)) << int(byte);
    // 0xB1 is half-width katakana, 0x5C the backslash.
    for (unsigned char byte : {0x80, 0xA0, 0xB1, 0xDF, 0x5C})
        EXPECT_FALSE(sjis::IsLeadByte(byte)) << int(byte);
}

TEST(ShiftJis, WalksWholeCharacters) {
    const std::string text = "a" + kHyo + "ｱ" + "b";
    EXPECT_EQ(sjis::NextChar(text, 0), 1u);
    EXPECT_EQ(sjis::NextChar(text, 1), 3u);
    EXPECT_EQ(sjis::NextChar(text, 3), 4u);
    EXPECT_EQ(sjis::NextChar(text, 5), 5u);
    EXPECT_EQ(sjis::PrevChar(text, 5), 4u);
    EXPECT_EQ(sjis::PrevChar(text, 4), 3u);
    EXPECT_EQ(sjis::PrevChar(text, 3), 1u);
    EXPECT_EQ(sjis::PrevChar(text, 1), 0u);
    EXPECT_EQ(sjis::PrevChar(text, 0), 0u);
}

TEST(ShiftJis, TextEndingInALoneLeadByte) {
    const std::string text = "ab\x95";
    EXPECT_EQ(sjis::NextChar(text, 2), 3u);
    EXPECT_EQ(sjis::PrevChar(text, 3), 2u);
    EXPECT_EQ(sjis::FindLastChar(text, '\\'), std::string::npos);
}

TEST(ShiftJis, TrailBytes) {
    for (unsigned char byte : {0x40, 0x5C, 0x7E, 0x80, 0xFC})
        EXPECT_TRUE(sjis::IsTrailByte(byte)) << int(byte);
    for (unsigned char byte : {0x3F, 0x7F, 0xFD, 0x2C, 0x2F}) // ... comma, slash
        EXPECT_FALSE(sjis::IsTrailByte(byte)) << int(byte);
}

// A lead byte whose next byte is no trail byte stands alone, so a broken
// pair never hides the separator, quote or comma after it.
TEST(ShiftJis, LeadByteBeforeAnInvalidTrailStandsAlone) {
    struct Case {
        std::string text;
        char c;
        std::size_t first;
    } cases[] = {
        {"\x95,b", ',', 1},      {"a\x81\"", '"', 2},
        {"\x95/", '/', 1},       {std::string("\x95\0x", 3), '\0', 1},
        {"\x95\x7F", '\x7F', 1}, {"\x95\xFD", '\xFD', 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(sjis::NextChar(c.text, c.first - 1), c.first);
        EXPECT_EQ(sjis::FindChar(c.text, c.c), c.first);
        EXPECT_EQ(sjis::PrevChar(c.text, c.first + 1), c.first);
    }
    EXPECT_EQ(sjis::ReplaceChar("\x95\\" + kHyo + "\\", '\\', '/'), "\x95\\" + kHyo + "/");
}

TEST(ShiftJis, EndsWithChar) {
    EXPECT_TRUE(sjis::EndsWithChar("dir/", '/'));
    EXPECT_TRUE(sjis::EndsWithChar("dir\\", '\\'));
    EXPECT_TRUE(sjis::EndsWithChar("\x95/", '/'));
    EXPECT_FALSE(sjis::EndsWithChar(kHyo, '\\'));
    EXPECT_FALSE(sjis::EndsWithChar("dir/" + kSo, '\\'));
    EXPECT_FALSE(sjis::EndsWithChar("", '/'));
    EXPECT_FALSE(sjis::EndsWithChar("dir", '/'));
}

TEST(ShiftJis, TrailByteIsNeverABackslash) {
    const std::string path = "C:\\" + kSo + "フト\\" + kHyo;
    EXPECT_EQ(sjis::FindLastChar(path, '\\'), 3u + 2 + 4);
    EXPECT_EQ(sjis::FindChar(kHyo + "\\x", '\\'), 2u);
    EXPECT_EQ(sjis::ReplaceChar("sub\\" + kHyo + "\\", '\\', '/'), "sub/" + kHyo + "/");
}

TEST(ShiftJis, SplitAtFirstComma) {
    struct Case {
        std::string text, head, tail;
    } cases[] = {
        {"app.exe", "app.exe", ""}, {"data.dat,data\\", "data.dat", "data\\"},
        {",doc", ",doc", ""},       {"a.txt,b,c", "a.txt", "b,c"},
        {"a.txt,", "a.txt", ""},    {" a , b ", " a ", " b "},
        {"a\x95,b", "a\x95", "b"}, // a lead byte before the comma stands alone
    };
    for (const Case& c : cases) {
        std::string head = "old", tail = "old";
        sjis::SplitAtFirstComma(c.text, head, tail);
        EXPECT_EQ(head, c.head) << c.text;
        EXPECT_EQ(tail, c.tail) << c.text;
    }
}

TEST(ShiftJis, SplitNeverTakesATrailByteForAComma) {
    // No CP932 trail byte is 0x2C, but a lead byte at the end of the text
    // followed by nothing must not swallow the split either.
    std::string head, tail;
    sjis::SplitAtFirstComma(kHyo + "示.txt,フォルダ\\", head, tail);
    EXPECT_EQ(head, kHyo + "示.txt");
    EXPECT_EQ(tail, "フォルダ\\");
}

} // namespace
