#pragma once
// Shift-JIS (code page 932) text rules in one place, so that no caller walks
// double-byte text by hand. Portable: the program, its framework and the
// archive library all walk text by these rules.
//
// A lead byte (0x81-0x9F, 0xE0-0xFC) and a valid trail byte (0x40-0xFC but
// 0x7F) make one character; the trail byte may be '\\' (0x5C) but never ','
// or any other ASCII punctuation below 0x40. A lead byte followed by anything
// else, or at the very end of a text, stands alone: the byte after it is a
// character of its own, so a broken pair never hides a separator.
#include <cstddef>
#include <string>

namespace sjis {

bool IsLeadByte(unsigned char c);
bool IsTrailByte(unsigned char c);

// Position of the character after the one starting at pos (never past size).
std::size_t NextChar(const std::string& text, std::size_t pos);

// Start of the character before pos (0 when pos is 0). Scans from the start,
// since a trail byte cannot be told from a lead byte by looking backwards.
std::size_t PrevChar(const std::string& text, std::size_t pos);

// Byte offset of the first whole character c (ASCII), or npos.
std::size_t FindChar(const std::string& text, char c);

// Byte offset of the last whole character c (ASCII), or npos.
std::size_t FindLastChar(const std::string& text, char c);

// True when the last whole character of text is c (ASCII), not a trail byte.
bool EndsWithChar(const std::string& text, char c);

// Every whole character from (ASCII) replaced by to (ASCII).
std::string ReplaceChar(const std::string& text, char from, char to);

// Split at the first comma: when it stands at position 1 or later, before ->
// head, after -> tail (further commas included); otherwise the whole text is
// the head and the tail is empty.
void SplitAtFirstComma(const std::string& text, std::string& head, std::string& tail);

} // namespace sjis
