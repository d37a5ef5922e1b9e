#pragma once
// Small ZIP archives made from bytes, for tests that serve or unpack one.
#include <cstddef>
#include <string>
#include <vector>

// Builds a stored (uncompressed) ZIP archive in memory. Times are written as
// DOS date and time, that is local time at two-second resolution, and no
// other time field, so that an unpacked file's time is exactly the one given.
class ZipBuilder {
  public:
    struct LocalTime {
        int year, month, day, hour, minute, second; // second even
    };
    ZipBuilder& Add(const std::string& name, const std::string& bytes, LocalTime time);
    std::string Bytes() const;

  private:
    struct Member {
        std::string name, bytes;
        unsigned short time, date;
        unsigned long crc;
        std::size_t offset;
    };
    std::vector<Member> members_;
    std::string data_;
};
