#include <gtest/gtest.h>

#include "engine/HttpReply.h"

namespace {

TEST(ReadContentLength, OnePlainNumber) {
    EXPECT_EQ(ReadContentLength("1000"), 1000ULL);
    EXPECT_EQ(ReadContentLength("0"), 0ULL);
    EXPECT_EQ(ReadContentLength(" 12\t"), 12ULL);
    EXPECT_EQ(ReadContentLength("4294967297"), 4294967297ULL); // beyond 32 bits
    EXPECT_EQ(ReadContentLength("18446744073709551615"), ~0ULL);
}

TEST(ReadContentLength, AnythingElseIsUnreadable) {
    for (const char* text :
         {"", "  ", "12x", "-1", "+5", "1 000", "1000, 1000", "0x10", "18446744073709551616",
          "9999999999999999999999999999999999999999999999999999999999999999999999"})
        EXPECT_EQ(ReadContentLength(text), std::nullopt) << text;
}

TEST(HttpStatus, RedirectsFollowedAndStatusesAccepted) {
    for (unsigned long status : {301, 302, 303, 307, 308})
        EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (unsigned long status : {200, 300, 304, 305, 306, 404})
        EXPECT_FALSE(IsRedirectStatus(status)) << status;

    EXPECT_TRUE(IsAcceptedStatus(200, false));
    EXPECT_TRUE(IsAcceptedStatus(200, true));
    EXPECT_TRUE(IsAcceptedStatus(206, true));
    for (unsigned long status : {204, 206, 300, 302, 304, 404, 500})
        EXPECT_FALSE(IsAcceptedStatus(status, false)) << status;
    EXPECT_FALSE(IsAcceptedStatus(204, true));
}

} // namespace
