#include "engine/HttpReply.h"

bool ReadDecimal(const std::string& text, std::size_t& pos, std::uint64_t& value) {
    const std::size_t begin = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        const auto digit = static_cast<std::uint64_t>(text[pos] - '0');
        if (value > (~std::uint64_t(0) - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++pos;
    }
    return pos > begin;
}

std::optional<unsigned long long> ReadContentLength(const std::string& text) {
    std::size_t pos = text.find_first_not_of(" \t");
    std::uint64_t length = 0;
    if (pos == std::string::npos || !ReadDecimal(text, pos, length) ||
        text.find_first_not_of(" \t", pos) != std::string::npos)
        return std::nullopt;
    return length;
}

bool IsRedirectStatus(unsigned long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsAcceptedStatus(unsigned long status, bool rangeAsked) {
    return status == 200 || (rangeAsked && status == 206);
}
