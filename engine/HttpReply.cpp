#include "engine/HttpReply.h"

bool BodyIsComplete(const std::string& contentLength, unsigned long long received) {
    std::size_t begin = contentLength.find_first_not_of(" \t");
    std::size_t end = contentLength.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return true;
    unsigned long long length = 0;
    for (std::size_t i = begin; i <= end; ++i) {
        const char c = contentLength[i];
        if (c < '0' || c > '9')
            return true;
        const unsigned long long digit = static_cast<unsigned long long>(c - '0');
        if (length > (~0ULL - digit) / 10)
            return true; // absurdly large: not a length we can judge by
        length = length * 10 + digit;
    }
    return received == length;
}
