#pragma once

#include "diagnostics/IndicatorInfo.h"
#include "plot/PlotSeries.h"
#include "plot/TimeLine.h"
#include "ui/MdiChild.h"

#include <QPen>
#include <QPointF>
#include <QPointer>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QChart;
class QComboBox;
class QGraphicsItem;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QPainter;
class QPushButton;
class QTimer;
class QValueAxis;

namespace tellvane {

class Dialogs;
class PlotChartView;
class PlotLegend;
class PlotLinesItem;

// What a plot window works with.
struct PlotWindowServices {
    Dialogs& dialogs;  // the file an export goes to
    QString folder;    // where the save dialog starts
};

// A plot: values of the boards' diagnostic screens over time, each its own
// line with its own value axis, in a window of its own beside the board
// windows. The values are kept in plain series (PlotSeries) that the decoder
// appends to; the window draws from them on a timer, a few thousand points a
// line however many the series hold.
//
// The window follows one time line (TimeLine): the bus's, or a played log's,
// whichever its lines take their first value from; the values of another are
// left out, and its status line says how many.
//
// Live, the time axis shows the chosen stretch up to the newest value, moving
// on by a twentieth of it at a time, never before 0 s; its ticks and those of
// the value axes fall on round steps (1, 2 or 5 x 10^n). Pause holds the view
// still while the series go on filling; a rectangle dragged with the mouse
// zooms into it, the wheel zooms the time, and a double click (or Pause
// again) goes back to the live view. Autoscale fits each value axis to what is shown. The readout
// below names the time under the pointer and each value at that time; Export
// CSV writes the values of the shown stretch.
class PlotWindow : public MdiChild {
    Q_OBJECT

public:
    // seriesGone is told of each series as the window lets it go (it closes).
    PlotWindow(const QString& title, PlotWindowServices services, std::function<void(PlotSeries*)> seriesGone,
               QWidget* parent = nullptr);
    ~PlotWindow() override;

    // Its size when first opened, and the least it can be made; how often its
    // lines are drawn; how many it takes; the steps the live view moves on in.
    static constexpr int kWidthTwips = 12600;
    static constexpr int kHeightTwips = 7200;
    static constexpr QSize kMinimumSize{480, 320};
    static constexpr int kRefreshMs = 100;
    static constexpr int kMostSeries = 12;
    static constexpr int kLiveSteps = 20;

