// ZIP: the central directory is read twice. The first pass checks every
// member (name, method, encryption, sizes, where its data lies) before
// anything is written; the second extracts, checking each member's local
// header, the end of its data, its size and CRC-32. The first pass alone,
// over the archive's last bytes, is the listing of ZipDirectory.h.
#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include <zlib.h>

#include "tar32/Extractor.h"
#include "tar32/Names.h"
#include "tar32/ZipDirectory.h"
#include "tar32/ZipFormat.h"
#include "text/ShiftJis.h"

namespace tar32 {
namespace {

// The end record with the longest comment.
constexpr std::uint64_t kEndSearch = 22 + 65535;

constexpr std::uint32_t kFlagEncrypted = 1u << 0;
constexpr std::uint32_t kFlagDescriptor = 1u << 3;
constexpr std::uint32_t kFlagStrongEncryption = 1u << 6;
constexpr std::uint32_t kFlagUtf8 = 1u << 11;
constexpr std::uint32_t kFlagMaskedHeaders = 1u << 13;

[[noreturn]] void Corrupt(const std::string& why) {
    Fail(TAR32_ERROR_CORRUPT, why);
}

struct EndRecord {
    std::uint64_t entries = 0;
    std::uint64_t cdOffset = 0;
    std::uint64_t cdEnd = 0; // where the central directory must end
};

void ReadAtExact(Source& source, std::uint64_t offset, unsigned char* data, std::size_t size,
                 const char* what) {
    if (offset > source.Size() || source.ReadAt(offset, data, size) != size) {
        Corrupt(what);
    }
}

// Looks for the end record in the bytes from searchFrom to the end. A record
// whose comment stops short of the end is taken only when the search covers
// all the bytes where one could be: a record that ends exactly there might
// lie before searchFrom, and it would come first.
EndRecord FindEnd(Source& source, std::uint64_t searchFrom) {
    const std::uint64_t size = source.Size();
    if (searchFrom > size || size - searchFrom < 22) {
        Corrupt("no end of central directory (truncated?)");
    }
    const std::size_t tailLen =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - searchFrom, kEndSearch));
    std::vector<unsigned char> tail(tailLen);
    const std::uint64_t tailStart = size - tailLen;
    ReadAtExact(source, tailStart, tail.data(), tailLen, "cannot read the end of the archive");
    // The record whose comment ends exactly at the end of the file; failing
    // that, the last one that fits.
    std::size_t found = std::string::npos;
    std::size_t fallback = std::string::npos;
    for (std::size_t i = tailLen - 22 + 1; i-- > 0;) {
        if (ReadLE32(&tail[i]) != kEndSig) {
            continue;
        }
        const std::size_t end = i + 22 + ReadLE16(&tail[i + 20]);
        if (end == tailLen) {
            found = i;
            break;
        }
        if (end < tailLen && fallback == std::string::npos) {
            fallback = i;
        }
    }
    if (found == std::string::npos && tailLen == std::min(size, kEndSearch)) {
        found = fallback;
    }
    if (found == std::string::npos) {
        Corrupt("no end of central directory (truncated?)");
    }
    const unsigned char* e = &tail[found];
    const std::uint64_t endPos = tailStart + found;
    std::uint32_t disk = ReadLE16(e + 4);
    std::uint32_t cdDisk = ReadLE16(e + 6);
    std::uint64_t entriesOnDisk = ReadLE16(e + 8);
    EndRecord record;
    record.entries = ReadLE16(e + 10);
    std::uint64_t cdSize = ReadLE32(e + 12);
    record.cdOffset = ReadLE32(e + 16);
    record.cdEnd = endPos;

