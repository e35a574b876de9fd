#pragma once

#include <array>
#include <cstdint>

namespace tellvane {

struct CanMessage;

// One frame as the bus trace, its logs and its replay keep it: small enough
// that a ring of a million takes 24 MB.
struct TraceFrame {
    enum Flag : std::uint8_t {
        Extended = 1,  // a 29-bit identifier
        Sent = 2,      // sent by the tool (else received)
        Remote = 4,    // a remote request: no data
        Error = 8,     // an error frame as a log records it
    };

    std::int64_t timeUs = 0;  // on its time line: the session's, or a log's
    std::uint32_t id = 0;     // 11 or 29 bits, nothing else
    std::uint8_t length = 0;  // 0 to 8
    std::uint8_t flags = Extended;
    std::array<std::uint8_t, 8> data{};
    // The time line: 0 the bus (the session's time), k the k-th log replayed
    // into the program (that log's times).
    std::uint16_t line = 0;

    bool extended() const { return flags & Extended; }
    bool sent() const { return flags & Sent; }
    bool replayed() const { return line != 0; }
    bool operator==(const TraceFrame&) const = default;
};
static_assert(sizeof(TraceFrame) <= 24, "a million frames in 24 MB");

// The frame a message the link sent or received becomes: on the bus, at its
// session time (its own time when it has none); replayed, at its time in the log.
TraceFrame traceFrameOf(const CanMessage& message, bool sent);

// The parts of a 29-bit identifier as J1939 reads them.
namespace j1939 {
inline int priority(std::uint32_t id) { return static_cast<int>((id >> 26) & 0x7); }
inline int source(std::uint32_t id) { return static_cast<int>(id & 0xFF); }
inline int pduFormat(std::uint32_t id) { return static_cast<int>((id >> 16) & 0xFF); }
// PDU1 (format below 240) names a destination in its PS byte; PDU2 is for all (255).
inline int destination(std::uint32_t id) { return pduFormat(id) < 240 ? static_cast<int>((id >> 8) & 0xFF) : 0xFF; }
// Extended data page, data page, format, and the PS byte for PDU2 only.
inline std::uint32_t pgn(std::uint32_t id)
{
    const std::uint32_t pageAndFormat = (id >> 16) & 0x3FF;
    return (pageAndFormat << 8) | (pduFormat(id) >= 240 ? ((id >> 8) & 0xFF) : 0);
}
}  // namespace j1939

}  // namespace tellvane