    struct Stretch {
        const char* label;
        std::int64_t us;
    };
    static constexpr std::array<Stretch, 7> kStretches{{{"10 s", 10'000'000},
                                                        {"30 s", 30'000'000},
                                                        {"1 min", 60'000'000},
                                                        {"5 min", 300'000'000},
                                                        {"10 min", 600'000'000},
                                                        {"30 min", 1'800'000'000},
                                                        {"1 h", 3'600'000'000}}};
    static constexpr int kDefaultStretch = 1;  // 30 s

    // A new line for an indicator of a board (named by its window's caption);
    // null when the window holds kMostSeries already.
    PlotSeries* addSeries(const QString& board, const IndicatorInfo& indicator);
    // The line of that indicator of that board; null for none.
    PlotSeries* seriesFor(const QString& board, const IndicatorInfo& indicator) const;
    // A new line for a value of no board's (a database signal's), named by
    // its key; null when the window holds kMostSeries already.
    PlotSeries* addSeries(const QString& name, const QString& unit, std::unique_ptr<PlotSeries> series);
    // The line named so whose values come from the raw numbers so; null for none.
    PlotSeries* seriesFor(const QString& name, const ValueScale& scale) const;
    // The series' screen went (ended) or it is fed again.
    void setSeriesEnded(const PlotSeries* series, bool ended);
    bool seriesEnded(const PlotSeries* series) const;
    // The series' indicator as a screen built again has it (its place, its unit).
    void setSeriesIndicator(const PlotSeries* series, const IndicatorInfo& indicator);
    // The time line the lines follow; the values of others are counted there.
    TimeLine& timeLine() { return m_timeLine; }
    const TimeLine& timeLine() const { return m_timeLine; }
    bool acceptsMore() const { return seriesCount() < kMostSeries; }

    int seriesCount() const { return static_cast<int>(m_lines.size()); }
    const PlotSeries& series(int i) const { return *m_lines.at(static_cast<std::size_t>(i)).data; }
    // The line's name (its legend entry), and the axes it maps through.
    QLineSeries* lineSeries(int i) const { return m_lines.at(static_cast<std::size_t>(i)).line; }
    PlotLegend* legend() const { return m_legend; }
    // The points the line is drawn through, in seconds and its units.
    const std::vector<QPointF>& drawnPoints(int i) const { return m_lines.at(static_cast<std::size_t>(i)).drawn; }
    // The range of a line's values shown. The chart draws no value axis: it
    // would give all of them together no more than 40 % of its width and cut
    // their labels short; the window draws them beside the plot area, each as
    // wide as its labels and its unit need.
    QValueAxis* valueAxis(int i) const { return m_lines.at(static_cast<std::size_t>(i)).axis; }
    // A text drawn for a value axis, where (chart coordinates): a tick's
    // label, or the unit written upwards along the axis.
    struct AxisLabel {
        QString text;
        QRectF rect;
        bool upright = false;
    };
    std::vector<AxisLabel> valueAxisLabels(int i) const;
    // "Board 1201-0003 [33] Speed": a series' name in exports and the readout
    // ("EEC1.EngineSpeed@00" for a signal of a database).
    QString seriesName(int i) const;
    QValueAxis* timeAxis() const { return m_timeAxis; }
    PlotChartView* chartView() const { return m_view; }

    bool live() const { return m_live; }
    bool autoscale() const;
    std::int64_t stretchUs() const;
    // The stretch of time shown, [from, to) in microseconds.
    std::pair<std::int64_t, std::int64_t> shownUs() const;
    // Brings the lines up to date (the timer's work).
    void refresh();
    // What the refresh timer is; it runs while the window is shown.
    const QTimer& refreshTimer() const { return *m_timer; }
    QString readoutText() const;
    QString statusText() const;

    // The view's commands, as its buttons and the mouse give them.
    void setPaused(bool paused);
    void goLive();
    void setStretch(int index);
    void setAutoscale(bool on);
    void zoomTo(std::int64_t fromUs, std::int64_t toUs);
    void exportCsv();
    // The readout at a time; none: the pointer left the chart.
    void showReadout(std::optional<std::int64_t> timeUs);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Line {
        std::unique_ptr<PlotSeries> data;
        QString board;
        IndicatorInfo indicator;
        QLineSeries* line = nullptr;  // pointless: the legend and the axes only
        QValueAxis* axis = nullptr;
        QPen pen;
        std::vector<QPointF> drawn;
        bool ended = false;
        std::uint64_t drawnAppended = ~std::uint64_t{0};
        // Its value axis: the ticks and their labels, the room the widest
        // takes, and how far the axis lies from its side of the plot area.
        std::vector<std::pair<double, QString>> ticks;
        double labelWidth = 0;
        double offset = 0;
    };

    void build();
    PlotSeries* addLine(std::unique_ptr<PlotSeries> series, const QString& board, const IndicatorInfo& indicator);
    void zoomToArea(const QRectF& area);
    void wheelZoom(const QPointF& at, double factor);
    void pointerAt(const QPointF& at);
    void showLegendName(const Line& line);
    // The range an axis shows, with its ticks on round steps, as many as it
    // has room for (a lamp's at 0 and 1).
    void setAxisRange(QValueAxis* axis, double low, double high, bool lamp);
    std::int64_t newestUs() const;
    int plotColumns() const;
    void fitAxis(Line& line, const std::vector<QPointF>& points);
    // Draws the lines into the chart's plot area.
    void paintLines(QPainter& painter) const;
    friend class PlotLinesItem;
    // The value axes' ticks and labels from their ranges, and the chart's
    // margins wide enough for them.
    void layoutValueAxes();
    void paintValueAxes(QPainter& painter) const;
    friend class PlotAxesItem;
    double axisX(const Line& line) const;
    void updateStatus();

    PlotWindowServices m_services;
    std::function<void(PlotSeries*)> m_seriesGone;
    std::vector<Line> m_lines;

    QChart* m_chart = nullptr;
    PlotChartView* m_view = nullptr;
    QValueAxis* m_timeAxis = nullptr;
    QGraphicsLineItem* m_cursor = nullptr;
    QGraphicsItem* m_linesItem = nullptr;
    QGraphicsItem* m_axesItem = nullptr;
    QComboBox* m_stretch = nullptr;
    QPushButton* m_pause = nullptr;
    QCheckBox* m_autoscale = nullptr;
    QPushButton* m_export = nullptr;
    QLabel* m_readout = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_timer = nullptr;
    PlotLegend* m_legend = nullptr;
    TimeLine m_timeLine;

    bool m_live = true;
    std::int64_t m_fromUs = 0;  // the stretch shown while not live
    std::int64_t m_toUs = 0;
    bool m_viewChanged = true;
    bool m_axesChanged = false;
    std::optional<std::int64_t> m_readoutUs;

    QString m_exported;
};

}  // namespace tellvane