    if (endPos >= 20) {
        unsigned char locator[20];
        ReadAtExact(source, endPos - 20, locator, sizeof locator, "cannot read the archive");
        if (ReadLE32(locator) == kZip64LocatorSig) {
            if (ReadLE32(locator + 4) != 0 || ReadLE32(locator + 16) > 1) {
                Fail(TAR32_ERROR_UNSUPPORTED, "multi-volume archive");
            }
            const std::uint64_t z64Pos = ReadLE64(locator + 8);
            unsigned char z[56];
            if (z64Pos > endPos - 20 || endPos - 20 - z64Pos < sizeof z) {
                Corrupt("bad ZIP64 end of central directory");
            }
            ReadAtExact(source, z64Pos, z, sizeof z, "cannot read the archive");
            if (ReadLE32(z) != kZip64EndSig || ReadLE64(z + 4) != endPos - 20 - z64Pos - 12) {
                Corrupt("bad ZIP64 end of central directory");
            }
            disk = ReadLE32(z + 16);
            cdDisk = ReadLE32(z + 20);
            entriesOnDisk = ReadLE64(z + 24);
            record.entries = ReadLE64(z + 32);
            cdSize = ReadLE64(z + 40);
            record.cdOffset = ReadLE64(z + 48);
            record.cdEnd = z64Pos;
        }
    }
    if (disk != 0 || cdDisk != 0 || entriesOnDisk != record.entries) {
        Fail(TAR32_ERROR_UNSUPPORTED, "multi-volume archive");
    }
    if (record.cdOffset > record.cdEnd || record.cdEnd - record.cdOffset != cdSize) {
        Corrupt("the central directory is not where the end record says");
    }
    return record;
}

struct Entry {
    std::uint32_t versionMadeBy = 0;
    std::uint32_t flags = 0;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
    std::uint64_t recordOffset = 0; // the central directory record itself
    std::uint64_t recordSize = 0;
    std::string rawName;
    std::string unicodeName; // from an Info-ZIP Unicode path field whose CRC matches
    FileTime time;
};

FileTime DosTime(std::uint32_t time, std::uint32_t date) {
    const unsigned year = 1980 + (date >> 9);
    const unsigned month = (date >> 5) & 15;
    const unsigned day = date & 31;
    const unsigned hour = time >> 11;
    const unsigned minute = (time >> 5) & 63;
    const unsigned second = (time & 31) * 2;
    FileTime result;
    if (month >= 1 && month <= 12 && day >= 1 && hour < 24 && minute < 60 && second < 60) {
        result.kind = FileTime::Local;
        const std::int64_t seconds =
            DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
        result.ticks = kUnixEpochTicks + seconds * kTicksPerSecond;
    }
    return result;
}

void ParseExtra(const std::string& extra, Entry& entry, bool needSize, bool needCompressed,
                bool needOffset) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(extra.data());
    const std::size_t n = extra.size();
    FileTime unixTime;
    FileTime ntfsTime;
    bool zip64Done = !(needSize || needCompressed || needOffset);
    for (std::size_t pos = 0; pos + 4 <= n;) {
        const std::uint32_t id = ReadLE16(p + pos);
        const std::size_t len = ReadLE16(p + pos + 2);
        const unsigned char* d = p + pos + 4;
        if (pos + 4 + len > n) {
            Corrupt("bad extra field: " + entry.rawName);
        }
        if (id == 0x0001 && !zip64Done) {
            std::size_t at = 0;
            auto take = [&](std::uint64_t& value) {
                if (at + 8 > len) {
                    Corrupt("bad ZIP64 field: " + entry.rawName);
                }
                value = ReadLE64(d + at);
                at += 8;
            };
            if (needSize) {
                take(entry.size);
            }
            if (needCompressed) {
                take(entry.compressedSize);
            }
            if (needOffset) {
                take(entry.localOffset);
            }
            zip64Done = true;
        } else if (id == 0x5455 && len >= 5 && (d[0] & 1)) {
            unixTime = FromUnixSeconds(ReadLE32(d + 1));
        } else if (id == 0x000A && len >= 4) {
            for (std::size_t at = 4; at + 4 <= len;) {
                const std::uint32_t tag = ReadLE16(d + at);
                const std::size_t size = ReadLE16(d + at + 2);
                if (at + 4 + size > len) {
                    break;
                }
                if (tag == 1 && size >= 8) {
                    const std::uint64_t ticks = ReadLE64(d + at + 4);
                    if (ticks > 0 && ticks < (1ull << 62)) {
                        ntfsTime.kind = FileTime::Utc;
                        ntfsTime.ticks = static_cast<std::int64_t>(ticks);
                    }
                }
                at += 4 + size;
            }
        } else if (id == 0x7075 && len >= 5 && d[0] == 1) {
            const std::uint32_t nameCrc = static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(entry.rawName.data()),
                      static_cast<uInt>(entry.rawName.size())));
            if (ReadLE32(d + 1) == nameCrc) {
                entry.unicodeName.assign(reinterpret_cast<const char*>(d + 5), len - 5);
            }
        }
        pos += 4 + len;
    }
    if (!zip64Done) {
        Corrupt("missing ZIP64 field: " + entry.rawName);
    }
    if (ntfsTime.kind != FileTime::None) {
        entry.time = ntfsTime;
    } else if (unixTime.kind != FileTime::None) {
        entry.time = unixTime;
    }
}

