#include "engine/ArchiveEnds.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kInflateBlock = 64 * 1024;

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint64_t Le64(const unsigned char* p) {
    return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

bool Starts(const unsigned char* bytes, const char* signature) {
    return std::memcmp(bytes, signature, 4) == 0;
}

// The central directory that an end record (at endAt) names must lie
// before it and begin with a central header, or be empty.
bool DirectoryFits(unsigned long long offset, unsigned long long size, unsigned long long entries,
                   unsigned long long endAt, const ReadBodyAt& readAt) {
    if (offset > endAt || size > endAt - offset)
        return false;
    if (entries == 0)
        return true;
    unsigned char header[4];
    return size >= 46 && readAt(offset, header, 4) && Starts(header, "PK\x01\x02");
}

bool ZipEndsWhole(unsigned long long size, const ReadBodyAt& readAt) {
    if (size < kEndRecordSize)
        return false;
    const std::size_t tail =
        static_cast<std::size_t>(std::min<unsigned long long>(size, kEndRecordSize + kMaxComment));
    std::vector<unsigned char> bytes(tail);
    const unsigned long long tailAt = size - tail;
    if (!readAt(tailAt, bytes.data(), tail))
        return false;
    // The last end record whose comment reaches exactly to the file's end.
    for (std::size_t at = tail - kEndRecordSize + 1; at-- > 0;) {
        const unsigned char* end = bytes.data() + at;
        if (!Starts(end, "PK\x05\x06") || at + kEndRecordSize + Le16(end + 20) != tail)
            continue;
        const unsigned long long endAt = tailAt + at;
        unsigned long long entries = Le16(end + 10);
        unsigned long long directorySize = Le32(end + 12);
        unsigned long long directoryAt = Le32(end + 16);
        if (entries == 0xFFFF || directorySize == 0xFFFFFFFF || directoryAt == 0xFFFFFFFF) {
            // ZIP64: the locator right before the end record names the
            // larger record, which holds the real figures.
            unsigned char locator[kZip64LocatorSize];
            unsigned char record[kZip64EndSize];
            if (endAt < kZip64LocatorSize ||
                !readAt(endAt - kZip64LocatorSize, locator, sizeof(locator)) ||
                !Starts(locator, "PK\x06\x07"))
                return false;
            const unsigned long long recordAt = Le64(locator + 8);
            if (recordAt > endAt - kZip64LocatorSize ||
                endAt - kZip64LocatorSize - recordAt < kZip64EndSize ||
                !readAt(recordAt, record, sizeof(record)) || !Starts(record, "PK\x06\x06"))
                return false;
            entries = Le64(record + 32);
            directorySize = Le64(record + 40);
            directoryAt = Le64(record + 48);
            return DirectoryFits(directoryAt, directorySize, entries, recordAt, readAt);
        }
        return DirectoryFits(directoryAt, directorySize, entries, endAt, readAt);
    }
    return false;
}

// Inflates every member to its trailer, which zlib checks (CRC-32 and
// length); the output is thrown away.
bool GzipEndsWhole(unsigned long long size, const ReadBodyAt& readAt) {
    z_stream stream = {};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return false;
    std::vector<unsigned char> in(kInflateBlock), out(kInflateBlock);
    unsigned long long offset = 0;
    bool memberEnded = false;
    bool whole = true;
    for (;;) {
        if (stream.avail_in == 0) {
            if (offset == size)
                break;
            const std::size_t n =
                static_cast<std::size_t>(std::min<unsigned long long>(in.size(), size - offset));
            if (!readAt(offset, in.data(), n)) {
                whole = false;
                break;
            }
            offset += n;
            stream.next_in = in.data();
            stream.avail_in = static_cast<uInt>(n);
        }
        if (memberEnded) {
            // What follows a whole member: another member, or something
            // that is not gzip (padding), which the unpacking judges.
            if (stream.next_in[0] != 0x1F)
                break;
            inflateReset(&stream);
            memberEnded = false;
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            memberEnded = true;
            continue;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            whole = false;
            break;
        }
    }
    inflateEnd(&stream);
    return whole && memberEnded;
}

} // namespace

bool ArchiveEndsWhole(unsigned long long size, const ReadBodyAt& readAt) {
    unsigned char head[4];
    if (size < sizeof(head) || !readAt(0, head, sizeof(head)))
        return true;
    if (Starts(head, "PK\x03\x04") || Starts(head, "PK\x05\x06"))
        return ZipEndsWhole(size, readAt);
    if (head[0] == 0x1F && head[1] == 0x8B)
        return GzipEndsWhole(size, readAt);
    return true;
}
