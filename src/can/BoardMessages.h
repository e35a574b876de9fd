#pragma once

#include "can/CanMessage.h"

#include <QString>

#include <cstdint>

namespace tellvane {

// The board messages on the bus. Identifiers without the extended-frame bit;
// the tool sends with it set.
//
//   board request   tool -> all    18EAFFF9            00 EE 00 (address claim, LSB first)
//   announcement    board -> all   18EFFF00 + address  FF, then type and serial
//   P-code request  tool -> board  18EF00F9 + addr<<8  05
//   P-code reply    board -> tool  18EFF900 + address  05, P-code (4 bytes, MSB first)
//   diagnostic on   tool -> board  18EF00F9 + addr<<8  FE '$' '1' 'X' '1'
//   diagnostic off  tool -> board  18EF00F9 + addr<<8  FE '$' '1' 'X' '0'
//   diagnostic data board -> all   18EFFF00 + address  anything
namespace board {
inline constexpr std::uint32_t kRequestToAll = 0x18EAFFF9u;
inline constexpr std::uint32_t kToAllGroup = 0x18EFFF00u;
inline constexpr std::uint32_t kToToolGroup = 0x18EFF900u;
inline constexpr std::uint32_t kToBoardBase = 0x18EF00F9u;
inline constexpr std::uint8_t kAnnounce = 0xFF;
inline constexpr std::uint8_t kPCode = 0x05;
inline constexpr std::uint8_t kText = 0xFE;
inline constexpr int kConflictAddress = 254;

inline std::uint32_t group(std::int32_t id) { return static_cast<std::uint32_t>(id) & 0xFFFFFF00u; }
inline int sender(std::int32_t id) { return static_cast<int>(static_cast<std::uint32_t>(id) & 0xFF); }
inline std::uint32_t toBoard(int address) { return kToBoardBase + static_cast<std::uint32_t>(address & 0xFF) * 256u; }

// The 12-bit board type and the 30-bit serial number of an announcement.
int announcedType(const CanMessage& m);
std::int32_t announcedSerial(const CanMessage& m);

// The P-code of a reply (bytes 1 to 4, most significant first).
std::uint32_t pCodeValue(const CanMessage& m);
// Its text: decimal with at least eight digits; style = first four, variant = last four.
QString pCodeText(std::uint32_t value);
inline QString styleOf(const QString& pCode) { return pCode.left(4); }
inline QString variantOf(const QString& pCode) { return pCode.right(4); }
}  // namespace board

}  // namespace tellvane
