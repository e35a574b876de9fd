#pragma once

#include "diagnostics/DecodedValue.h"
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
    // Told, as the last thing the tap does, when the board's screen goes.
    using ClosedHandler = std::function<void(BoardTap&)>;

    explicit BoardTap(ClosedHandler closed);

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

private:
    struct Listener {
        PlotSeries* series = nullptr;
        TimeLine* timeLine = nullptr;
    };
    ClosedHandler m_closed;
    std::vector<std::vector<Listener>> m_byControl;
    std::unique_ptr<ValueRecorder> m_recorder;
};

}  // namespace tellvane
