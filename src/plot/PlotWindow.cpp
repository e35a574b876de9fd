#include "plot/PlotWindow.h"

#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "plot/PlotChartView.h"
#include "plot/PlotLegend.h"
#include "plot/ValueCsv.h"

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGraphicsItem>
#include <QGraphicsLineItem>
#include <QPainter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tellvane {

namespace {

// Lines that stay apart from one another on a white ground.
const QColor kColours[] = {QColor(31, 119, 180), QColor(214, 39, 40),  QColor(44, 160, 44),  QColor(148, 103, 189),
                           QColor(255, 127, 14), QColor(23, 190, 207), QColor(140, 86, 75),  QColor(227, 119, 194),
                           QColor(127, 127, 127), QColor(188, 189, 34)};

constexpr std::int64_t kShortestZoomUs = 1000;
// Room a tick's label wants beyond its text, along the time axis; the height
// a value axis gives each tick.
constexpr int kTickGapPixels = 24;
constexpr int kLeastTickPixels = 56;
constexpr int kValueTickPixels = 48;
// A value axis: its tick marks, the gaps beside its labels and its unit, and
// the room between two axes.
constexpr double kTickLength = 4;
constexpr double kLabelGap = 3;
constexpr double kAxisGap = 8;

QString valueText(const PlotSeries& series, double value, const QString& unit)
{
    // A box shown in hexadecimal reads as the screen writes it.
    if (series.isHex() && value >= 0 && value <= 4294967295.0)
        return QString::number(static_cast<qulonglong>(value), 16).toUpper();
    QString text = QString::number(value, 'g', 7);
    if (!unit.isEmpty())
        text += QLatin1Char(' ') + unit;
    return text;
}

// The least of 1, 2 or 5 x 10^n that cuts a span into no more than `most` steps.
double roundStep(double span, int most)
{
    if (!(span > 0) || !std::isfinite(span) || most < 1)
        return 1.0;
    const double rough = span / most;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= rough * (1 - 1e-9))
            return factor * magnitude;
    }
    return 10 * magnitude;
}

// As many decimals as a step has: 1 for 0.5.
int decimalsOf(double step)
{
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
}

QString labelFormatFor(double step)
{
    return QStringLiteral("%.") + QString::number(decimalsOf(step)) + QLatin1Char('f');
}

}  // namespace

