#pragma once

#include "can/Adapter.h"
#include "can/CanMessage.h"

#include <cstdint>
#include <optional>

namespace tellvane {

// The 21-byte record of a received message:
//   byte 0        record length; data length + 10 when a time stamp follows the data
//   byte 1        bits 0-3: data length; bit 7: an 11-bit identifier (set by
//                 the backends that can tell, never by the vendor's library)
//   byte 2        adapter status; 0x20: the adapter's receive buffer overflowed
//   bytes 3-6     identifier, most significant byte first
//   bytes 7..     data, then the 24-bit time stamp (8 us ticks, MSB first)
namespace record {
inline constexpr std::uint8_t kStatusOverflow = 0x20;
inline constexpr std::uint8_t kStandardFrame = 0x80;
inline constexpr std::uint32_t kTimeStampMask = 0xFFFFFF;
}  // namespace record

// Seconds of a 24-bit count of 8 us ticks given as its three bytes.
double timeStampSeconds(std::uint8_t t0, std::uint8_t t1, std::uint8_t t2);

// The record's time stamp in microseconds since its 24-bit count last began;
// none when no time stamp follows the data.
std::optional<std::int64_t> recordTimeStampUs(const Adapter::Record& r);

inline bool recordOverflowFlag(const Adapter::Record& r) { return (r[2] & record::kStatusOverflow) != 0; }

// The message in a record. Throws Failure(Overflow) for an identifier whose top
// byte is 0x80 or more, Failure(SubscriptOutOfRange) for a data length above 8.
CanMessage decodeRecord(const Adapter::Record& r);

// The record a backend hands out for a message; without ticks no time stamp follows.
Adapter::Record encodeRecord(std::uint32_t id, std::uint8_t length, const std::uint8_t* data,
                             std::uint8_t status, std::optional<std::uint32_t> ticks, bool standard = false);

}  // namespace tellvane
