#include <gtest/gtest.h>

#include "engine/HttpReply.h"

namespace {

TEST(IsErrorStatus, FourHundredAndAbove) {
    EXPECT_FALSE(IsErrorStatus(200));
    EXPECT_FALSE(IsErrorStatus(204));
    EXPECT_FALSE(IsErrorStatus(399));
    EXPECT_TRUE(IsErrorStatus(400));
    EXPECT_TRUE(IsErrorStatus(404));
    EXPECT_TRUE(IsErrorStatus(500));
}

TEST(BodyIsComplete, AnnouncedLengthMustBeReached) {
    EXPECT_TRUE(BodyIsComplete("1000", 1000));
    EXPECT_FALSE(BodyIsComplete("1000", 999));
    EXPECT_FALSE(BodyIsComplete("1000", 0));
    EXPECT_TRUE(BodyIsComplete("0", 0));
    EXPECT_TRUE(BodyIsComplete(" 12 ", 12));
    // Beyond 32 bits.
    EXPECT_TRUE(BodyIsComplete("4294967297", 4294967297ULL));
    EXPECT_FALSE(BodyIsComplete("4294967297", 1));
}

TEST(BodyIsComplete, WithoutAUsableLengthTheEndOfTheConnectionCounts) {
    EXPECT_TRUE(BodyIsComplete("", 0));
    EXPECT_TRUE(BodyIsComplete("", 12345));
    EXPECT_TRUE(BodyIsComplete("12x", 5));
    EXPECT_TRUE(BodyIsComplete("-1", 5));
    EXPECT_TRUE(BodyIsComplete("99999999999999999999999", 5));
}

} // namespace
