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

// Which statuses are followed, and which bodies taken, with a range asked
// for and without.
TEST(HttpStatus, RedirectsFollowedAndStatusesAccepted) {
    const struct {
        unsigned long status;
        bool redirect, accepted, acceptedForARange;
    } cases[] = {
        {200, false, true, true},   {204, false, false, false}, {206, false, false, true},
        {300, false, false, false}, {301, true, false, false},  {302, true, false, false},
        {303, true, false, false},  {304, false, false, false}, {305, false, false, false},
        {306, false, false, false}, {307, true, false, false},  {308, true, false, false},
        {404, false, false, false}, {500, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(IsRedirectStatus(c.status), c.redirect);
        EXPECT_EQ(IsAcceptedStatus(c.status, false), c.accepted);
        EXPECT_EQ(IsAcceptedStatus(c.status, true), c.acceptedForARange);
    }
}

} // namespace
