// tar and gzip-compressed tar, read as one stream of 512-byte blocks.
#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "tar32/Extractor.h"
#include "tar32/Names.h"
#include "text/ShiftJis.h"

namespace tar32 {
namespace {

constexpr std::size_t kBlock = 512;
// Bounds for the headers that are read whole into memory.
constexpr std::uint64_t kMaxLongName = 64 * 1024;
constexpr std::uint64_t kMaxPaxHeader = 1024 * 1024;

[[noreturn]] void Corrupt(const std::string& why) {
    Fail(TAR32_ERROR_CORRUPT, why);
}

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // Up to size bytes; 0 only at the end.
    virtual std::size_t Read(void* data, std::size_t size) = 0;
};

class PlainStream : public ByteStream {
  public:
    PlainStream(Source& source, std::vector<unsigned char>& buffer)
        : reader_(source, 0, source.Size(), buffer) {}
    std::size_t Read(void* data, std::size_t size) override { return reader_.Read(data, size); }

  private:
    RegionReader reader_;
};

class GzipStream : public ByteStream {
  public:
    GzipStream(Source& source, std::vector<unsigned char>& buffer)
        : reader_(source, 0, source.Size(), buffer) {
        if (inflateInit2(&zs_, 16 + MAX_WBITS) != Z_OK) {
            Fail(TAR32_ERROR_INTERNAL, "cannot start inflating");
        }
    }
    ~GzipStream() override { inflateEnd(&zs_); }

    std::size_t Read(void* data, std::size_t size) override {
        zs_.next_out = static_cast<Bytef*>(data);
        zs_.avail_out = static_cast<uInt>(size);
        while (zs_.avail_out > 0 && !ended_) {
            if (zs_.avail_in == 0 && !NextInput()) {
                Corrupt("gzip data cut short");
            }
            const uInt before = zs_.avail_out;
            const int ret = inflate(&zs_, Z_NO_FLUSH);
            if (ret == Z_STREAM_END) {
                AfterMember();
            } else if (ret == Z_BUF_ERROR && zs_.avail_in == 0 && zs_.avail_out == before) {
                continue; // wants more input
            } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
                Corrupt("bad gzip data");
            }
        }
        return size - zs_.avail_out;
    }

  private:
    bool NextInput() {
        const unsigned char* chunk;
        const std::size_t n = reader_.Peek(chunk, kBufferSize);
        if (n == 0) {
            return false;
        }
        zs_.next_in = const_cast<Bytef*>(chunk);
        zs_.avail_in = static_cast<uInt>(n);
        reader_.Skip(n, "");
        return true;
    }

    // Another gzip member may follow (concatenated files); zero padding may
    // end the file; anything else is damage.
    void AfterMember() {
        for (;;) {
            if (zs_.avail_in == 0 && !NextInput()) {
                ended_ = true;
                return;
            }
            if (zs_.next_in[0] == 0x1F) {
                inflateReset(&zs_);
                return;
            }
            if (zs_.next_in[0] != 0) {
                Corrupt("data after the gzip stream");
            }
            ++zs_.next_in;
            --zs_.avail_in;
        }
    }

    RegionReader reader_;
    z_stream zs_{};
    bool ended_ = false;
};

void ReadFull(ByteStream& stream, unsigned char* data, std::size_t size, const char* what) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n = stream.Read(data + done, size - done);
        if (n == 0) {
            Corrupt(what);
        }
        done += n;
    }
}

// An octal number, or the base-256 form for values that do not fit.
std::int64_t ParseNumber(const unsigned char* field, std::size_t size, const char* what) {
    if (field[0] & 0x80) {
        if (field[0] & 0x40) {
            Corrupt(std::string("negative number in a tar header: ") + what);
        }
        std::uint64_t value = field[0] & 0x3F;
        for (std::size_t i = 1; i < size; ++i) {
            if (value >> 55) {
                Corrupt(std::string("number too large in a tar header: ") + what);
            }
            value = (value << 8) | field[i];
        }
        if (value >> 62) {
            Corrupt(std::string("number too large in a tar header: ") + what);
        }
        return static_cast<std::int64_t>(value);
    }
    std::size_t i = 0;
    while (i < size && (field[i] == ' ' || field[i] == '\0')) {
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = value * 8 + (field[i] - '0');
    }
    for (; i < size; ++i) {
        if (field[i] != ' ' && field[i] != '\0') {
            Corrupt(std::string("bad number in a tar header: ") + what);
        }
    }
    return static_cast<std::int64_t>(value);
}

