#include "engine/ContentRange.h"

#include "engine/HttpReply.h"

namespace {

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
    if (!ReadDecimal(text, pos, parsed.first) || !Expect(text, pos, '-') ||
        !ReadDecimal(text, pos, parsed.last) || !Expect(text, pos, '/') ||
        !ReadDecimal(text, pos, parsed.total))
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
