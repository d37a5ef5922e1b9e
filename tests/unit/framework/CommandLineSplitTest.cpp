#include <gtest/gtest.h>

#include <tuple>

#include "framework/CommandLine.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateQuotesGroup) {
    EXPECT_EQ(SplitCommandLine("prog.exe"), Args({"prog.exe"}));
    EXPECT_EQ(SplitCommandLine("prog.exe  a\tb "), Args({"prog.exe", "a", "b"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\My App\\prog.exe\" \"x y\" z"),
              Args({"C:\\My App\\prog.exe", "x y", "z"}));
    EXPECT_EQ(SplitCommandLine("prog a\"b c\"d"), Args({"prog", "ab cd"}));
    EXPECT_EQ(SplitCommandLine("prog \"\""), Args({"prog", ""}));
}

TEST(SplitCommandLine, BackslashesBeforeQuotes) {
    EXPECT_EQ(SplitCommandLine("prog a\\\\b"), Args({"prog", "a\\\\b"}));
    EXPECT_EQ(SplitCommandLine("prog a\\\"b"), Args({"prog", "a\"b"}));
    EXPECT_EQ(SplitCommandLine("prog \"a\\\\\" b"), Args({"prog", "a\\", "b"}));
    EXPECT_EQ(SplitCommandLine("prog \"a\"\"b\""), Args({"prog", "a\"b"}));
    // The program name takes no backslash rules.
    EXPECT_EQ(SplitCommandLine("C:\\dir\\\"x\" y"), Args({"C:\\dir\\x", "y"}));
}

TEST(SplitCommandLine, DoubleByteTrailBackslashBeforeAQuote) {
    // "表" ends in 0x5C; it must not escape the closing quote.
    EXPECT_EQ(SplitCommandLine("prog \"表\" next"), Args({"prog", "表", "next"}));
}

TEST(ParseCommandLineArguments, StripsOneSwitchCharacter) {
    using Call = std::tuple<std::string, bool, bool>; // param, isFlag, isLast
    struct Recorder : CCommandLineInfo {
        void ParseParam(const char* param, bool isFlag, bool isLast) override {
            calls.emplace_back(param, isFlag, isLast);
        }
        std::vector<Call> calls;
    } recorder;
    ParseCommandLineArguments(recorder, {"prog", "/a.ini", "-b.ini", "--c", "d", ""});
    EXPECT_EQ(recorder.calls, (std::vector<Call>{{"a.ini", true, false},
                                                 {"b.ini", true, false},
                                                 {"-c", true, false},
                                                 {"d", false, false},
                                                 {"", false, true}}));
}

} // namespace
