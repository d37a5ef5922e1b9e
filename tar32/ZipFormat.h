#pragma once
// The ZIP format's record signatures and fixed sizes, for the reader and the
// writer of partial archives alike.
#include <cstdint>

namespace tar32 {

constexpr std::uint32_t kLocalSig = 0x04034B50;
constexpr std::uint32_t kCentralSig = 0x02014B50;
constexpr std::uint32_t kEndSig = 0x06054B50;
constexpr std::uint32_t kZip64EndSig = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
constexpr std::uint32_t kDescriptorSig = 0x08074B50;
constexpr std::uint64_t kLocalHeaderSize = 30;
constexpr std::uint64_t kCentralHeaderSize = 46;
// A 32-bit field that says its value is in the ZIP64 extra field.
constexpr std::uint32_t kNoValue32 = 0xFFFFFFFF;

} // namespace tar32
