#include "tar32/ZipSubset.h"

#include <algorithm>
#include <numeric>

#include "tar32/Extractor.h"
#include "tar32/ZipFormat.h"

namespace tar32 {
namespace {

[[noreturn]] void Corrupt(const std::string& why) {
    Fail(TAR32_ERROR_CORRUPT, why);
}

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put64(std::string& out, std::uint64_t value) {
    Put32(out, static_cast<std::uint32_t>(value));
    Put32(out, static_cast<std::uint32_t>(value >> 32));
}

void Store32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void Store64(unsigned char* at, std::uint64_t value) {
    Store32(at, static_cast<std::uint32_t>(value));
    Store32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::vector<std::size_t> Unique(std::vector<std::size_t> chosen, std::size_t count) {
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    if (!chosen.empty() && chosen.back() >= count)
        Fail(TAR32_ERROR_INTERNAL, "a member chosen that the listing does not hold");
    return chosen;
}

// The record of member, copied from the tail, with its local offset set to
// offset where the listing found the old one: in the record's own field, or
// in its ZIP64 field when that one says "see there".
std::string Record(const ZipTail& tail, const ZipMember& member, std::uint64_t offset) {
    if (offset > member.localOffset)
        Fail(TAR32_ERROR_INTERNAL, "a member moved towards the end: " + member.name);
    if (member.recordOffset < tail.Start() || member.recordSize < kCentralHeaderSize ||
        member.recordSize > tail.archiveSize - member.recordOffset)
        Corrupt("a directory record outside the bytes held: " + member.name);
    std::string record(reinterpret_cast<const char*>(tail.bytes) +
                           (member.recordOffset - tail.Start()),
                       member.recordSize);
    auto* h = reinterpret_cast<unsigned char*>(&record[0]);
    const std::size_t nameLen = ReadLE16(h + 28);
    const std::size_t extraLen = ReadLE16(h + 30);
    const std::size_t commentLen = ReadLE16(h + 32);
    if (ReadLE32(h) != kCentralSig ||
        kCentralHeaderSize + nameLen + extraLen + commentLen != record.size())
        Corrupt("a directory record other than the listing read: " + member.name);
    if (ReadLE32(h + 42) != kNoValue32) {
        if (ReadLE32(h + 42) != member.localOffset)
            Corrupt("a directory record other than the listing read: " + member.name);
        // Members only move towards the start: the new offset fits here.
        Store32(h + 42, static_cast<std::uint32_t>(offset));
        return record;
    }
    // The first ZIP64 field, as the reading takes it: the sizes that say
    // "see there" come first.
    std::size_t at =
        (ReadLE32(h + 24) == kNoValue32 ? 8 : 0) + (ReadLE32(h + 20) == kNoValue32 ? 8 : 0);
    unsigned char* extra = h + kCentralHeaderSize + nameLen;
    for (std::size_t pos = 0; pos + 4 <= extraLen;) {
        const std::size_t len = ReadLE16(extra + pos + 2);
        if (pos + 4 + len > extraLen)
            break;
        if (ReadLE16(extra + pos) == 0x0001) {
            if (at + 8 > len || ReadLE64(extra + pos + 4 + at) != member.localOffset)
                break;
            Store64(extra + pos + 4 + at, offset);
            return record;
        }
        pos += 4 + len;
    }
    Corrupt("a directory record without the offset the listing read: " + member.name);
}

} // namespace

std::vector<ZipSpan> MemberSpans(const std::vector<ZipMember>& members, const ZipEnd& end) {
    std::vector<std::size_t> order(members.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::sort(order.begin(), order.end(), [&members](std::size_t a, std::size_t b) {
        return members[a].localOffset < members[b].localOffset;
    });
    std::vector<ZipSpan> spans(members.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        ZipSpan& span = spans[order[k]];
        span.begin = members[order[k]].localOffset;
        span.end = k + 1 < order.size() ? members[order[k + 1]].localOffset : end.directoryOffset;
        span.end = std::max(span.begin, span.end);
    }
    return spans;
}

std::vector<std::size_t> SubsetOrder(const std::vector<ZipMember>& members,
                                     std::vector<std::size_t> chosen) {
    chosen = Unique(std::move(chosen), members.size());
    std::sort(chosen.begin(), chosen.end(), [&members](std::size_t a, std::size_t b) {
        return members[a].localOffset < members[b].localOffset;
    });
    return chosen;
}

std::string SubsetDirectory(const ZipTail& tail, const std::vector<ZipMember>& members,
                            const std::vector<std::size_t>& chosen) {
    const ZipEnd end = ReadZipEnd(tail);
    const std::vector<ZipSpan> spans = MemberSpans(members, end);
    std::vector<std::uint64_t> offsets(members.size());
    std::uint64_t directoryOffset = 0;
    for (std::size_t i : SubsetOrder(members, chosen)) {
        offsets[i] = directoryOffset;
        directoryOffset += spans[i].Size();
    }
    std::string out;
    std::uint64_t entries = 0;
    for (std::size_t i : Unique(chosen, members.size())) {
        out += Record(tail, members[i], offsets[i]);
        ++entries;
    }
    const std::uint64_t directorySize = out.size();
    const bool zip64 =
        entries >= 0xFFFF || directorySize >= kNoValue32 || directoryOffset >= kNoValue32;
    if (zip64) {
        const std::uint64_t zip64End = directoryOffset + directorySize;
        Put32(out, kZip64EndSig);
        Put64(out, 44); // the record's size after this field
        Put16(out, 45); // made by and needed: ZIP64
        Put16(out, 45);
        Put32(out, 0); // this disk and the directory's
        Put32(out, 0);
        Put64(out, entries);
        Put64(out, entries);
        Put64(out, directorySize);
        Put64(out, directoryOffset);
        Put32(out, kZip64LocatorSig);
        Put32(out, 0);
        Put64(out, zip64End);
        Put32(out, 1); // disks in all
    }
    Put32(out, kEndSig);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, zip64 ? 0xFFFF : static_cast<std::uint32_t>(entries));
    Put16(out, zip64 ? 0xFFFF : static_cast<std::uint32_t>(entries));
    Put32(out, zip64 ? kNoValue32 : static_cast<std::uint32_t>(directorySize));
    Put32(out, zip64 ? kNoValue32 : static_cast<std::uint32_t>(directoryOffset));
    Put16(out, 0); // no comment
    return out;
}

} // namespace tar32
