#pragma once

#include "logs/TraceFrame.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace tellvane {

class Clock;

// Plays frames at their recorded times relative to the first: a frame
// recorded t microseconds after the first leaves t / speed after the start.
// The caller asks poll() whenever it can and waits until the time poll()
// names; every frame due by then is delivered in file order, none early.
//
// Pausing keeps the place; resuming, stepping and changing the speed go on
// from there as if the log started at that frame. With looping, the end
// rewinds the source and plays it again after kLoopGapUs.
class TraceReplay {
public:
    static constexpr double kMinSpeed = 0.1;
    static constexpr double kMaxSpeed = 10.0;
    // Between the end of a pass and the start of the next when looping, so
    // that a log of frames all at one time does not repeat without pause.
    static constexpr std::int64_t kLoopGapUs = 1000;

    // The next frame of the log, false at its end.
    using Source = std::function<bool(TraceFrame&)>;
    // Starts the log again; false when it cannot (looping then stops).
    using Rewind = std::function<bool()>;
    using Deliver = std::function<void(const TraceFrame&)>;

    // After the source gave no frame: whether it only stopped short, to give
    // the caller its turn, and has more to read.
    using Waiting = std::function<bool()>;

    TraceReplay(Clock& clock, Source source, Rewind rewind, Deliver deliver);
    // Without it, a source that gives no frame has ended. With it, poll()
    // asks to be called again at once while the source is waiting, and step()
    // delivers nothing yet.
    void setWaiting(Waiting waiting) { m_waiting = std::move(waiting); }

    // False, and the speed kept, outside kMinSpeed to kMaxSpeed.
    bool setSpeed(double factor);
    double speed() const { return m_speed; }
    void setLoop(bool loop) { m_loop = loop; }
    bool loop() const { return m_loop; }

    // Delivers what is due and answers when the next frame is: a clock time
    // in microseconds, or none when the log has ended (or while paused).
    std::optional<std::int64_t> poll();
    void pause();
    void resume();
    bool paused() const { return m_paused; }
    // Delivers the next frame now and pauses there; false at the end, and
    // while the source is waiting (then waiting() is true: step again).
    bool step();
    bool waiting() const { return m_sourceWaits; }
    bool finished() const { return m_finished; }

    std::int64_t delivered() const { return m_delivered; }
    std::int64_t passes() const { return m_passes; }  // how often the log began

private:
    // The frame to deliver next, read ahead; false at the end of the log (and
    // of every pass when looping).
    bool fetch();
    // Makes the pending frame due now: the log's time from here on counts
    // from this moment.
    void anchorAtPending();
    std::int64_t dueUs(std::int64_t frameUs) const;
    void deliverPending();

    Clock& m_clock;
    Source m_source;
    Rewind m_rewind;
    Deliver m_deliver;
    Waiting m_waiting;
    bool m_sourceWaits = false;  // the last read stopped short
    bool m_rewound = false;      // a new pass whose first frame is still to come
    bool m_reanchor = false;     // resumed while the source waited
    double m_speed = 1.0;
    bool m_loop = false;
    bool m_paused = false;
    bool m_finished = false;
    bool m_started = false;

    std::optional<TraceFrame> m_pending;
    std::int64_t m_lastFrameUs = 0;  // the log's time of the frame delivered last, to keep order
    std::int64_t m_anchorClockUs = 0;
    std::int64_t m_anchorFrameUs = 0;
    std::int64_t m_delivered = 0;
    std::int64_t m_passes = 0;
};

}  // namespace tellvane