std::string CString(const unsigned char* field, std::size_t size) {
    const unsigned char* end = std::find(field, field + size, 0);
    return std::string(reinterpret_cast<const char*>(field), end - field);
}

// What a pax extended header says about the member after it.
struct PaxValues {
    bool hasPath = false;
    std::string path;    // UTF-8, unless binary
    bool binary = false; // hdrcharset=BINARY: the path is raw bytes (Shift-JIS here)
    bool hasTime = false;
    FileTime time;
    bool hasSize = false;
    std::uint64_t size = 0;
};

bool ParseDecimal(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

FileTime ParsePaxTime(const std::string& text) {
    std::string whole = text;
    std::string fraction;
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos) {
        whole = text.substr(0, dot);
        fraction = text.substr(dot + 1);
    }
    const bool negative = !whole.empty() && whole[0] == '-';
    if (negative) {
        whole.erase(0, 1);
    }
    std::uint64_t seconds;
    if (!ParseDecimal(whole, seconds) || seconds > (1ull << 40)) {
        Corrupt("bad pax mtime: " + text);
    }
    std::int64_t ticks = 0;
    for (std::size_t i = 0; i < 7; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') {
            Corrupt("bad pax mtime: " + text);
        }
        ticks = ticks * 10 + (c - '0');
    }
    const std::int64_t s = static_cast<std::int64_t>(seconds);
    // -1.5 is 1.5 seconds before the epoch.
    return negative ? FromUnixSeconds(-s, -ticks) : FromUnixSeconds(s, ticks);
}

void ParsePax(const std::string& data, PaxValues& pax, bool global) {
    for (std::size_t pos = 0; pos < data.size();) {
        const std::size_t space = data.find(' ', pos);
        std::uint64_t length;
        if (space == std::string::npos || !ParseDecimal(data.substr(pos, space - pos), length) ||
            length > data.size() - pos || length < space - pos + 3 ||
            data[pos + length - 1] != '\n') {
            Corrupt("bad pax header");
        }
        const std::string record = data.substr(space + 1, pos + length - 1 - space - 1);
        const std::size_t eq = record.find('=');
        if (eq == std::string::npos) {
            Corrupt("bad pax header");
        }
        const std::string key = record.substr(0, eq);
        const std::string value = record.substr(eq + 1);
        if (key.compare(0, 11, "GNU.sparse.") == 0) {
            Fail(TAR32_ERROR_UNSUPPORTED, "sparse file");
        }
        if (!global) {
            if (key == "path") {
                pax.hasPath = true;
                pax.path = value;
            } else if (key == "hdrcharset") {
                pax.binary = value == "BINARY";
            } else if (key == "mtime") {
                pax.hasTime = true;
                pax.time = ParsePaxTime(value);
            } else if (key == "size") {
                if (!ParseDecimal(value, pax.size)) {
                    Corrupt("bad pax size: " + value);
                }
                pax.hasSize = true;
            }
        }
        pos += length;
    }
}

bool AllZero(const unsigned char* data, std::size_t size) {
    return std::all_of(data, data + size, [](unsigned char c) { return c == 0; });
}

std::uint64_t Padding(std::uint64_t size) {
    return (kBlock - size % kBlock) % kBlock;
}

class TarReader {
  public:
    // maxData: the most member data the stream can hold.
    TarReader(ByteStream& stream, Extractor& extractor, std::uint64_t maxData)
        : stream_(stream), extractor_(extractor), maxData_(maxData), data_(kBufferSize) {}

