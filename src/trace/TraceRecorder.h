#pragma once

#include "can/LinkInterfaces.h"
#include "can/StampTimeline.h"
#include "trace/TraceFrame.h"

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
// identifier statistics and the bus load, and the attached views follow.
//
// Received time stamps count 8 us ticks in 24 bits and so start again every
// 134.2 s; the recorder counts those turns so that the trace's time only goes
// on. Sent messages carry no time and take that of the frame before them.
class TraceRecorder final : public TraceSink, public CanMessageSink {
public:
    static constexpr std::int64_t kStampTurnUs = StampTimeline::kTurnUs;

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

    // The frame a message becomes (its time still as the message has it).
    static TraceFrame frameOf(const CanMessage& message, bool sent);
    // The message a frame's line shows: bit 31 set when the tool sent it, the
    // time in seconds.
    static CanMessage messageOf(const TraceFrame& frame);
    // The time of the frame recorded last.
    std::int64_t lastTimeUs() const { return m_lastUs; }
    // The latest time of any frame recorded: a log replayed into the program
    // brings times of its own among those of the bus.
    std::int64_t newestTimeUs() const { return m_newestUs; }

private:
    TraceRing& m_ring;
    IdentifierStats* m_stats = nullptr;
    BusLoad* m_load = nullptr;
    std::vector<TraceView*> m_views;
    StampTimeline m_timeline;
    std::int64_t m_lastUs = 0;
    std::int64_t m_newestUs = 0;
    std::uint8_t m_errorFlags = 0;  // as last read
};

}  // namespace tellvane
