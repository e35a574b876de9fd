#pragma once

#include "diagnostics/DecodedValue.h"
#include "diagnostics/IndicatorInfo.h"
#include "plot/ValueRecorder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tellvane {

class PlotSeries;
class TimeLine;

// Where one board's screen hands its decoded values while something listens:
// the series plotted from it (by control number), each on the time line of
// its plot, and its recording. Attached as the screen's observer only while
// it has either.
class BoardTap final : public DecodedValueObserver {
public:
    // A series whose indicator is found again on a screen built anew, and what it is there.
    struct Kept {
        PlotSeries* series = nullptr;
        IndicatorInfo indicator;
    };
    // Each is told, as the last thing the tap does, when the board's screen
    // goes, or when it is built again: which series go on with which
    // indicator, and which ended with theirs (they hear no more).
    using ClosedHandler = std::function<void(BoardTap&)>;
    using RebuiltHandler = std::function<void(BoardTap&, const std::vector<Kept>&, const std::vector<PlotSeries*>&)>;

    explicit BoardTap(ClosedHandler closed, RebuiltHandler rebuilt = {});

    // The series takes the values of the indicator with this control number
    // that lie on its time line (none: every value).
    void addSeries(std::int16_t cntrlIndex, PlotSeries* series, TimeLine* timeLine = nullptr);
    void removeSeries(const PlotSeries* series);
    std::vector<PlotSeries*> series() const;

    void setRecorder(std::unique_ptr<ValueRecorder> recorder) { m_recorder = std::move(recorder); }
    ValueRecorder* recorder() const { return m_recorder.get(); }
    std::unique_ptr<ValueRecorder> takeRecorder() { return std::move(m_recorder); }

    // Nothing plotted, nothing recorded.
    bool idle() const;

    void valueDecoded(const DecodedValue& value) override;
    void screenClosed() override;
    // Each series goes on with its indicator found on the new screen
    // (indicatorsAfterRebuild); the recording names its rows by the new one.
    void screenRebuilt(const ScreenDefinition& before, const ScreenDefinition& after) override;

private:
    struct Listener {
        PlotSeries* series = nullptr;
        TimeLine* timeLine = nullptr;
    };
    ClosedHandler m_closed;
    RebuiltHandler m_rebuilt;
    std::vector<std::vector<Listener>> m_byControl;
    std::unique_ptr<ValueRecorder> m_recorder;
};

}  // namespace tellvane