    void Run() {
        unsigned char h[kBlock];
        bool first = true;
        int zeroBlocks = 0;
        for (;;) {
            const std::size_t n = ReadBlock(h);
            if (n < kBlock && first) {
                Fail(TAR32_ERROR_FORMAT, "not a tar archive (too short)");
            }
            if (n < kBlock) {
                Corrupt("tar archive cut short (no end-of-archive blocks)");
            }
            if (AllZero(h, kBlock)) {
                if (++zeroBlocks == 2) {
                    break;
                }
                continue;
            }
            zeroBlocks = 0;
            if (!TarChecksumValid(h)) {
                if (first) {
                    Fail(TAR32_ERROR_FORMAT, "not a tar archive");
                }
                Corrupt("bad tar header checksum");
            }
            first = false;
            Member(h);
        }
        if (havePax_ || haveLongName_) {
            Corrupt("tar archive ends after an extended header");
        }
        // Only zero padding may follow, as tar programs fill a whole record;
        // read to the end, so that a gzip stream's CRC and length are checked.
        for (std::size_t n; (n = stream_.Read(data_.data(), data_.size())) > 0;) {
            if (!AllZero(data_.data(), n)) {
                Corrupt("data after the end of the tar archive");
            }
        }
    }

  private:
    std::size_t ReadBlock(unsigned char* block) {
        std::size_t done = 0;
        while (done < kBlock) {
            const std::size_t n = stream_.Read(block + done, kBlock - done);
            if (n == 0) {
                break;
            }
            done += n;
        }
        return done;
    }

    std::string ReadSmall(std::uint64_t size, std::uint64_t max, const char* what) {
        if (size > max) {
            Fail(TAR32_ERROR_UNSUPPORTED, std::string(what) + " too large");
        }
        std::string text(static_cast<std::size_t>(size), '\0');
        ReadFull(stream_, reinterpret_cast<unsigned char*>(&text[0]), text.size(),
                 "tar archive cut short");
        SkipData(Padding(size), nullptr);
        return text;
    }

