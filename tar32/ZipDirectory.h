#pragma once
// A ZIP archive's listing from its last bytes alone: the end record (ZIP64's
// too) and the central directory, read by the extraction's own code and
// checked by its first pass, so that a member listed here is one that an
// unpacking would take, with the name, size and time it would write.
// Nothing here trusts the bytes: every size and offset is checked against
// the bytes held and against each other before it is used.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tar32/Core.h"

namespace tar32 {

// Where the central directory lies in the archive.
struct ZipEnd {
    std::uint64_t entries = 0;
    std::uint64_t directoryOffset = 0;
    std::uint64_t directoryEnd = 0; // where the ZIP64 end record or the end record begins
};

// The archive's bytes from some offset to its end.
struct ZipTail {
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    std::uint64_t archiveSize = 0; // the tail starts at archiveSize - size
    std::uint64_t Start() const { return archiveSize - size; }
};

// Finds the end records within the tail. Throws Failure when there is none,
// when it does not fit the archive, or when a record it needs lies before
// the tail.
ZipEnd ReadZipEnd(const ZipTail& tail);

struct ZipMember {
    enum Type { File, Folder, Link, Special } type = File;
    std::string name;     // Shift-JIS, as the extraction names it
    std::string bareName; // the name an unpacking without folders writes (files only)
    std::uint64_t size = 0;
    FileTime time; // the time the written file gets
    // Where the member and its directory record lie in the archive.
    std::uint64_t localOffset = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t recordOffset = 0;
    std::uint32_t recordSize = 0;
};

// UTF-8 to Shift-JIS as the extraction's file system converts it.
using Utf8Converter = std::function<bool(const std::string& utf8, std::string& sjis)>;

// Every member of the central directory, in its order, which is the order
// the extraction writes them in: of two files with one bare name the later
// replaces the earlier. The tail must hold the whole central directory.
// Throws Failure wherever the extraction's first pass would refuse the
// archive (a damaged record, an unsafe name, encryption, an unknown method,
// sizes that do not fit, overlapping members), and where it would not take
// the archive for a ZIP: when no member begins at its first byte.
std::vector<ZipMember> ListZipDirectory(const ZipTail& tail, const Utf8Converter& toShiftJis);

} // namespace tar32