// One central directory record; the reader stands on its signature.
void ReadEntry(RegionReader& cd, Entry& entry) {
    entry.recordOffset = cd.Position();
    unsigned char h[46];
    cd.ReadExact(h, sizeof h, "central directory cut short");
    if (ReadLE32(h) != kCentralSig) {
        Corrupt("bad central directory record");
    }
    entry.versionMadeBy = ReadLE16(h + 4);
    entry.flags = ReadLE16(h + 8);
    entry.method = ReadLE16(h + 10);
    entry.crc = ReadLE32(h + 16);
    entry.compressedSize = ReadLE32(h + 20);
    entry.size = ReadLE32(h + 24);
    const std::size_t nameLen = ReadLE16(h + 28);
    const std::size_t extraLen = ReadLE16(h + 30);
    const std::size_t commentLen = ReadLE16(h + 32);
    const std::uint32_t diskStart = ReadLE16(h + 34);
    entry.externalAttributes = ReadLE32(h + 38);
    entry.localOffset = ReadLE32(h + 42);
    entry.rawName.resize(nameLen);
    cd.ReadExact(&entry.rawName[0], nameLen, "central directory cut short");
    std::string extra(extraLen, '\0');
    cd.ReadExact(&extra[0], extraLen, "central directory cut short");
    cd.Skip(commentLen, "central directory cut short");
    entry.recordSize = cd.Position() - entry.recordOffset;
    entry.unicodeName.clear();
    entry.time = DosTime(ReadLE16(h + 12), ReadLE16(h + 14));
    ParseExtra(extra, entry, entry.size == kNoValue32, entry.compressedSize == kNoValue32,
               entry.localOffset == kNoValue32);
    if (diskStart != 0 && diskStart != 0xFFFF) {
        Fail(TAR32_ERROR_UNSUPPORTED, "multi-volume archive");
    }
}

MemberInfo Describe(const Entry& entry, MemberRules& rules) {
    MemberInfo member;
    if (entry.flags & kFlagUtf8) {
        member.name = rules.FromUtf8(entry.rawName);
    } else if (!entry.unicodeName.empty()) {
        member.name = rules.FromUtf8(entry.unicodeName);
    } else {
        member.name = entry.rawName;
    }
    member.size = entry.size;
    member.time = entry.time;
    const unsigned madeBy = entry.versionMadeBy >> 8;
    const std::uint32_t unixMode = entry.externalAttributes >> 16;
    if (sjis::EndsWithChar(member.name, '/') || sjis::EndsWithChar(member.name, '\\')) {
        member.type = MemberInfo::Folder;
    } else if (madeBy == 3 && (unixMode & 0170000) == 0120000) {
        member.type = MemberInfo::Link;
    } else if (madeBy == 3 && (unixMode & 0170000) != 0 && (unixMode & 0170000) != 0100000 &&
               (unixMode & 0170000) != 0040000) {
        member.type = MemberInfo::Special;
    }
    return member;
}

