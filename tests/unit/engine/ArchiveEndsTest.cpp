// A body that begins as an archive must end as one: ZIP end records (ZIP64
// included) and gzip trailers, whole and cut.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>

#include "engine/ArchiveEnds.h"

namespace {

// Each value, little-endian, in `bytes` bytes.
void Put(std::string& out, int bytes, std::initializer_list<unsigned long long> values) {
    for (unsigned long long value : values)
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A stored ZIP of one member; zip64 writes its end as ZIP64 does.
std::string Zip(const std::string& comment = "", bool zip64 = false) {
    const std::string name = "a.txt", data = "some member data";
    std::string zip = "PK\x03\x04";
    Put(zip, 2, {20, 0, 0}), Put(zip, 4, {0, 0, data.size(), data.size()});
    Put(zip, 2, {name.size(), 0});
    zip += name + data;
    const std::size_t directoryAt = zip.size();
    zip += "PK\x01\x02";
    Put(zip, 2, {20, 20, 0, 0}), Put(zip, 4, {0, 0, data.size(), data.size()});
    Put(zip, 2, {name.size(), 0, 0, 0, 0}), Put(zip, 4, {0, 0});
    zip += name;
    const std::size_t directorySize = zip.size() - directoryAt;
    if (zip64) {
        const std::size_t recordAt = zip.size();
        zip += "PK\x06\x06";
        Put(zip, 8, {44}), Put(zip, 2, {45, 45}), Put(zip, 4, {0, 0});
        Put(zip, 8, {1, 1, directorySize, directoryAt});
        zip += "PK\x06\x07";
        Put(zip, 4, {0}), Put(zip, 8, {recordAt}), Put(zip, 4, {1});
    }
    zip += "PK\x05\x06";
    Put(zip, 2, {0, 0, zip64 ? 0xFFFFu : 1u, zip64 ? 0xFFFFu : 1u});
    Put(zip, 4, {zip64 ? 0xFFFFFFFFu : directorySize, zip64 ? 0xFFFFFFFFu : directoryAt});
    Put(zip, 2, {comment.size()});
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