    // Reads size bytes of member data, handing them to the writer if any.
    void SkipData(std::uint64_t size, MemberWriter* writer) {
        while (size > 0) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(size, data_.size()));
            ReadFull(stream_, data_.data(), n, "tar archive cut short");
            if (writer) {
                writer->Write(data_.data(), n);
            }
            size -= n;
        }
    }

    void Member(const unsigned char* h) {
        const char type = static_cast<char>(h[156]);
        std::int64_t headerSize = ParseNumber(h + 124, 12, "size");
        if (headerSize < 0) {
            Corrupt("negative size in a tar header");
        }
        // A pax size is the next file's; an extended header between keeps its own.
        const bool extended = type == 'x' || type == 'g' || type == 'L' || type == 'K';
        const std::uint64_t size = havePax_ && pax_.hasSize && !extended
                                       ? pax_.size
                                       : static_cast<std::uint64_t>(headerSize);
        if (size > maxData_) {
            Corrupt("tar archive cut short (a member larger than the archive)");
        }
        switch (type) {
        case 'x':
            pax_ = PaxValues();
            ParsePax(ReadSmall(size, kMaxPaxHeader, "pax header"), pax_, false);
            havePax_ = true;
            return;
        case 'g': {
            PaxValues ignored;
            ParsePax(ReadSmall(size, kMaxPaxHeader, "pax header"), ignored, true);
            return;
        }
        case 'L': {
            const std::string name = ReadSmall(size, kMaxLongName, "long name");
            longName_ = name.substr(0, name.find('\0'));
            haveLongName_ = true;
            return;
        }
        case 'K':
            ReadSmall(size, kMaxLongName, "long link name");
            return;
        default:
            break;
        }

        MemberInfo member;
        switch (type) {
        case '0':
        case '\0':
        case '7':
            member.type = MemberInfo::File;
            break;
        case '5':
            member.type = MemberInfo::Folder;
            break;
        case '1':
        case '2':
            member.type = MemberInfo::Link;
            break;
        case '3':
        case '4':
        case '6':
        case 'V':
            member.type = MemberInfo::Special;
            break;
        case 'S':
            Fail(TAR32_ERROR_UNSUPPORTED, "sparse file");
        case 'M':
            Fail(TAR32_ERROR_UNSUPPORTED, "multi-volume archive");
        default:
            Fail(TAR32_ERROR_UNSUPPORTED, std::string("unknown tar member type ") + type);
        }
        if (havePax_ && pax_.hasPath) {
            member.name = pax_.binary ? pax_.path : extractor_.FromUtf8(pax_.path);
        } else if (haveLongName_) {
            member.name = longName_;
        } else {
            member.name = CString(h, 100);
            const bool posix = std::memcmp(h + 257, "ustar\0", 6) == 0;
            const std::string prefix = posix ? CString(h + 345, 155) : std::string();
            if (!prefix.empty()) {
                member.name = prefix + "/" + member.name;
            }
        }
        if (member.type == MemberInfo::File && sjis::EndsWithChar(member.name, '/')) {
            member.type = MemberInfo::Folder; // old tar programs mark folders so
        }
        if (havePax_ && pax_.hasTime) {
            member.time = pax_.time;
        } else {
            member.time = FromUnixSeconds(ParseNumber(h + 136, 12, "mtime"));
        }
        havePax_ = false;
        haveLongName_ = false;
        pax_ = PaxValues();
        longName_.clear();

        // Only a regular file's data is written; everything else is stepped over.
        member.size = member.type == MemberInfo::File ? size : 0;
        std::unique_ptr<MemberWriter> writer = extractor_.Start(member);
        SkipData(size, writer.get());
        SkipData(Padding(size), nullptr);
        if (writer) {
            writer->Finish();
        }
    }

    ByteStream& stream_;
    Extractor& extractor_;
    std::uint64_t maxData_;
    std::vector<unsigned char> data_;
    PaxValues pax_;
    bool havePax_ = false;
    std::string longName_;
    bool haveLongName_ = false;
};

} // namespace

bool TarChecksumValid(const unsigned char* block) {
    const unsigned char* field = block + 148;
    std::size_t i = 0;
    while (i < 8 && field[i] == ' ') {
        ++i;
    }
    const std::size_t digitsStart = i;
    std::uint32_t stored = 0;
    for (; i < 8 && field[i] >= '0' && field[i] <= '7'; ++i) {
        stored = stored * 8 + (field[i] - '0');
    }
    if (i == digitsStart || (i < 8 && field[i] != ' ' && field[i] != '\0')) {
        return false;
    }
    // Old programs summed signed bytes; accept either sum.
    std::uint32_t unsignedSum = 0;
    std::int32_t signedSum = 0;
    for (std::size_t k = 0; k < kBlock; ++k) {
        const unsigned char c = (k >= 148 && k < 156) ? ' ' : block[k];
        unsignedSum += c;
        signedSum += static_cast<signed char>(c);
    }
    return stored == unsignedSum || static_cast<std::int32_t>(stored) == signedSum;
}

void ExtractTar(Source& source, Extractor& extractor, bool gzip) {
    std::vector<unsigned char> buffer(kBufferSize);
    if (gzip) {
        // The gzip trailer is the only check of the bytes of a member: the
        // whole stream is proved before a member is written.
        if (extractor.Extracting()) {
            GzipStream check(source, buffer);
            std::vector<unsigned char> discard(kBufferSize);
            while (check.Read(discard.data(), discard.size()) > 0) {
            }
        }
        const std::uint64_t maxData = source.Size() > ~std::uint64_t(0) / kMaxDeflateRatio
                                          ? ~std::uint64_t(0)
                                          : source.Size() * kMaxDeflateRatio;
        GzipStream stream(source, buffer);
        TarReader(stream, extractor, maxData).Run();
    } else {
        PlainStream stream(source, buffer);
        TarReader(stream, extractor, source.Size()).Run();
    }
}

} // namespace tar32