// What every member must satisfy before anything is written. Returns the
// least end of its local record (header, name and data).
std::uint64_t Validate(const Entry& entry, const EndRecord& end) {
    if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeaders) ||
        entry.method == 99) {
        Fail(TAR32_ERROR_UNSUPPORTED, "encrypted member: " + entry.rawName);
    }
    if (entry.method != 0 && entry.method != 8) {
        Fail(TAR32_ERROR_UNSUPPORTED,
             "compression method " + std::to_string(entry.method) + ": " + entry.rawName);
    }
    if (entry.method == 0 && entry.compressedSize != entry.size) {
        Corrupt("stored member whose sizes differ: " + entry.rawName);
    }
    if (entry.method == 8 && entry.size / kMaxDeflateRatio > entry.compressedSize) {
        Corrupt("more data than its compressed size can hold: " + entry.rawName);
    }
    const std::uint64_t fixed = kLocalHeaderSize + entry.rawName.size();
    if (entry.localOffset > end.cdOffset || end.cdOffset - entry.localOffset < fixed ||
        end.cdOffset - entry.localOffset - fixed < entry.compressedSize) {
        Corrupt("member data beyond the central directory: " + entry.rawName);
    }
    return entry.localOffset + fixed + entry.compressedSize;
}

// The first pass over the central directory: every record well-formed,
// every member acceptable to the rules, no two members' data overlapping.
class DirectoryPass {
  public:
    using Visit = std::function<void(const Entry&, const MemberInfo&)>;

    DirectoryPass(Source& source, const EndRecord& end, MemberRules& rules)
        : source_(source), end_(end), rules_(rules),
          cdBuffer_(std::min<std::size_t>(kBufferSize, 64 * 1024)) {}

    // Checks every member and shows each to visit. space: what the files
    // will take on the output volume.
    void Run(std::uint64_t& space, const Visit& visit) {
        sorted_ = CheckAll(space, visit);
        if (!sorted_) {
            CollectStarts();
        }
    }

    // Where the member starting at start must end at the latest, given the
    // one that follows it in the central directory (null for the last).
    std::uint64_t Limit(std::uint64_t start, const Entry* next) const {
        if (sorted_) {
            return next ? next->localOffset : end_.cdOffset;
        }
        auto it = std::upper_bound(starts_.begin(), starts_.end(), start);
        return it == starts_.end() ? end_.cdOffset : *it;
    }

    std::vector<unsigned char>& Buffer() { return cdBuffer_; }

  private:
    // True when the members lie in the order of the central directory (the
    // usual case, checked without memory).
    bool CheckAll(std::uint64_t& space, const Visit& visit) {
        RegionReader cd(source_, end_.cdOffset, end_.cdEnd, cdBuffer_);
        Entry entry;
        bool sorted = true;
        std::uint64_t previousStart = 0;
        std::uint64_t previousEnd = 0;
        for (std::uint64_t i = 0; i < end_.entries; ++i) {
            ReadEntry(cd, entry);
            const std::uint64_t leastEnd = Validate(entry, end_);
            const MemberInfo member = Describe(entry, rules_);
            rules_.Check(member);
            if (member.type == MemberInfo::File) {
                space = SaturatingAdd(space, SaturatingAdd(member.size, kSpacePerMember));
            }
            if (i > 0 && entry.localOffset < previousStart) {
                sorted = false;
            }
            if (sorted && i > 0 && entry.localOffset < previousEnd) {
                Corrupt("overlapping members: " + entry.rawName);
            }
            previousStart = entry.localOffset;
            previousEnd = leastEnd;
            if (visit) {
                visit(entry, member);
            }
        }
        if (cd.Remaining() != 0) {
            Corrupt("the central directory holds more than its entries");
        }
        return sorted;
    }

    // Members stored out of order: their starts, sorted, for the overlap test
    // and for where each member's data must end. Eight bytes per member.
    void CollectStarts() {
        // Every record takes at least its fixed part: this many at most.
        starts_.reserve(static_cast<std::size_t>(
            std::min(end_.entries, (end_.cdEnd - end_.cdOffset) / kCentralHeaderSize)));
        {
            RegionReader cd(source_, end_.cdOffset, end_.cdEnd, cdBuffer_);
            Entry entry;
            for (std::uint64_t i = 0; i < end_.entries; ++i) {
                ReadEntry(cd, entry);
                starts_.push_back(entry.localOffset);
            }
        }
        std::sort(starts_.begin(), starts_.end());
        // Every record holds at least a local header, so two members never
        // share a start; and each must end before the next one starts.
        if (std::adjacent_find(starts_.begin(), starts_.end()) != starts_.end()) {
            Corrupt("overlapping members");
        }
        RegionReader cd(source_, end_.cdOffset, end_.cdEnd, cdBuffer_);
        Entry entry;
        for (std::uint64_t i = 0; i < end_.entries; ++i) {
            ReadEntry(cd, entry);
            if (Validate(entry, end_) > Limit(entry.localOffset, nullptr)) {
                Corrupt("overlapping members: " + entry.rawName);
            }
        }
    }

