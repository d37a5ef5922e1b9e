#include "tests/support/ZipBuilder.h"

namespace {

unsigned long Crc32(const std::string& bytes) {
    unsigned long crc = 0xFFFFFFFFUL;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1UL)));
    }
    return crc ^ 0xFFFFFFFFUL;
}

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned long value) {
    Put16(out, static_cast<unsigned>(value & 0xFFFF));
    Put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

// The fields a member's local header and its directory record share, from
// the version needed to the extra field's length.
void PutCommon(std::string& out, unsigned short time, unsigned short date, unsigned long crc,
               std::size_t size, std::size_t nameSize) {
    Put16(out, 20); // needed
    Put16(out, 0);  // flags
    Put16(out, 0);  // stored
    Put16(out, time);
    Put16(out, date);
    Put32(out, crc);
    Put32(out, size);
    Put32(out, size);
    Put16(out, static_cast<unsigned>(nameSize));
    Put16(out, 0); // extra
}

} // namespace

ZipBuilder& ZipBuilder::Add(const std::string& name, const std::string& bytes, LocalTime t) {
    Member m;
    m.name = name;
    m.bytes = bytes;
    m.time = static_cast<unsigned short>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
    m.date = static_cast<unsigned short>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
    m.crc = Crc32(bytes);
    m.offset = data_.size();
    Put32(data_, 0x04034b50UL);
    PutCommon(data_, m.time, m.date, m.crc, bytes.size(), name.size());
    data_ += name;
    data_ += bytes;
    members_.push_back(m);
    return *this;
}

std::string ZipBuilder::Bytes() const {
    std::string out = data_;
    const std::size_t directory = out.size();
    for (const Member& m : members_) {
        Put32(out, 0x02014b50UL);
        Put16(out, 20); // made by
        PutCommon(out, m.time, m.date, m.crc, m.bytes.size(), m.name.size());
        Put16(out, 0); // comment
        Put16(out, 0); // disk
        Put16(out, 0); // internal attributes
        Put32(out, 0); // external attributes
        Put32(out, m.offset);
        out += m.name;
    }
    const std::size_t size = out.size() - directory;
    Put32(out, 0x06054b50UL);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(members_.size()));
    Put16(out, static_cast<unsigned>(members_.size()));
    Put32(out, size);
    Put32(out, directory);
    Put16(out, 0);
    return out;
}
