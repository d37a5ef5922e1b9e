#pragma once
// Whether a received body that begins as a ZIP or a gzip stream also ends
// as one: the sign of a cut where HTTP gives none (a body ended by the
// connection's close, a chunked body cut before its last chunk that the
// platform takes as the end). Unpacks nothing and writes nothing. No
// windows.h: built and tested natively too.
#include <cstddef>
#include <functional>

// Reads exactly size bytes at offset of the body; false when it cannot.
using ReadBodyAt = std::function<bool(unsigned long long offset, void* buffer, std::size_t size)>;

// False when the body of size bytes begins as a ZIP archive (a local
// header or an empty archive's end record) whose end record is missing or
// points outside the file, or as a gzip stream that does not reach its
// trailer with a matching CRC-32 and length. True for anything else: a body
// that is no archive goes on to the unpacking, which judges it.
bool ArchiveEndsWhole(unsigned long long size, const ReadBodyAt& readAt);
