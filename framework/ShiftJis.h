#pragma once
// Shift-JIS (code page 932) text rules in one place, so that no caller walks
// double-byte text by hand. A lead byte is followed by a trail byte that may
// be any byte from 0x40 up, including '\\' (0x5C) and ',' is never a trail
// byte; a lead byte at the very end of a text stands alone.
#include <cstddef>
#include <string>

namespace sjis {

bool IsLeadByte(unsigned char c);

// Position of the character after the one starting at pos (never past size).
std::size_t NextChar(const std::string& text, std::size_t pos);

// Start of the character before pos (0 when pos is 0). Scans from the start,
// since a trail byte cannot be told from a lead byte by looking backwards.
std::size_t PrevChar(const std::string& text, std::size_t pos);

// Byte offset of the first whole character c (ASCII), or npos.
std::size_t FindChar(const std::string& text, char c);

// Byte offset of the last whole character c (ASCII), or npos.
std::size_t FindLastChar(const std::string& text, char c);

// Every whole character from (ASCII) replaced by to (ASCII).
std::string ReplaceChar(const std::string& text, char from, char to);

// Split at the first comma: when it stands at position 1 or later, before ->
// head, after -> tail (further commas included); otherwise the whole text is
// the head and the tail is empty.
void SplitAtFirstComma(const std::string& text, std::string& head, std::string& tail);

} // namespace sjis
