// Fitting a cell's text into its column, measured with a fake font in which
// a full stop is 2 pixels wide and every other byte 5 (a double-byte
// character 10), and the caption template filling.
#include "tests/support/SystemTexts.h"
#include "ui/CellText.h"

#include <gtest/gtest.h>

namespace {

int FakeWidth(const std::string& text) {
    int width = 0;
    for (char c : text)
        width += c == '.' ? 2 : 5;
    return width;
}

FittedCellText Fit(const std::string& text, int columnWidth) {
    return FitCellText(text, columnWidth, FakeWidth);
}

TEST(FitCellText, KeepsTextNoWiderThanTheColumnLessTwelve) {
    // "abcd" is 20 wide: whole up to a column of 32.
    EXPECT_EQ("abcd", Fit("abcd", 32).text);
    EXPECT_FALSE(Fit("abcd", 32).shortened);
    EXPECT_EQ("", Fit("", 0).text);
    EXPECT_FALSE(Fit("", 0).shortened);
}

TEST(FitCellText, WholeTextWithDotsWhenThatFitsTheColumnLessFive) {
    // 20 > 31 - 12, but 20 + 6 <= 31 - 5.
    FittedCellText fitted = Fit("abcd", 31);
    EXPECT_TRUE(fitted.shortened);
    EXPECT_EQ("abcd...", fitted.text);
    EXPECT_EQ("abc...", Fit("abcd", 30).text);
}

TEST(FitCellText, LongestPrefixThatFitsWithTheDots) {
    // Room for n bytes of text when 5n + 6 <= width - 5.
    EXPECT_EQ("abcdefg...", Fit("abcdefghijklmnop", 50).text);
    EXPECT_EQ("abcdefg...", Fit("abcdefghijklmnop", 46).text);
    EXPECT_EQ("abcdef...", Fit("abcdefghijklmnop", 45).text);
}

TEST(FitCellText, NeverBelowTheFirstCharacterAndTheDots) {
    EXPECT_EQ("a...", Fit("abcdef", 10).text);
    EXPECT_EQ("a...", Fit("a", 0).text);
    EXPECT_EQ("a...", Fit("abcdef", -100).text);
    // A double-byte first character stays whole.
    EXPECT_EQ("漢...", Fit("漢字", 10).text);
}

TEST(FitCellText, CutsOnlyBetweenWholeDoubleByteCharacters) {
    // "表示" are two double-byte characters whose trail bytes are 0x5C ('\').
    const std::string text = "表示表示表示";
    ASSERT_EQ(12u, text.size());
    // Room for 7 bytes of text: three whole characters.
    EXPECT_EQ("表示表...", Fit(text, 50).text);
    // Room for 5 bytes: a cut after the 5th byte would split a character.
    EXPECT_EQ("表示...", Fit(text, 40).text);
    // Mixed single- and double-byte text (9 bytes).
    EXPECT_EQ("aｶﾅ漢字...", Fit("aｶﾅ漢字ab", 50).text);
    EXPECT_EQ("aｶﾅ漢...", Fit("aｶﾅ漢字ab", 44).text);
}

TEST(FormatOneString, InsertsTheValueUnchanged) {
    EXPECT_EQ("[Sample] を更新 by Tovarind", FormatOneString(texts::kMainCaption, "Sample"));
    EXPECT_EQ("[] を更新 by Tovarind", FormatOneString(texts::kMainCaption, ""));
    EXPECT_EQ("[100% %s %d %n] x", FormatOneString("[%s] x", "100% %s %d %n"));
    // A double-byte value whose trail bytes look like '\' and '%'-free.
    EXPECT_EQ("[表示] x", FormatOneString("[%s] x", "表示"));
}

TEST(FormatOneString, TemplateRulesBesidesTheOneArgument) {
    EXPECT_EQ("50% a", FormatOneString("50%% %s", "a"));
    EXPECT_EQ("a  %d %", FormatOneString("%s %s %d %", "a"));
}

} // namespace