    Source& source_;
    const EndRecord& end_;
    MemberRules& rules_;
    std::vector<unsigned char> cdBuffer_;
    std::vector<std::uint64_t> starts_;
    bool sorted_ = true;
};

class ZipReader {
  public:
    ZipReader(Source& source, Extractor& extractor)
        : source_(source), extractor_(extractor), end_(FindEnd(source, SearchFrom(source))),
          pass_(source, end_, extractor), dataBuffer_(kBufferSize), outBuffer_(kBufferSize) {}
    ~ZipReader() {
        if (inflateReady_) {
            inflateEnd(&zs_);
        }
    }

    void Run() {
        std::uint64_t space = 0;
        pass_.Run(space, nullptr);
        if (extractor_.Extracting()) {
            extractor_.CheckedWhole(space);
        }
        RegionReader cd(source_, end_.cdOffset, end_.cdEnd, pass_.Buffer());
        Entry current;
        Entry next;
        if (end_.entries > 0) {
            ReadEntry(cd, current);
        }
        for (std::uint64_t i = 0; i < end_.entries; ++i) {
            const bool last = i + 1 == end_.entries;
            if (!last) {
                ReadEntry(cd, next);
            }
            ExtractOne(current, pass_.Limit(current.localOffset, last ? nullptr : &next));
            std::swap(current, next);
        }
    }

  private:
    static std::uint64_t SearchFrom(const Source& source) {
        return source.Size() - std::min(source.Size(), kEndSearch);
    }

    void ExtractOne(const Entry& entry, std::uint64_t limit) {
        const MemberInfo member = Describe(entry, extractor_);
        std::unique_ptr<MemberWriter> writer = extractor_.Start(member);
        if (!extractor_.Extracting()) {
            return;
        }
        unsigned char h[kLocalHeaderSize];
        ReadAtExact(source_, entry.localOffset, h, sizeof h, "local header cut short");
        const std::uint32_t localFlags = ReadLE16(h + 6);
        if (ReadLE32(h) != kLocalSig || ReadLE16(h + 8) != entry.method ||
            ((localFlags ^ entry.flags) & (kFlagEncrypted | kFlagDescriptor)) != 0) {
            Corrupt("local header does not match the central directory: " + entry.rawName);
        }
        if (!(localFlags & kFlagDescriptor)) {
            const std::uint32_t crc = ReadLE32(h + 14);
            const std::uint32_t compressed = ReadLE32(h + 18);
            const std::uint32_t size = ReadLE32(h + 22);
            if (crc != entry.crc ||
                (compressed != kNoValue32 && compressed != entry.compressedSize) ||
                (size != kNoValue32 && size != entry.size)) {
                Corrupt("local header does not match the central directory: " + entry.rawName);
            }
        }
        const std::uint64_t dataStart =
            entry.localOffset + kLocalHeaderSize + ReadLE16(h + 26) + ReadLE16(h + 28);
        const std::uint64_t need = entry.compressedSize + ((localFlags & kFlagDescriptor) ? 12 : 0);
        if (dataStart > limit || limit - dataStart < need) {
            Corrupt("member data does not end where its sizes say: " + entry.rawName);
        }
        if (!writer) {
            return;
        }
        const std::uint64_t dataEnd = dataStart + entry.compressedSize;
        RegionReader data(source_, dataStart, dataEnd, dataBuffer_);
        const std::uint32_t crc =
            entry.method == 0 ? CopyStored(data, *writer, entry) : Inflate(data, *writer, entry);
        if (crc != entry.crc) {
            Corrupt("CRC mismatch: " + entry.rawName);
        }
        if (localFlags & kFlagDescriptor) {
            CheckDescriptor(entry, dataEnd, limit);
        }
        writer->Finish();
    }

