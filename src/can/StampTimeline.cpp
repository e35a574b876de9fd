#include "can/StampTimeline.h"

#include <cmath>

namespace tellvane {

std::int64_t StampTimeline::toMicroseconds(double seconds)
{
    // A time that is no number, or beyond any a log holds, counts as 0.
    constexpr double kLatest = 1e10;
    if (!(seconds >= 0.0 && seconds <= kLatest))
        seconds = 0.0;
    const std::int64_t stamp = std::llround(seconds * 1e6);
    if (m_lastStampUs >= 0 && stamp < m_lastStampUs - kTurnUs / 2)
        ++m_turns;
    m_lastStampUs = stamp;
    return stamp + m_turns * kTurnUs;
}

}  // namespace tellvane
