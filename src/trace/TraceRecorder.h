#pragma once

#include "can/LinkInterfaces.h"
#include "logs/TraceFrame.h"

#include <cstdint>
#include <vector>

namespace tellvane {

class BusLoad;
class IdentifierStats;
class TraceRing;
class TraceView;

// Where the bus trace is fed: attached to the link beside the monitor (as its
// trace sink), or anywhere a message sink goes (then the identifier's bit 31
// tells a sent message). Each message becomes a frame in the ring, the
// identifier statistics and, for frames of the bus, the bus load; the
// attached views follow.
//
// A frame of the bus takes the session time the link gave its message; a
// frame of a log replayed into the program keeps its time in that log, on a
// time line of its own.
class TraceRecorder final : public TraceSink, public CanMessageSink {
public:
    explicit TraceRecorder(TraceRing& ring) : m_ring(ring) {}

    void setStats(IdentifierStats* stats) { m_stats = stats; }
    void setBusLoad(BusLoad* load) { m_load = load; }
    // Views updated with every frame; a view must live as long as it is attached.
    void attachView(TraceView* view);
    void detachView(TraceView* view);

    void traceMessage(const CanMessage& message, bool sent) override;
    // An overflow of the adapter's buffer, or of the controller's (bits 6 and
    // 7 of the register as they come up), counts as an overflow; a warning,
    // passive or bus-off state of the controller (bits 1 to 5) as it comes up
    // counts as an error.
    void traceOverflow() override;
    void traceErrorFlags(std::uint8_t flags) override;
    void logCanMessage(const CanMessage& message) override;

    // The frame a message becomes: on the bus, at its session time (its own
    // time when it has none); replayed, at its time in the log.
    static TraceFrame frameOf(const CanMessage& message, bool sent);
    // The message a frame's line shows: bit 31 set when the tool sent it, the
    // time in seconds, the time line and the kind of identifier kept.
    static CanMessage messageOf(const TraceFrame& frame);
    // The latest time recorded on a time line; 0 before its first frame.
    std::int64_t newestTimeUs(std::uint16_t line) const
    {
        return line < m_newest.size() ? m_newest[line] : 0;
    }
    // Forgets the times seen (the ring, statistics and load are their owners' to clear).
    void clearTimes() { m_newest.clear(); }

private:
    TraceRing& m_ring;
    IdentifierStats* m_stats = nullptr;
    BusLoad* m_load = nullptr;
    std::vector<TraceView*> m_views;
    std::vector<std::int64_t> m_newest;  // by time line
    std::uint8_t m_errorFlags = 0;  // as last read
};

}  // namespace tellvane
