#pragma once

#include <QDateTime>

#include <cstdint>
#include <optional>

namespace tellvane {

class Clock;

// The program's one time line for frames: microseconds since the link was
// made (the adapter opened), on the computer's monotonic clock. Every frame
// gets its time once, where it enters the program; the bus trace, the plots,
// the recordings and the exports read that time.
//
// Received frames carry the adapter's stamp: 8 us ticks in 24 bits, starting
// again every 134.217728 s. The stamp keeps the frames' spacing exact; which
// turn of it a frame lies in comes from the real time elapsed, so quiet
// spells of any length, frames that arrive late and a listener that starts
// late all come out right. The stamp is tied to the session by the first
// frame after the adapter was (re)configured, then kept true two ways: a
// frame never lies after its own arrival (the adapter's clock running ahead
// of ours pulls the tie back), and when every frame over a stretch of
// kDriftWindowUs came later than kDriftToleranceUs (the adapter's clock
// running behind), the tie moves on by the least of those delays. The
// stretch counts only while kDriftFrames frames or more came in it, so that a
// few frames drained late never pull the time; after a quiet spell of
// kDriftWindowUs or more, which a slow clock may have fallen behind in, the
// first frame later than kDriftToleranceUs is tied again at its arrival.
class SessionTime {
public:
    static constexpr std::int64_t kTurnUs = std::int64_t{1} << 27;  // 2^24 ticks of 8 us
    static constexpr std::int64_t kDriftWindowUs = 10'000'000;
    static constexpr std::int64_t kDriftToleranceUs = 10'000;
    static constexpr int kDriftFrames = 32;

    explicit SessionTime(Clock& clock);

    // The session time now; never below 0.
    std::int64_t nowUs() const;
    // The local date and time at which the session's time was 0.
    const QDateTime& startedAt() const { return m_startedAt; }

    // The adapter's stamps start afresh (a new adapter, or the same one reset):
    // the next stamped frame ties them to the session again.
    void adapterRestarted() { m_tied = false; }

    // The session time of a received frame arriving now: from its stamp
    // (microseconds within a turn), or its arrival when it has none. Times of
    // received frames never go back.
    std::int64_t received(std::optional<std::int64_t> stampUs);

private:
    Clock& m_clock;
    std::int64_t m_zeroUs;  // the clock's reading at session time 0
    QDateTime m_startedAt;
    bool m_tied = false;
    std::int64_t m_offsetUs = 0;  // session time of the stamp 0 of turn 0
    std::int64_t m_lastUs = 0;
    std::int64_t m_lastArrivalUs = 0;
    std::int64_t m_windowStartUs = -1;
    std::int64_t m_windowLeastLateUs = 0;
    int m_windowFrames = 0;
};

}  // namespace tellvane
