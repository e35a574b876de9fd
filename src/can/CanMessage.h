#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tellvane {

// The size of a message's data buffer: nine bytes (indices 0 to 8) for at
// most eight data bytes. The buffer has always had this size, and decoding
// depends on it: a word, long or bit field that starts in byte 7 reads the
// spare byte 8 (zero unless the receive path set it) instead of failing, and
// only a field that runs past byte 8 is refused.
inline constexpr std::size_t kCanDataSize = 9;

// One CAN message as it passes between the link, the monitor and the board
// protocol. The identifier is the bare 29-bit value for received messages and
// the value as sent (bit 31 set) for the tool's own messages.
struct CanMessage {
    std::int32_t id = 0;
    double time = 0.0;  // the adapter's seconds, as the monitor shows them; 0 for sent messages, a replayed one has its line's
    std::uint8_t length = 0;  // 0 to 8
    std::array<std::uint8_t, kCanDataSize> data{};

    // Where the message lies on the program's time line (SessionTime), given
    // once where it enters the program: microseconds, -1 until then.
    std::int64_t sessionUs = -1;
    // The time line it belongs to. 0: the bus, whose time is sessionUs.
    // k > 0: the k-th log played into the program (replayed from the bus
    // trace, or stepped through in the monitor's file mode), whose frames keep
    // that log's times, counted on past the adapter's restarts, in `time`.
    std::uint16_t line = 0;
    // An 11-bit identifier, received from a backend that tells (Qt's CAN bus
    // plugins) or brought by a replayed log.
    bool standard = false;
};

// A frame's time on its own time line, in microseconds.
struct LineTime {
    std::uint16_t line = 0;
    std::int64_t us = 0;
    bool operator==(const LineTime&) const = default;
};

namespace can {
inline constexpr std::uint32_t kExtendedFrame = 0x80000000u;
inline constexpr std::uint8_t kToolAddress = 0xF9;
}  // namespace can

}  // namespace tellvane
