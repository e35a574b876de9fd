#pragma once

#include <cstdint>

namespace tellvane {

// Times kept in the adapter's seconds (message-line logs), which start again
// every turn of its 24-bit count of 8 us ticks, counted on: a time more than
// half a turn below the one before starts a new turn. A time a little below
// the one before (a frame logged late) stays in its turn.
class TurnCounter {
public:
    static constexpr std::int64_t kTurnUs = std::int64_t{1} << 27;  // 134.217728 s

    std::int64_t unwrapUs(std::int64_t us)
    {
        if (m_lastUs >= 0 && us < m_lastUs - kTurnUs / 2)
            ++m_turns;
        m_lastUs = us;
        return us + m_turns * kTurnUs;
    }
    void reset() { *this = TurnCounter(); }

private:
    std::int64_t m_lastUs = -1;
    std::int64_t m_turns = 0;
};

}  // namespace tellvane
