// Plots under the heaviest load of the bus: ten plotted values, each given by
// 5,319 decoded frames a second (a 500 kbit/s bus full of 8-byte frames), for
// a simulated hour, with generated times.
//
//   PlotAppendHour: the time of one append, and what the ten series hold
//     after the hour (bounded: the hour's exact points up to the cap, and the
//     buckets).
//   PlotWindowHour: the same hour fed into a shown plot window in 10 ms ticks
//     of the poll, the window refreshed and painted (offscreen) as its timer
//     would; the longest refresh and paint, and the longest the GUI thread is
//     held by either a tick's appends or a refresh and paint. Every tenth
//     second of the hour is drawn, half of them showing the last 30 s and
//     half the whole hour.

#include "diagnostics/IndicatorInfo.h"
#include "plot/PlotChartView.h"
#include "plot/PlotSeries.h"
#include "plot/PlotWindow.h"

#include "core/Dialogs.h"

#include <QCoreApplication>
#include <QLineSeries>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

constexpr int kSeries = 10;
constexpr int kFramesPerSecond = 5319;
constexpr std::int64_t kHourUs = std::int64_t{3600} * 1'000'000;
constexpr std::int64_t kTickUs = 10'000;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The raw number of series s at frame n: a slow wave, noise and now and then a spike.
double rawAt(int s, std::int64_t n)
{
    const double wave = 2000.0 + 1500.0 * std::sin(static_cast<double>(n) * 1e-4 * (s + 1));
    const double noise = static_cast<double>((n * 2654435761u + static_cast<std::uint64_t>(s)) % 64);
    return (n % 100'003 == 17) ? 60000.0 : wave + noise;
}

std::int64_t frameTimeUs(std::int64_t n)
{
    return n * 1'000'000 / kFramesPerSecond;
}

void PlotAppendHour(benchmark::State& state)
{
    const std::int64_t frames = std::int64_t{kFramesPerSecond} * 3600;
    for (auto _ : state) {
        std::vector<std::unique_ptr<PlotSeries>> series;
        for (int s = 0; s < kSeries; ++s)
            series.push_back(std::make_unique<PlotSeries>(s % 2 == 1, PlotSeries::Scale::Linear, 0.1f, -40.0f));
        const auto start = Clock::now();
        for (std::int64_t n = 0; n < frames; ++n) {
            const std::int64_t t = frameTimeUs(n);
            for (int s = 0; s < kSeries; ++s)
                series[static_cast<std::size_t>(s)]->append(t, rawAt(s, n));
        }
        const double ms = msSince(start);
        std::size_t bytes = 0;
        std::uint64_t kept = 0;
        for (const auto& s : series) {
            bytes += s->bytesReserved();
            kept += s->exactCount();
        }
        state.counters["appends"] = static_cast<double>(frames * kSeries);
        state.counters["ns_per_append"] = ms * 1e6 / static_cast<double>(frames * kSeries);
        state.counters["exact_points_kept"] = static_cast<double>(kept);
        state.counters["series_MB_after_1h"] = static_cast<double>(bytes) / (1 << 20);
        benchmark::DoNotOptimize(series.back()->newestUs());
    }
}
BENCHMARK(PlotAppendHour)->Unit(benchmark::kMillisecond)->Iterations(1);

class NoDialogs final : public Dialogs {
public:
    void information(const QString&, const QString&) override {}
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    bool question(const QString&, const QString&) override { return false; }
    void beep() override {}
};

void PlotWindowHour(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        NoDialogs dialogs;
        PlotWindow window(QStringLiteral("Plot 1"), PlotWindowServices{dialogs, dir.path()}, {});
        window.resize(1000, 640);
        window.show();
        std::vector<PlotSeries*> series;
        for (int s = 0; s < kSeries; ++s) {
            IndicatorInfo info;
            info.cntrlIndex = static_cast<std::int16_t>(s);
            info.caption = QStringLiteral("Value %1").arg(s);
            info.m = 0.1f;
            info.b = -40.0f;
            info.isSigned = s % 2 == 1;
            series.push_back(window.addSeries(QStringLiteral("Board 1201-0003 [33]"), info));
        }
        QWidget* view = window.chartView()->viewport();
        double longestTickMs = 0;
        double longestDrawMs = 0;
        double totalDrawMs = 0;
        double longestRefreshMs = 0;
        double longestPaintMs = 0;
        int draws = 0;
        std::int64_t n = 0;
        for (std::int64_t tickEnd = kTickUs; tickEnd <= kHourUs; tickEnd += kTickUs) {
            // The frames of one poll tick, decoded and appended.
            const auto tickStart = Clock::now();
            for (; frameTimeUs(n) < tickEnd; ++n) {
                const std::int64_t t = frameTimeUs(n);
                for (int s = 0; s < kSeries; ++s)
                    series[static_cast<std::size_t>(s)]->append(t, rawAt(s, n));
            }
            longestTickMs = std::max(longestTickMs, msSince(tickStart));
            if (tickEnd % 10'000'000 != 0)
                continue;
            // The refresh timer's work, and the paint it asks for.
            const auto drawStart = Clock::now();
            window.refresh();
            const double refreshMs = msSince(drawStart);
            longestRefreshMs = std::max(longestRefreshMs, refreshMs);
            const auto paintStart = Clock::now();
            QCoreApplication::processEvents();  // the scene's changes, posted by the refresh
            view->repaint();
            longestPaintMs = std::max(longestPaintMs, msSince(paintStart));
            const double ms = msSince(drawStart);
            longestDrawMs = std::max(longestDrawMs, ms);
            totalDrawMs += ms;
            ++draws;
            // The next drawing shows the other stretch.
            const bool wholeHour = (tickEnd / 10'000'000) % 2 == 1;
            window.setStretch(wholeHour ? static_cast<int>(PlotWindow::kStretches.size()) - 1 : PlotWindow::kDefaultStretch);
        }
        std::size_t bytes = 0;
        for (PlotSeries* s : series)
            bytes += s->bytesReserved();
        state.counters["longest_refresh_and_paint_ms"] = longestDrawMs;
        state.counters["longest_refresh_ms"] = longestRefreshMs;
        state.counters["longest_paint_ms"] = longestPaintMs;
        state.counters["mean_refresh_and_paint_ms"] = totalDrawMs / draws;
        state.counters["longest_tick_of_appends_ms"] = longestTickMs;
        state.counters["longest_gui_block_ms"] = std::max(longestDrawMs, longestTickMs);
        state.counters["points_drawn_last"] = static_cast<double>(window.lineSeries(0)->count());
        state.counters["series_MB_after_1h"] = static_cast<double>(bytes) / (1 << 20);
    }
}
BENCHMARK(PlotWindowHour)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tellvane::bench
