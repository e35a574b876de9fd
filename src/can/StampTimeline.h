#pragma once

#include <cstdint>

namespace tellvane {

// The time line of what keeps received frames' times (the bus trace, the
// plots and recordings), in microseconds that only go on.
// The adapter stamps received frames with 8 us ticks in 24 bits, so their
// seconds start again every 134.2 s; a stamp far below the one before starts
// a new turn, and the turns are counted on. Within the first turn the time is
// the stamp itself, the time the monitor shows. Stamps a little below the one
// before (a frame that arrived late) stay as they are.
class StampTimeline {
public:
    static constexpr std::int64_t kTurnUs = std::int64_t{1} << 27;  // 2^24 ticks of 8 us

    // A time that is no number or below 0 counts as 0.
    std::int64_t toMicroseconds(double seconds);

private:
    std::int64_t m_lastStampUs = -1;
    std::int64_t m_turns = 0;
};

}  // namespace tellvane
