#include "engine/HttpReply.h"

std::optional<unsigned long long> ReadContentLength(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::nullopt;
    const std::size_t end = text.find_last_not_of(" \t");
    unsigned long long length = 0;
    for (std::size_t i = begin; i <= end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto digit = static_cast<unsigned long long>(c - '0');
        if (length > (~0ULL - digit) / 10)
            return std::nullopt;
        length = length * 10 + digit;
    }
    return length;
}

bool IsRedirectStatus(unsigned long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsAcceptedStatus(unsigned long status, bool rangeAsked) {
    return status == 200 || (rangeAsked && status == 206);
}