    std::uint32_t CopyStored(RegionReader& data, MemberWriter& writer, const Entry& entry) {
        uLong crc = crc32(0, nullptr, 0);
        const unsigned char* chunk;
        while (std::size_t n = data.Peek(chunk, kBufferSize)) {
            crc = crc32(crc, chunk, static_cast<uInt>(n));
            writer.Write(chunk, n);
            data.Skip(n, "");
        }
        if (data.Remaining() != 0) {
            Corrupt("member data cut short: " + entry.rawName);
        }
        return static_cast<std::uint32_t>(crc);
    }

    std::uint32_t Inflate(RegionReader& data, MemberWriter& writer, const Entry& entry) {
        if (!inflateReady_) {
            if (inflateInit2(&zs_, -MAX_WBITS) != Z_OK) {
                Fail(TAR32_ERROR_INTERNAL, "cannot start inflating");
            }
            inflateReady_ = true;
        } else {
            inflateReset(&zs_);
        }
        zs_.avail_in = 0;
        uLong crc = crc32(0, nullptr, 0);
        std::uint64_t produced = 0;
        bool inputDone = false;
        for (;;) {
            if (zs_.avail_in == 0 && !inputDone) {
                const unsigned char* chunk;
                const std::size_t n = data.Peek(chunk, kBufferSize);
                if (n == 0) {
                    inputDone = true;
                } else {
                    zs_.next_in = const_cast<Bytef*>(chunk);
                    zs_.avail_in = static_cast<uInt>(n);
                    data.Skip(n, "");
                }
            }
            // One byte of room beyond the declared size shows an overrun
            // without ever writing it.
            const std::uint64_t remaining = entry.size - produced;
            const uInt room = static_cast<uInt>(remaining < outBuffer_.size() ? remaining + 1
                                                                              : outBuffer_.size());
            zs_.next_out = outBuffer_.data();
            zs_.avail_out = room;
            const int ret = inflate(&zs_, Z_NO_FLUSH);
            const std::size_t got = room - zs_.avail_out;
            if (got > remaining) {
                Corrupt("more data than declared: " + entry.rawName);
            }
            crc = crc32(crc, outBuffer_.data(), static_cast<uInt>(got));
            writer.Write(outBuffer_.data(), got);
            produced += got;
            if (ret == Z_STREAM_END) {
                break;
            }
            if (ret == Z_BUF_ERROR && inputDone && got == 0) {
                Corrupt("compressed data cut short: " + entry.rawName);
            }
            if (ret != Z_OK && ret != Z_BUF_ERROR) {
                Corrupt("bad compressed data: " + entry.rawName);
            }
        }
        if (zs_.avail_in != 0 || data.Remaining() != 0) {
            Corrupt("compressed data ends before its declared size: " + entry.rawName);
        }
        return static_cast<std::uint32_t>(crc);
    }

    // The data descriptor after the data must repeat the central directory's
    // CRC and sizes, in one of its four shapes.
    void CheckDescriptor(const Entry& entry, std::uint64_t at, std::uint64_t limit) {
        unsigned char d[24] = {};
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(24, limit - at));
        ReadAtExact(source_, at, d, n, "data descriptor cut short");
        const std::size_t skips[2] = {ReadLE32(d) == kDescriptorSig ? 4u : 0u, 0};
        for (std::size_t s : skips) {
            if (s + 12 <= n && ReadLE32(d + s) == entry.crc &&
                ReadLE32(d + s + 4) == static_cast<std::uint32_t>(entry.compressedSize) &&
                ReadLE32(d + s + 8) == static_cast<std::uint32_t>(entry.size)) {
                return;
            }
            if (s + 20 <= n && ReadLE32(d + s) == entry.crc &&
                ReadLE64(d + s + 4) == entry.compressedSize && ReadLE64(d + s + 12) == entry.size) {
                return;
            }
        }
        Corrupt("data descriptor does not match the central directory: " + entry.rawName);
    }

    Source& source_;
    Extractor& extractor_;
    EndRecord end_;
    DirectoryPass pass_;
    std::vector<unsigned char> dataBuffer_;
    std::vector<unsigned char> outBuffer_;
    z_stream zs_{};
    bool inflateReady_ = false;
};

} // namespace

