#pragma once

#include <array>
#include <cstdint>

namespace tellvane {

// One CAN message as it passes between the link, the monitor and the board
// protocol. The identifier is the bare 29-bit value for received messages and
// the value as sent (bit 31 set) for the tool's own messages.
struct CanMessage {
    std::int32_t id = 0;
    double time = 0.0;  // seconds; 0 for sent messages, a replayed one has its line's
    std::uint8_t length = 0;  // 0 to 8
    std::array<std::uint8_t, 9> data{};
};

namespace can {
inline constexpr std::uint32_t kExtendedFrame = 0x80000000u;
inline constexpr std::uint8_t kToolAddress = 0xF9;
}  // namespace can

}  // namespace tellvane
