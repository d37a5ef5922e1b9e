#pragma once
// The one form of Content-Range that answers a single range:
// "bytes first-last/total". No windows.h: built and tested natively too.
#include <cstdint>
#include <string>

struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0; // inclusive
    std::uint64_t total = 0;
    std::uint64_t Length() const { return last - first + 1; }
};

// False for anything else: another unit, an unknown total ("*"), a range
// outside the total, signs, blanks inside a number, numbers too large.
bool ParseContentRange(const std::string& text, ContentRange& range);

// The Range header value for the bytes [first, last].
std::string RangeOf(std::uint64_t first, std::uint64_t last);
