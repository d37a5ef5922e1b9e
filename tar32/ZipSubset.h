#pragma once
// An archive of some members of a ZIP, put together from the original's own
// bytes: each chosen member as it lies there (local header, data, data
// descriptor, up to where the next member begins), one after the other in
// the original's order, then the original's central directory records of
// those members with only their local offsets rewritten, then end records of
// its own. Nothing is decoded or encoded again, so an extraction takes from
// it exactly what it would take of those members from the original.
#include <cstdint>
#include <string>
#include <vector>

#include "tar32/ZipDirectory.h"

namespace tar32 {

// The bytes [begin, end) of an archive.
struct ZipSpan {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::uint64_t Size() const { return end - begin; }
};

// Where each member of a listing (ListZipDirectory's, same order) lies: from
// its local header up to the next member in the archive, the last one up to
// the central directory.
std::vector<ZipSpan> MemberSpans(const std::vector<ZipMember>& members, const ZipEnd& end);

// The chosen members (indexes into members, each once) in the order their
// spans are laid out in the subset: the order of the original archive.
std::vector<std::size_t> SubsetOrder(const std::vector<ZipMember>& members,
                                     std::vector<std::size_t> chosen);

// What follows the chosen members' spans in the subset: the central
// directory (the chosen records in the original directory's order) and the
// end record, with ZIP64's end record and locator only where the count, the
// size or the offset of the directory needs them. tail holds the original's
// central directory. Throws Failure where a record does not say what the
// listing read from it.
std::string SubsetDirectory(const ZipTail& tail, const std::vector<ZipMember>& members,
                            const std::vector<std::size_t>& chosen);

} // namespace tar32