void ExtractZip(Source& source, Extractor& extractor) {
    ZipReader reader(source, extractor);
    reader.Run();
}

namespace {

static_assert(static_cast<int>(ZipMember::Special) == static_cast<int>(MemberInfo::Special),
              "a listed member's type is the extraction's");

// The tail as the archive: what lies before it cannot be read.
class TailSource : public Source {
  public:
    explicit TailSource(const ZipTail& tail) : tail_(tail) {}
    std::uint64_t Size() const override { return tail_.archiveSize; }
    std::size_t ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
        if (offset < tail_.Start() || offset >= tail_.archiveSize) {
            return 0;
        }
        const std::size_t at = static_cast<std::size_t>(offset - tail_.Start());
        const std::size_t n = std::min(size, tail_.size - at);
        std::memcpy(data, tail_.bytes + at, n);
        return n;
    }
    bool IsSameFile(const std::string&) const override { return false; }

  private:
    const ZipTail& tail_;
};

// The extraction's rules for an unpacking without folders.
class ListingRules : public MemberRules {
  public:
    explicit ListingRules(const Utf8Converter& toShiftJis) : toShiftJis_(toShiftJis) {}
    std::string FromUtf8(const std::string& utf8) override {
        std::string sjis;
        if (!toShiftJis_ || !toShiftJis_(utf8, sjis)) {
            Fail(TAR32_ERROR_UNSAFE_NAME, "name not representable in Shift-JIS: " + utf8);
        }
        return sjis;
    }
    void Check(const MemberInfo& member) const override {
        if (member.type == MemberInfo::File) {
            SafeOutputPath(member.name, false);
        }
    }

  private:
    const Utf8Converter& toShiftJis_;
};

void CheckTail(const ZipTail& tail) {
    if (tail.bytes == nullptr || tail.size > tail.archiveSize) {
        Corrupt("no end of central directory (truncated?)");
    }
}

} // namespace

ZipEnd ReadZipEnd(const ZipTail& tail) {
    CheckTail(tail);
    TailSource source(tail);
    const EndRecord record = FindEnd(source, tail.Start());
    ZipEnd end;
    end.entries = record.entries;
    end.directoryOffset = record.cdOffset;
    end.directoryEnd = record.cdEnd;
    return end;
}

std::vector<ZipMember> ListZipDirectory(const ZipTail& tail, const Utf8Converter& toShiftJis) {
    CheckTail(tail);
    TailSource source(tail);
    const EndRecord end = FindEnd(source, tail.Start());
    if (end.cdOffset < tail.Start()) {
        Corrupt("the central directory begins before the bytes held");
    }
    // Every record takes at least its fixed part: a count beyond that is a lie,
    // and the bytes held bound what is kept.
    if (end.entries > (end.cdEnd - end.cdOffset) / kCentralHeaderSize) {
        Corrupt("more entries than the central directory can hold");
    }
    std::vector<ZipMember> members;
    members.reserve(static_cast<std::size_t>(end.entries));
    ListingRules rules(toShiftJis);
    DirectoryPass pass(source, end, rules);
    std::uint64_t space = 0;
    std::uint64_t firstStart = end.cdOffset;
    pass.Run(space, [&members, &firstStart](const Entry& entry, const MemberInfo& info) {
        firstStart = std::min(firstStart, entry.localOffset);
        ZipMember member;
        member.type = static_cast<ZipMember::Type>(info.type);
        member.name = info.name;
        if (info.type == MemberInfo::File) {
            member.bareName = SafeOutputPath(info.name, false).back();
        }
        member.size = info.size;
        member.time = info.time;
        member.localOffset = entry.localOffset;
        member.compressedSize = entry.compressedSize;
        member.recordOffset = entry.recordOffset;
        member.recordSize = static_cast<std::uint32_t>(entry.recordSize);
        members.push_back(std::move(member));
    });
    // The extraction takes a ZIP only when it begins with a member (or, when
    // empty, with its end record).
    if (firstStart != 0) {
        Corrupt("the archive does not begin with its first member");
    }
    return members;
}

} // namespace tar32
