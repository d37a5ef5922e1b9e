// A body that begins as an archive must end as one: ZIP end records (ZIP64
// included) and gzip trailers, whole and cut.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>

#include "engine/ArchiveEnds.h"

namespace {

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, unsigned long value) {
    Put16(out, value & 0xFFFF);
    Put16(out, (value >> 16) & 0xFFFF);
}
void Put64(std::string& out, unsigned long long value) {
    Put32(out, value & 0xFFFFFFFF);
    Put32(out, value >> 32);
}

// A stored ZIP of one member; zip64 writes its end as ZIP64 does.
std::string Zip(const std::string& comment = "", bool zip64 = false) {
    const std::string name = "a.txt", data = "some member data";
    std::string zip = "PK\x03\x04";
    Put16(zip, 20), Put16(zip, 0), Put16(zip, 0), Put32(zip, 0), Put32(zip, 0);
    Put32(zip, data.size()), Put32(zip, data.size()), Put16(zip, name.size()), Put16(zip, 0);
    zip += name + data;
    const std::size_t directoryAt = zip.size();
    zip += "PK\x01\x02";
    Put16(zip, 20), Put16(zip, 20), Put16(zip, 0), Put16(zip, 0), Put32(zip, 0), Put32(zip, 0);
    Put32(zip, data.size()), Put32(zip, data.size()), Put16(zip, name.size());
    Put16(zip, 0), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0), Put32(zip, 0), Put32(zip, 0);
    zip += name;
    const std::size_t directorySize = zip.size() - directoryAt;
    if (zip64) {
        const std::size_t recordAt = zip.size();
        zip += "PK\x06\x06";
        Put64(zip, 44), Put16(zip, 45), Put16(zip, 45), Put32(zip, 0), Put32(zip, 0);
        Put64(zip, 1), Put64(zip, 1), Put64(zip, directorySize), Put64(zip, directoryAt);
        zip += "PK\x06\x07";
        Put32(zip, 0), Put64(zip, recordAt), Put32(zip, 1);
    }
    zip += "PK\x05\x06";
    Put16(zip, 0), Put16(zip, 0);
    Put16(zip, zip64 ? 0xFFFF : 1), Put16(zip, zip64 ? 0xFFFF : 1);
    Put32(zip, zip64 ? 0xFFFFFFFF : directorySize), Put32(zip, zip64 ? 0xFFFFFFFF : directoryAt);
    Put16(zip, comment.size());
    return zip + comment;
}

std::string Gzip(const std::string& text) {
    z_stream stream = {};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

bool EndsWhole(const std::string& body) {
    return ArchiveEndsWhole(body.size(),
                            [&body](unsigned long long offset, void* buffer, std::size_t size) {
                                if (offset > body.size() || size > body.size() - offset)
                                    return false;
                                std::memcpy(buffer, body.data() + offset, size);
                                return true;
                            });
}

std::string Cut(const std::string& body, std::size_t bytes) {
    return body.substr(0, body.size() - bytes);
}

TEST(ArchiveEndsWhole, WholeArchivesAndBodiesThatAreNone) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += static_cast<char>('a' + i * 7 % 26);
    const std::string gzip = Gzip(text);
    std::string emptyZip = "PK\x05\x06";
    emptyZip.append(18, '\0');
    const std::pair<const char*, std::string> cases[] = {
        {"ZIP", Zip()},
        {"ZIP with a comment", Zip("a comment PK\x05\x06 with a signature in it")},
        {"ZIP64", Zip("", true)},
        {"empty ZIP", emptyZip},
        {"gzip", gzip},
        {"two gzip members", gzip + Gzip("second")},
        {"gzip with padding after it", gzip + std::string(512, '\0')},
        {"no archive", "<html>a page</html>"},
        {"empty", ""},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(EndsWhole(c.second)) << c.first;
}

TEST(ArchiveEndsWhole, CutOrInconsistentEndsAreNotWhole) {
    std::string text(50000, 'x');
    for (std::size_t i = 0; i < text.size(); i += 3)
        text[i] = static_cast<char>(i * 13);
    const std::string gzip = Gzip(text);
    std::string corruptCrc = gzip;
    corruptCrc[corruptCrc.size() - 8] ^= 1;
    std::string directoryBeyond = Zip();
    directoryBeyond[directoryBeyond.size() - 6] = '\x7F'; // its offset past the end record
    std::string zip64LocatorLost = Zip("", true);
    zip64LocatorLost[zip64LocatorLost.size() - 22 - 20] = 'X';
    const std::pair<const char*, std::string> cases[] = {
        {"ZIP cut in its directory", Cut(Zip(), 40)},
        {"ZIP cut in its end record", Cut(Zip(), 1)},
        {"ZIP cut in its comment", Cut(Zip("comment"), 3)},
        {"ZIP that is a local header only", "PK\x03\x04"},
        {"ZIP whose directory lies beyond its end record", directoryBeyond},
        {"ZIP64 without its locator", zip64LocatorLost},
        {"gzip cut in its trailer", Cut(gzip, 1)},
        {"gzip cut in its data", gzip.substr(0, gzip.size() / 2)},
        {"gzip with a wrong CRC", corruptCrc},
        {"second gzip member cut", gzip + Cut(Gzip(text), 10)},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(EndsWhole(c.second)) << c.first;
}

} // namespace