// The lines of a plot, drawn straight from their points onto the chart's plot
// area. A QLineSeries holding thousands of points builds a stroked outline of
// them at every change, which takes far longer than the drawing itself.
class PlotLinesItem final : public QGraphicsItem {
public:
    PlotLinesItem(const PlotWindow& window, QChart* chart) : QGraphicsItem(chart), m_window(window), m_chart(chart) {}
    // The plot area only: a refresh that changes the lines alone repaints no axis.
    QRectF boundingRect() const override { return m_chart->plotArea(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override { m_window.paintLines(*painter); }
    void resized() { prepareGeometryChange(); }

private:
    const PlotWindow& m_window;
    QChart* m_chart;
};

// The value axes beside the plot area, and the grid of the first.
class PlotAxesItem final : public QGraphicsItem {
public:
    PlotAxesItem(const PlotWindow& window, QChart* chart) : QGraphicsItem(chart), m_window(window), m_chart(chart) {}
    QRectF boundingRect() const override { return m_chart->rect(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override { m_window.paintValueAxes(*painter); }
    void changed()
    {
        prepareGeometryChange();
        update();
    }

private:
    const PlotWindow& m_window;
    QChart* m_chart;
};

PlotWindow::PlotWindow(const QString& title, PlotWindowServices services, std::function<void(PlotSeries*)> seriesGone,
                       QWidget* parent)
    : MdiChild(parent), m_services(std::move(services)), m_seriesGone(std::move(seriesGone))
{
    setObjectName(QStringLiteral("PlotWindow"));
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    build();
}

PlotWindow::~PlotWindow()
{
    for (Line& line : m_lines) {
        if (m_seriesGone)
            m_seriesGone(line.data.get());
    }
}

void PlotWindow::build()
{
    m_chart = new QChart;
    m_chart->setObjectName(QStringLiteral("PlotChartItem"));
    m_chart->setAnimationOptions(QChart::NoAnimation);
    // The window's own legend below takes as many rows as the names need.
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->setBackgroundRoundness(0);

    m_timeAxis = new QValueAxis;
    m_timeAxis->setObjectName(QStringLiteral("PlotTimeAxis"));
    m_timeAxis->setTitleText(QStringLiteral("Time (s)"));
    m_timeAxis->setLabelFormat(QStringLiteral("%.1f"));
    m_timeAxis->setRange(0, static_cast<double>(kStretches[kDefaultStretch].us) / 1e6);
    m_timeAxis->setTickInterval(5);
    m_timeAxis->setTickAnchor(0);
    m_timeAxis->setTickType(QValueAxis::TicksDynamic);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);

    m_view = new PlotChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("PlotChart"));

    auto* lines = new PlotLinesItem(*this, m_chart);
    lines->setZValue(500);
    m_linesItem = lines;
    auto* axes = new PlotAxesItem(*this, m_chart);
    axes->setZValue(400);
    m_axesItem = axes;
    connect(m_chart, &QChart::plotAreaChanged, this, [this, lines] {
        lines->resized();
        // As many ticks as the new room takes.
        setAxisRange(m_timeAxis, m_timeAxis->min(), m_timeAxis->max(), false);
        for (const Line& line : m_lines)
            setAxisRange(line.axis, line.axis->min(), line.axis->max(), line.data->isLamp());
        layoutValueAxes();
    });

    m_cursor = new QGraphicsLineItem(m_chart);
    m_cursor->setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
    m_cursor->setZValue(1000);
    m_cursor->hide();

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Show the last"), this));
    m_stretch = new QComboBox(this);
    m_stretch->setObjectName(QStringLiteral("PlotStretch"));
    for (const Stretch& s : kStretches)
        m_stretch->addItem(QString::fromLatin1(s.label));
    m_stretch->setCurrentIndex(kDefaultStretch);
    controls->addWidget(m_stretch);
    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_pause->setObjectName(QStringLiteral("PlotPause"));
    m_pause->setCheckable(true);
    controls->addWidget(m_pause);
    m_autoscale = new QCheckBox(QStringLiteral("Autoscale"), this);
    m_autoscale->setObjectName(QStringLiteral("PlotAutoscale"));
    m_autoscale->setChecked(true);
    controls->addWidget(m_autoscale);
    controls->addStretch(1);
    m_export = new QPushButton(QStringLiteral("Export CSV..."), this);
    m_export->setObjectName(QStringLiteral("PlotExport"));
    controls->addWidget(m_export);

    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("PlotReadout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("PlotStatus"));
    m_legend = new PlotLegend(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_legend);
    layout->addWidget(m_readout);
    layout->addWidget(m_status);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &PlotWindow::refresh);

    connect(m_stretch, &QComboBox::currentIndexChanged, this, &PlotWindow::setStretch);
    connect(m_pause, &QPushButton::toggled, this, &PlotWindow::setPaused);
    connect(m_autoscale, &QCheckBox::toggled, this, &PlotWindow::setAutoscale);
    connect(m_export, &QPushButton::clicked, this, &PlotWindow::exportCsv);
    connect(m_view, &PlotChartView::zoomRequested, this, &PlotWindow::zoomToArea);
    connect(m_view, &PlotChartView::wheelZoomRequested, this, &PlotWindow::wheelZoom);
    connect(m_view, &PlotChartView::liveRequested, this, &PlotWindow::goLive);
    connect(m_view, &PlotChartView::pointerMoved, this, &PlotWindow::pointerAt);
    connect(m_view, &PlotChartView::pointerLeft, this, [this] { showReadout(std::nullopt); });
    showReadout(std::nullopt);
}

PlotSeries* PlotWindow::addSeries(const QString& board, const IndicatorInfo& indicator)
{
    return acceptsMore() ? addLine(PlotSeries::of(indicator), board, indicator) : nullptr;
}

PlotSeries* PlotWindow::addSeries(const QString& name, const QString& unit, std::unique_ptr<PlotSeries> series)
{
    if (!acceptsMore() || !series)
        return nullptr;
    IndicatorInfo info;
    info.kind = series->isLamp() ? IndicatorKind::Lamp : IndicatorKind::Value;
    info.caption = name;
    info.unit = unit;
    return addLine(std::move(series), QString(), info);
}

PlotSeries* PlotWindow::seriesFor(const QString& name, const ValueScale& scale) const
{
    for (const Line& line : m_lines) {
        if (line.board.isEmpty() && line.indicator.caption == name && line.data->scale() == scale)
            return line.data.get();
    }
    return nullptr;
}

PlotSeries* PlotWindow::addLine(std::unique_ptr<PlotSeries> series, const QString& board, const IndicatorInfo& indicator)
{
    const std::size_t index = m_lines.size();
    Line line;
    const bool lamp = indicator.kind == IndicatorKind::Lamp;
    line.data = std::move(series);
    line.board = board;
    line.indicator = indicator;
    const QColor colour = kColours[index % std::size(kColours)];
    line.line = new QLineSeries;
    // A thin line: thousands of points a line are drawn on the raster's quick path.
    line.pen = QPen(colour, 1);
    line.pen.setCosmetic(true);
    line.line->setPen(line.pen);
    line.axis = new QValueAxis;
    line.axis->setTitleText(indicator.unit);
    line.axis->setVisible(false);  // drawn by the window
    line.axis->setTickInterval(lamp ? 1.0 : 0.2);
    line.axis->setTickAnchor(0);
    line.axis->setTickType(QValueAxis::TicksDynamic);
    setAxisRange(line.axis, lamp ? -0.1 : 0.0, lamp ? 1.1 : 1.0, lamp);
    m_legend->addEntry(colour, QString());
    m_chart->addSeries(line.line);
    m_chart->addAxis(line.axis, index % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
    line.line->attachAxis(m_timeAxis);
    line.line->attachAxis(line.axis);
    m_lines.push_back(std::move(line));
    showLegendName(m_lines.back());
    layoutValueAxes();
    m_viewChanged = true;
    return m_lines.back().data.get();
}

PlotSeries* PlotWindow::seriesFor(const QString& board, const IndicatorInfo& indicator) const
{
    for (const Line& line : m_lines) {
        // The same indicator, read the same way: one whose scale changed is another line.
        if (!board.isEmpty() && line.board == board && line.indicator.cntrlIndex == indicator.cntrlIndex
            && line.indicator.caption == indicator.caption && line.indicator.kind == indicator.kind
            && line.indicator.isSigned == indicator.isSigned && ValueScale::of(line.indicator) == ValueScale::of(indicator))
            return line.data.get();
    }
    return nullptr;
}

void PlotWindow::setSeriesEnded(const PlotSeries* series, bool ended)
{
    for (Line& line : m_lines) {
        if (line.data.get() == series && line.ended != ended) {
            line.ended = ended;
            showLegendName(line);
        }
    }
    updateStatus();
}

void PlotWindow::setSeriesIndicator(const PlotSeries* series, const IndicatorInfo& indicator)
{
    for (Line& line : m_lines) {
        if (line.data.get() == series) {
            line.indicator = indicator;
            line.axis->setTitleText(indicator.unit);
            showLegendName(line);
            layoutValueAxes();
        }
    }
}

bool PlotWindow::seriesEnded(const PlotSeries* series) const
{
    return std::any_of(m_lines.begin(), m_lines.end(),
                       [series](const Line& line) { return line.data.get() == series && line.ended; });
}

void PlotWindow::showLegendName(const Line& line)
{
    QString name = line.indicator.caption;
    if (!line.indicator.unit.isEmpty())
        name += QStringLiteral(" (") + line.indicator.unit + QLatin1Char(')');
    if (!line.board.isEmpty())
        name += QStringLiteral(" - ") + line.board;
    if (line.ended)
        name += QStringLiteral(" [ended]");
    line.line->setName(name);
    m_legend->setEntry(static_cast<int>(&line - m_lines.data()), name, line.ended);
}

void PlotWindow::setAxisRange(QValueAxis* axis, double low, double high, bool lamp)
{
    double step = 1.0;
    if (!lamp) {
        const QRectF area = m_chart->plotArea();
        int most = 0;
        if (axis == m_timeAxis) {
            // Room for the widest label, at the precision a tenth of the span would take.
            const QFontMetrics metrics(axis->labelsFont());
            const QByteArray format = labelFormatFor(roundStep(high - low, 10)).toLatin1();
            const int label = std::max(metrics.horizontalAdvance(QString::asprintf(format.constData(), low)),
                                       metrics.horizontalAdvance(QString::asprintf(format.constData(), high)));
            most = static_cast<int>(area.width()) / std::max(label + kTickGapPixels, kLeastTickPixels);
        } else {
            most = static_cast<int>(area.height()) / kValueTickPixels;
        }
        step = roundStep(high - low, std::max(most, 2));
    }
    // The chart lays its ticks out at each change: a short step over a long
    // range, even for a moment, would make thousands of them.
    const bool longer = step > axis->tickInterval();
    if (longer)
        axis->setTickInterval(step);
    if (axis->min() != low || axis->max() != high)
        axis->setRange(low, high);
    if (!longer && step != axis->tickInterval())
        axis->setTickInterval(step);
    const QString format = labelFormatFor(step);
    if (axis->labelFormat() != format)
        axis->setLabelFormat(format);
    if (axis != m_timeAxis)
        m_axesChanged = true;
}

double PlotWindow::axisX(const Line& line) const
{
    const QRectF area = m_chart->plotArea();
    return (&line - m_lines.data()) % 2 == 0 ? area.left() - line.offset : area.right() + line.offset;
}

void PlotWindow::layoutValueAxes()
{
    m_axesChanged = false;
    const QFontMetricsF labels(m_timeAxis->labelsFont());
    const QFontMetricsF titles(m_timeAxis->titleFont());
    double room[2] = {kAxisGap, kAxisGap};  // left, right
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        Line& line = m_lines[i];
        const double step = line.axis->tickInterval();
        const int decimals = decimalsOf(step);
        line.ticks.clear();
        line.labelWidth = 0;
        if (step > 0 && line.axis->max() > line.axis->min()) {
            const double first = std::ceil(line.axis->min() / step - 1e-9);
            for (double k = first; k * step <= line.axis->max() * (1 + 1e-12) + 1e-12 && line.ticks.size() < 100; ++k) {
                const double v = k * step;
                QString text = QString::number(v == 0 ? 0.0 : v, 'f', decimals);
                line.labelWidth = std::max(line.labelWidth, std::ceil(labels.horizontalAdvance(text)));
                line.ticks.emplace_back(v, std::move(text));
            }
        }
        const double title = line.indicator.unit.isEmpty() ? 0 : kLabelGap + std::ceil(titles.height());
        double& side = room[i % 2];
        line.offset = side - kAxisGap;
        side += kTickLength + kLabelGap + line.labelWidth + title + kAxisGap;
    }
    const QMargins margins(static_cast<int>(std::ceil(room[0])), 4, static_cast<int>(std::ceil(room[1])), 4);
    if (m_chart->margins() != margins)
        m_chart->setMargins(margins);
    static_cast<PlotAxesItem*>(m_axesItem)->changed();
}

std::vector<PlotWindow::AxisLabel> PlotWindow::valueAxisLabels(int i) const
{
    const Line& line = m_lines.at(static_cast<std::size_t>(i));
    const QRectF area = m_chart->plotArea();
    const double v0 = line.axis->min();
    const double vSpan = line.axis->max() - v0;
    std::vector<AxisLabel> out;
    if (area.isEmpty() || !(vSpan > 0))
        return out;
    const bool left = i % 2 == 0;
    const double x = axisX(line);
    const double height = QFontMetricsF(m_timeAxis->labelsFont()).height();
    for (const auto& [value, text] : line.ticks) {
        const double y = area.bottom() - (value - v0) / vSpan * area.height();
        const double from = left ? x - kTickLength - kLabelGap - line.labelWidth : x + kTickLength + kLabelGap;
        out.push_back({text, QRectF(from, y - height / 2, line.labelWidth, height)});
    }
    if (!line.indicator.unit.isEmpty()) {
        const double titleHeight = std::ceil(QFontMetricsF(m_timeAxis->titleFont()).height());
        const double beyond = kTickLength + kLabelGap + line.labelWidth + kLabelGap;
        const double from = left ? x - beyond - titleHeight : x + beyond;
        out.push_back({line.indicator.unit, QRectF(from, area.top(), titleHeight, area.height()), true});
    }
    return out;
}

void PlotWindow::paintValueAxes(QPainter& painter) const
{
    const QRectF area = m_chart->plotArea();
    if (area.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The first line's ticks across the plot area.
    if (!m_lines.empty()) {
        const Line& first = m_lines.front();
        const double v0 = first.axis->min();
        const double vSpan = first.axis->max() - v0;
        painter.setPen(QPen(QColor(220, 220, 220), 1));
        for (const auto& tick : first.ticks) {
            const double y = area.bottom() - (tick.first - v0) / vSpan * area.height();
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
    }
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        const bool left = i % 2 == 0;
        const double x = axisX(line);
        painter.setPen(QPen(line.pen.color(), 1));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        for (const AxisLabel& label : valueAxisLabels(static_cast<int>(i))) {
            if (label.upright) {
                painter.save();
                painter.setFont(m_timeAxis->titleFont());
                painter.translate(label.rect.center());
                painter.rotate(left ? -90 : 90);
                const QRectF along(-label.rect.height() / 2, -label.rect.width() / 2, label.rect.height(), label.rect.width());
                painter.drawText(along, Qt::AlignCenter, label.text);
                painter.restore();
                continue;
            }
            const double y = label.rect.center().y();
            painter.drawLine(QPointF(x, y), QPointF(left ? x - kTickLength : x + kTickLength, y));
            painter.setFont(m_timeAxis->labelsFont());
            painter.drawText(label.rect, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label.text);
        }
    }
    painter.restore();
}

QString PlotWindow::seriesName(int i) const
{
    const Line& line = m_lines.at(static_cast<std::size_t>(i));
    return line.board.isEmpty() ? line.indicator.caption : line.board + QLatin1Char(' ') + line.indicator.caption;
}

bool PlotWindow::autoscale() const
{
    return m_autoscale->isChecked();
}

std::int64_t PlotWindow::stretchUs() const
{
    const int index = std::clamp(m_stretch->currentIndex(), 0, static_cast<int>(kStretches.size()) - 1);
    return kStretches[static_cast<std::size_t>(index)].us;
}

std::int64_t PlotWindow::newestUs() const
{
    std::int64_t newest = std::numeric_limits<std::int64_t>::min();
    for (const Line& line : m_lines) {
        if (!line.data->empty())
            newest = std::max(newest, line.data->newestUs());
    }
    return newest == std::numeric_limits<std::int64_t>::min() ? 0 : newest;
}

std::pair<std::int64_t, std::int64_t> PlotWindow::shownUs() const
{
    if (!m_live)
        return {m_fromUs, m_toUs};
    // The time axis moves on a twentieth of the stretch at a time, once the
    // newest value reaches its end: between those steps a refresh draws the
    // lines alone and the chart keeps its layout.
    const std::int64_t step = stretchUs() / kLiveSteps;
    const std::int64_t newest = newestUs() + 1;  // the newest value among those shown
    const std::int64_t to = (newest / step + (newest % step > 0 ? 1 : 0)) * step;
    // Nothing lies before the time line's start.
    if (to < stretchUs())
        return {0, stretchUs()};
    return {to - stretchUs(), to};
}

int PlotWindow::plotColumns() const
{
    const int width = static_cast<int>(m_chart->plotArea().width());
    return width > 0 ? std::clamp(width, 16, 8192) : 800;
}

void PlotWindow::fitAxis(Line& line, const std::vector<QPointF>& points)
{
    if (points.empty())
        return;
    double low = points.front().y();
    double high = low;
    for (const QPointF& p : points) {
        low = std::min(low, p.y());
        high = std::max(high, p.y());
    }
    // The axis moves only when the values leave it or fill less than half of
    // it: relaying the chart out for every new value would cost more than
    // drawing all of its lines.
    const double shownLow = line.axis->min();
    const double shownHigh = line.axis->max();
    const bool inside = low >= shownLow && high <= shownHigh;
    if (inside && (high - low) * 2 >= shownHigh - shownLow)
        return;
    const double span = high > low ? high - low : std::max(1.0, std::abs(high) * 0.1);
    // Ends on whole multiples of a round step, about a tenth of the span,
    // with some room beyond the values.
    const double step = roundStep(span, 10);
    const double newLow = std::floor((low - span * 0.05) / step) * step;
    const double newHigh = std::ceil((high + span * 0.05) / step) * step;
    if (std::isfinite(newLow) && std::isfinite(newHigh) && newHigh > newLow)
        setAxisRange(line.axis, newLow, newHigh, false);
}

void PlotWindow::refresh()
{
    updateStatus();
    bool changed = m_viewChanged;
    for (const Line& line : m_lines)
        changed = changed || line.data->appended() != line.drawnAppended;
    // Paused, the view stands still while the series fill.
    if (!changed || (!m_live && !m_viewChanged))
        return;
    const auto [from, to] = shownUs();
    const int columns = plotColumns();
    for (Line& line : m_lines) {
        line.data->displayPoints(from, to, columns, line.drawn);
        if (autoscale() && !line.data->isLamp())
            fitAxis(line, line.drawn);
        line.drawnAppended = line.data->appended();
    }
    m_linesItem->update();
    const double fromS = static_cast<double>(from) / 1e6;
    const double toS = static_cast<double>(to) / 1e6;
    if (m_timeAxis->min() != fromS || m_timeAxis->max() != toS)
        setAxisRange(m_timeAxis, fromS, toS, false);
    m_viewChanged = false;
    if (m_axesChanged)
        layoutValueAxes();
    if (m_readoutUs)
        m_readout->setText(readoutText());
}

void PlotWindow::paintLines(QPainter& painter) const
{
    const QRectF area = m_chart->plotArea();
    const double t0 = m_timeAxis->min();
    const double tSpan = m_timeAxis->max() - t0;
    if (area.isEmpty() || !(tSpan > 0))
        return;
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPolygonF polygon;
    for (const Line& line : m_lines) {
        const double v0 = line.axis->min();
        const double vSpan = line.axis->max() - v0;
        if (line.drawn.empty() || !(vSpan > 0))
            continue;
        const double sx = area.width() / tSpan;
        const double sy = area.height() / vSpan;
        polygon.resize(static_cast<qsizetype>(line.drawn.size()));
        for (std::size_t i = 0; i < line.drawn.size(); ++i) {
            const QPointF& p = line.drawn[i];
            polygon[static_cast<qsizetype>(i)] = QPointF(area.left() + (p.x() - t0) * sx, area.bottom() - (p.y() - v0) * sy);
        }
        painter.setPen(line.pen);
        if (polygon.size() == 1)
            painter.drawPoint(polygon.front());
        else
            painter.drawPolyline(polygon);
    }
    painter.restore();
}

void PlotWindow::setPaused(bool paused)
{
    if (!paused) {
        goLive();
        return;
    }
    if (m_live) {
        const auto [from, to] = shownUs();
        m_fromUs = from;
        m_toUs = to;
        m_live = false;
    }
    const QSignalBlocker block(m_pause);
    m_pause->setChecked(true);
    updateStatus();
}

void PlotWindow::goLive()
{
    m_live = true;
    {
        const QSignalBlocker block(m_pause);
        m_pause->setChecked(false);
    }
    m_autoscale->setChecked(true);
    m_viewChanged = true;
    refresh();
}

void PlotWindow::setStretch(int index)
{
    Q_UNUSED(index)
    if (!m_live)
        m_fromUs = m_toUs - stretchUs();
    m_viewChanged = true;
    refresh();
}

void PlotWindow::setAutoscale(bool on)
{
    Q_UNUSED(on)
    m_viewChanged = true;
    refresh();
}

void PlotWindow::zoomTo(std::int64_t fromUs, std::int64_t toUs)
{
    if (toUs < fromUs)
        std::swap(fromUs, toUs);
    const std::int64_t width = std::clamp(toUs - fromUs, kShortestZoomUs, PlotSeries::kLongestWindowUs);
    const std::int64_t middle = fromUs / 2 + toUs / 2;
    m_fromUs = std::max<std::int64_t>(0, middle - width / 2);
    m_toUs = m_fromUs + width;
    m_live = false;
    {
        const QSignalBlocker block(m_pause);
        m_pause->setChecked(true);
    }
    m_viewChanged = true;
    refresh();
}

void PlotWindow::zoomToArea(const QRectF& area)
{
    if (m_lines.empty() || area.isEmpty())
        return;
    const QPointF topLeft = m_chart->mapToValue(area.topLeft(), m_lines.front().line);
    const QPointF bottomRight = m_chart->mapToValue(area.bottomRight(), m_lines.front().line);
    // The value axes take the rectangle as they stand now: autoscale would undo it.
    {
        const QSignalBlocker block(m_autoscale);
        m_autoscale->setChecked(false);
    }
    for (Line& line : m_lines) {
        const double top = m_chart->mapToValue(area.topLeft(), line.line).y();
        const double bottom = m_chart->mapToValue(area.bottomRight(), line.line).y();
        if (std::isfinite(top) && std::isfinite(bottom) && top != bottom)
            setAxisRange(line.axis, std::min(top, bottom), std::max(top, bottom), line.data->isLamp());
    }
    zoomTo(std::llround(topLeft.x() * 1e6), std::llround(bottomRight.x() * 1e6));
}

void PlotWindow::wheelZoom(const QPointF& at, double factor)
{
    if (m_lines.empty())
        return;
    const auto [from, to] = shownUs();
    const double t = m_chart->mapToValue(at, m_lines.front().line).x() * 1e6;
    const double share = std::clamp((t - static_cast<double>(from)) / static_cast<double>(to - from), 0.0, 1.0);
    const double width = std::clamp(static_cast<double>(to - from) * factor, static_cast<double>(kShortestZoomUs),
                                    static_cast<double>(PlotSeries::kLongestWindowUs));
    const auto newFrom = static_cast<std::int64_t>(std::llround(t - share * width));
    zoomTo(newFrom, newFrom + static_cast<std::int64_t>(width));
}

void PlotWindow::pointerAt(const QPointF& at)
{
    const QRectF area = m_chart->plotArea();
    if (m_lines.empty() || !area.contains(at)) {
        showReadout(std::nullopt);
        return;
    }
    m_cursor->setLine(at.x(), area.top(), at.x(), area.bottom());
    m_cursor->show();
    showReadout(std::llround(m_chart->mapToValue(at, m_lines.front().line).x() * 1e6));
}

void PlotWindow::showReadout(std::optional<std::int64_t> timeUs)
{
    m_readoutUs = timeUs;
    if (!timeUs)
        m_cursor->hide();
    m_readout->setText(readoutText());
}

QString PlotWindow::readoutText() const
{
    if (!m_readoutUs)
        return QStringLiteral("Drag a rectangle to zoom, turn the wheel to zoom the time, double-click for the live view.");
    QString text = QString::number(static_cast<double>(*m_readoutUs) / 1e6, 'f', 3) + QStringLiteral(" s");
    for (const Line& line : m_lines) {
        text += QStringLiteral("    ") + line.indicator.caption + QStringLiteral(": ");
        const auto point = line.data->pointAtOrBefore(*m_readoutUs);
        text += point ? valueText(*line.data, line.data->valueOf(point->raw), line.indicator.unit) : QStringLiteral("-");
    }
    return text;
}

void PlotWindow::updateStatus()
{
    const QString text = statusText();
    if (m_status->text() != text)
        m_status->setText(text);
}

QString PlotWindow::statusText() const
{
    std::uint64_t points = 0;
    for (const Line& line : m_lines)
        points += line.data->exactCount();
    const bool allEnded = !m_lines.empty() && std::all_of(m_lines.begin(), m_lines.end(), [](const Line& l) { return l.ended; });
    QString text = !m_live ? QStringLiteral("Paused") : allEnded ? QStringLiteral("All lines ended") : QStringLiteral("Live");
    text += QStringLiteral(", %1 values kept").arg(QLocale().toString(static_cast<qulonglong>(points)));
    if (const QString leftOut = m_timeLine.leftOutText(); !leftOut.isEmpty())
        text += QStringLiteral(". ") + leftOut + QStringLiteral(": the plot follows ") + m_timeLine.followedText();
    if (!m_exported.isEmpty())
        text += QStringLiteral(". ") + m_exported;
    return text;
}

void PlotWindow::exportCsv()
{
    if (m_lines.empty())
        return;
    const QString name = m_services.dialogs.saveFileName(
        QStringLiteral("Export CSV"), QDir(m_services.folder).filePath(windowTitle() + QStringLiteral(".csv")),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (name.isEmpty())
        return;
    const auto [from, to] = shownUs();
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        reportFailure(Failure(FailureCode::PathNotFound), QStringLiteral("ExportCsv"),
                      QStringLiteral(" with Filename=") + name);
        return;
    }
    std::vector<csv::Source> sources;
    std::int64_t exactFrom = from;
    for (int i = 0; i < seriesCount(); ++i) {
        const PlotSeries& s = series(i);
        sources.push_back({&s, csv::field(seriesName(i))});
        if (s.appended() != s.exactCount())
            exactFrom = std::max(exactFrom, s.oldestExactUs());
    }
    const std::int64_t rows = csv::writeSeries(file, sources, from, to);
    file.close();
    if (rows < 0 || file.error() != QFileDevice::NoError) {
        reportFailure(Failure(FailureCode::DeviceIoError), QStringLiteral("ExportCsv"),
                      QStringLiteral(" with Filename=") + name);
        return;
    }
    m_exported = QStringLiteral("%1 rows exported to %2").arg(QLocale().toString(rows), QFileInfo(name).fileName());
    // The oldest values of a long stretch may be kept only as the plot draws them.
    if (exactFrom > from)
        m_exported += QStringLiteral(" (each value from %1 s on)").arg(static_cast<double>(exactFrom) / 1e6, 0, 'f', 3);
    updateStatus();
}

void PlotWindow::showEvent(QShowEvent* event)
{
    MdiChild::showEvent(event);
    m_viewChanged = true;
    m_timer->start();
}

void PlotWindow::hideEvent(QHideEvent* event)
{
    m_timer->stop();
    MdiChild::hideEvent(event);
}

}  // namespace tellvane
