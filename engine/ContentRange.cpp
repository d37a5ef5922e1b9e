#include "engine/ContentRange.h"

namespace {

// Reads the digits at pos into value; false when there are none or too many.
bool ReadNumber(const std::string& text, std::size_t& pos, std::uint64_t& value) {
    const std::size_t begin = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[pos] - '0');
        if (value > (~std::uint64_t(0) - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++pos;
    }
    return pos > begin;
}

bool Expect(const std::string& text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

bool ParseContentRange(const std::string& text, ContentRange& range) {
    std::size_t pos = text.find_first_not_of(" \t");
    if (pos == std::string::npos || text.compare(pos, 5, "bytes") != 0)
        return false;
    pos += 5;
    const std::size_t afterUnit = pos;
    pos = text.find_first_not_of(" \t", pos);
    if (pos == std::string::npos || pos == afterUnit)
        return false;
    ContentRange parsed;
    if (!ReadNumber(text, pos, parsed.first) || !Expect(text, pos, '-') ||
        !ReadNumber(text, pos, parsed.last) || !Expect(text, pos, '/') ||
        !ReadNumber(text, pos, parsed.total))
        return false;
    if (text.find_first_not_of(" \t", pos) != std::string::npos)
        return false;
    if (parsed.first > parsed.last || parsed.last >= parsed.total)
        return false;
    range = parsed;
    return true;
}

std::string RangeOf(std::uint64_t first, std::uint64_t last) {
    return "bytes=" + std::to_string(first) + "-" + std::to_string(last);
}
