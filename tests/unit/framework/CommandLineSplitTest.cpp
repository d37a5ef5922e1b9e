#include <gtest/gtest.h>

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

struct Recorder : CCommandLineInfo {
    struct Call {
        std::string param;
        bool isFlag;
        bool isLast;
    };
    void ParseParam(const char* param, bool isFlag, bool isLast) override {
        calls.push_back({param, isFlag, isLast});
    }
    std::vector<Call> calls;
};

TEST(ParseCommandLineArguments, StripsOneSwitchCharacter) {
    Recorder recorder;
    ParseCommandLineArguments(recorder, {"prog", "/a.ini", "-b.ini", "--c", "d", ""});
    ASSERT_EQ(recorder.calls.size(), 5u);
    EXPECT_EQ(recorder.calls[0].param, "a.ini");
    EXPECT_TRUE(recorder.calls[0].isFlag);
    EXPECT_EQ(recorder.calls[1].param, "b.ini");
    EXPECT_EQ(recorder.calls[2].param, "-c");
    EXPECT_EQ(recorder.calls[3].param, "d");
    EXPECT_FALSE(recorder.calls[3].isFlag);
    EXPECT_FALSE(recorder.calls[3].isLast);
    EXPECT_EQ(recorder.calls[4].param, "");
    EXPECT_TRUE(recorder.calls[4].isLast);
}

} // namespace
