#include "text/ShiftJis.h"

namespace sjis {

bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsTrailByte(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

std::size_t NextChar(const std::string& text, std::size_t pos) {
    if (pos >= text.size())
        return text.size();
    if (pos + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[pos])) &&
        IsTrailByte(static_cast<unsigned char>(text[pos + 1])))
        return pos + 2;
    return pos + 1;
}

std::size_t PrevChar(const std::string& text, std::size_t pos) {
    if (pos > text.size())
        pos = text.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < pos; i = NextChar(text, i))
        start = i;
    return start;
}

std::size_t FindChar(const std::string& text, char c) {
    for (std::size_t i = 0; i < text.size(); i = NextChar(text, i)) {
        if (text[i] == c)
            return i;
    }
    return std::string::npos;
}

std::size_t FindLastChar(const std::string& text, char c) {
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < text.size(); i = NextChar(text, i)) {
        if (text[i] == c)
            found = i;
    }
    return found;
}

bool EndsWithChar(const std::string& text, char c) {
    return !text.empty() && FindLastChar(text, c) == text.size() - 1;
}

std::string ReplaceChar(const std::string& text, char from, char to) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); i = NextChar(out, i)) {
        if (out[i] == from)
            out[i] = to;
    }
    return out;
}

void SplitAtFirstComma(const std::string& text, std::string& head, std::string& tail) {
    std::size_t comma = FindChar(text, ',');
    if (comma == std::string::npos || comma == 0) {
        head = text;
        tail.clear();
        return;
    }
    head = text.substr(0, comma);
    tail = text.substr(comma + 1);
}

} // namespace sjis
