#pragma once
// The time text of a stamp: a UTC last-write time (a FILETIME's ticks)
// shown in local time by the time-zone rules of its own date, to the
// second, "%Y/%m/%d %H:%M:%S". One rule for the stamps of files on disk and
// for the quick check's stamps of files not yet unpacked.
#include <cstdint>

// Writes the text, zero-terminated within textSize; false (text untouched)
// when the time cannot be converted.
bool LocalTimeText(std::uint64_t utcTicks, char* text, int textSize);
