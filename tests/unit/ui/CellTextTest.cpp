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

// Whole up to the column less 12; else the longest prefix whose 5n + 6 fits
// the column less 5, cut only between whole characters, never below the
// first character and the dots.
TEST(FitCellText, KeepsCutsAndShortens) {
    // "表示" are two double-byte characters whose trail bytes are 0x5C ('\').
    const std::string hyouji = "表示表示表示";
    ASSERT_EQ(12u, hyouji.size());
    const struct {
        const char* rule;
        std::string text;
        int columnWidth;
        std::string fitted;
        bool shortened;
    } cases[] = {
        {"no wider than the column less twelve", "abcd", 32, "abcd", false},
        {"no wider than the column less twelve: empty", "", 0, "", false},
        {"whole text with dots in the column less five", "abcd", 31, "abcd...", true},
        {"whole text with dots in the column less five: one short", "abcd", 30, "abc...", true},
        {"longest prefix that fits with the dots", "abcdefghijklmnop", 50, "abcdefg...", true},
        {"longest prefix that fits with the dots: exactly", "abcdefghijklmnop", 46, "abcdefg...",
         true},
        {"longest prefix that fits with the dots: one short", "abcdefghijklmnop", 45, "abcdef...",
         true},
        {"never below the first character", "abcdef", 10, "a...", true},
        {"never below the first character: column 0", "a", 0, "a...", true},
        {"never below the first character: negative column", "abcdef", -100, "a...", true},
        {"never below the first character: double-byte, whole", "漢字", 10, "漢...", true},
        {"whole double-byte characters: room for 7 bytes", hyouji, 50, "表示表...", true},
        {"whole double-byte characters: room for 5 bytes", hyouji, 40, "表示...", true},
        {"whole double-byte characters: mixed, 9 bytes", "aｶﾅ漢字ab", 50, "aｶﾅ漢字...", true},
        {"whole double-byte characters: mixed, a cut in 字", "aｶﾅ漢字ab", 44, "aｶﾅ漢...", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const FittedCellText fitted = FitCellText(c.text, c.columnWidth, FakeWidth);
        EXPECT_EQ(c.fitted, fitted.text);
        EXPECT_EQ(c.shortened, fitted.shortened);
    }
}

// The value goes in unchanged (a double-byte one whose trail bytes look like
// '\' too); "%%" is one '%', a second "%s" is dropped, the rest kept.
TEST(FormatOneString, FillsTheOneArgument) {
    const struct {
        std::string format, value, formatted;
    } cases[] = {
        {texts::kMainCaption, "Sample", "[Sample] を更新 by Tovarind"},
        {texts::kMainCaption, "", "[] を更新 by Tovarind"},
        {"[%s] x", "100% %s %d %n", "[100% %s %d %n] x"},
        {"[%s] x", "表示", "[表示] x"},
        {"50%% %s", "a", "50% a"},
        {"%s %s %d %", "a", "a  %d %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.formatted, FormatOneString(c.format, c.value))
            << "\"" << c.format << "\" with \"" << c.value << "\"";
}

} // namespace
