#pragma once

#include "can/LinkInterfaces.h"
#include "plot/ValueRecorder.h"
#include "signals/SignalRef.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tellvane {

class PlotSeries;
class TimeLine;

// Where the signals of databases are read from the frames the link sends and
// receives while something listens: the series plotted (each on the time
// line of its plot) and the recording. Added to the link as a listener beside
// the bus trace only while it has either, so that it works with the trace
// window closed.
class SignalTap final : public TraceSink {
public:
    // How a signal's value comes from its raw number, and the series that keeps it.
    static ValueScale scaleOf(const dbc::Signal& signal);
    static std::unique_ptr<PlotSeries> seriesOf(const dbc::Signal& signal);

    void addSeries(const dbc::SignalRef& signal, PlotSeries* series, TimeLine* timeLine = nullptr);
    void removeSeries(const PlotSeries* series);
    std::vector<PlotSeries*> series() const;

    // Records the values of these signals, each named by its key.
    static constexpr std::size_t kMostRecorded = 10'000;
    static std::unique_ptr<ValueRecorder> recorderFor(const std::vector<dbc::SignalRef>& signalList);
    void setRecorder(std::unique_ptr<ValueRecorder> recorder, const std::vector<dbc::SignalRef>& signalList);
    ValueRecorder* recorder() const { return m_recorder.get(); }
    std::unique_ptr<ValueRecorder> takeRecorder();

    // Nothing plotted, nothing recorded.
    bool idle() const;

    void traceMessage(const CanMessage& message, bool sent) override;
    void take(const TraceFrame& frame);

private:
    struct Watch {
        dbc::SignalRef signal;
        PlotSeries* series = nullptr;  // or, for the recording:
        TimeLine* timeLine = nullptr;
        int column = -1;
    };
    void watchesChanged() { m_byIdentifier.clear(); }
    const std::vector<std::uint32_t>& watchesOf(const TraceFrame& frame);

    std::vector<Watch> m_watches;
    std::unique_ptr<ValueRecorder> m_recorder;
    // The watches each identifier's frames feed, sorted by message, found on
    // its first frame. Bounded: a bus of ever new identifiers starts it again.
    static constexpr std::size_t kMostIdentifiers = 1 << 16;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_byIdentifier;
    std::vector<dbc::DecodedSignal> m_decoded;
};

}  // namespace tellvane
