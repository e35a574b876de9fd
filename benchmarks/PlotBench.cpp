// Plots under the heaviest load of the bus: ten plotted values, each given by
// 5,319 decoded frames a second (a 500 kbit/s bus full of 8-byte frames), for
// a simulated hour, with generated times.
//
//   PlotAppendHour: the time of one append, and what the ten series hold
//     after the hour (bounded: the hour's exact points up to the cap, and the
//     buckets).
//   PlotWindowHour: the same hour fed into a shown plot window in 10 ms ticks
//     of the poll, and the window refreshed as its timer does, every 100 ms,
//     for the first two seconds of each minute (the last 30 s shown one
//     minute, the whole hour the next), the scene's paint done by the event
//     loop (offscreen). The window is opened and painted once, empty, before.
//     The longest refresh and paint after the first (which draws the first
//     lines and labels and fills the font caches; given apart), the longest
//     tick of appends, and the longest of them all: what holds the GUI thread
//     longest. Wall-clock times, with the thread's processor time beside the
//     longest on a shared machine.
//
// Run: build/default/bin/tellvane_benchmarks --benchmark_filter=Plot

#include "Doubles.h"
#include "diagnostics/IndicatorInfo.h"
#include "plot/PlotSeries.h"
#include "plot/PlotWindow.h"


#include <QCoreApplication>
#include <QLineSeries>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <ctime>
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
constexpr std::int64_t kDrawEveryUs = PlotWindow::kRefreshMs * std::int64_t{1000};

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The processor time of this thread, in ms: on a machine shared with other
// work the wall clock also counts the time the thread waited for a core.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The raw number of series s at frame n: a slow wave, noise and now and then
// a spike; from a table, so that making the numbers costs little beside
// appending them.
double rawAt(int s, std::int64_t n)
{
    static const std::vector<double> wave = [] {
        std::vector<double> w(1 << 16);
        for (std::size_t i = 0; i < w.size(); ++i)
            w[i] = 2000.0 + 1500.0 * std::sin(2 * M_PI * static_cast<double>(i) / static_cast<double>(w.size()));
        return w;
    }();
    const auto phase = static_cast<std::size_t>((n * (s + 1)) >> 4) & (wave.size() - 1);
    const double noise = static_cast<double>((static_cast<std::uint64_t>(n) * 2654435761u + static_cast<std::uint64_t>(s)) % 64);
    return (n % 100'003 == 17) ? 60000.0 : wave[phase] + noise;
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
        const double cpuStart = threadCpuMs();
        for (std::int64_t n = 0; n < frames; ++n) {
            const std::int64_t t = frameTimeUs(n);
            for (int s = 0; s < kSeries; ++s)
                series[static_cast<std::size_t>(s)]->append(t, rawAt(s, n));
        }
        const double ms = msSince(start);
        const double cpuMs = threadCpuMs() - cpuStart;
        std::size_t bytes = 0;
        std::uint64_t kept = 0;
        for (const auto& s : series) {
            bytes += s->bytesReserved();
            kept += s->exactCount();
        }
        state.counters["appends"] = static_cast<double>(frames * kSeries);
        state.counters["ns_per_append"] = ms * 1e6 / static_cast<double>(frames * kSeries);
        state.counters["cpu_ns_per_append"] = cpuMs * 1e6 / static_cast<double>(frames * kSeries);
        state.counters["exact_points_kept"] = static_cast<double>(kept);
        state.counters["series_MB_after_1h"] = static_cast<double>(bytes) / (1 << 20);
        benchmark::DoNotOptimize(series.back()->newestUs());
    }
}
BENCHMARK(PlotAppendHour)->Unit(benchmark::kMillisecond)->Iterations(1);

void PlotWindowHour(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        test::FakeDialogs dialogs;
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
        // Opened as the program opens it: laid out and painted once, with no values yet.
        QCoreApplication::processEvents();
        double longestTickMs = 0;
        double totalDrawMs = 0;
        double longestRefreshMs = 0;
        double longestDrawCpuMs = 0;
        std::vector<double> drawTimes;
        double firstDrawMs = 0;
        double longestTickCpuMs = 0;
        double longestPaintMs = 0;
        int draws = 0;
        std::int64_t n = 0;
        for (std::int64_t tickEnd = kTickUs; tickEnd <= kHourUs; tickEnd += kTickUs) {
            // The frames of one poll tick, decoded and appended.
            const auto tickStart = Clock::now();
            const double tickCpuStart = threadCpuMs();
            for (; frameTimeUs(n) < tickEnd; ++n) {
                const std::int64_t t = frameTimeUs(n);
                for (int s = 0; s < kSeries; ++s)
                    series[static_cast<std::size_t>(s)]->append(t, rawAt(s, n));
            }
            longestTickMs = std::max(longestTickMs, msSince(tickStart));
            longestTickCpuMs = std::max(longestTickCpuMs, threadCpuMs() - tickCpuStart);
            // Drawn as the refresh timer draws, every 100 ms, for the first
            // two seconds of every minute.
            if (tickEnd % kDrawEveryUs != 0 || tickEnd % 60'000'000 > 2'000'000)
                continue;
            // The refresh timer's work, and the paint the scene then asks for.
            const auto drawStart = Clock::now();
            const double drawCpuStart = threadCpuMs();
            window.refresh();
            const double refreshMs = msSince(drawStart);
            longestRefreshMs = std::max(longestRefreshMs, refreshMs);
            const auto paintStart = Clock::now();
            QCoreApplication::processEvents();
            longestPaintMs = std::max(longestPaintMs, msSince(paintStart));
            const double ms = msSince(drawStart);
            if (draws > 0)
                longestDrawCpuMs = std::max(longestDrawCpuMs, threadCpuMs() - drawCpuStart);
            if (draws == 0)
                firstDrawMs = ms;
            else
                drawTimes.push_back(ms);  // the first lays the chart out and fills the font caches
            totalDrawMs += ms;
            ++draws;
            // Every other minute shows the whole hour.
            if (tickEnd % 60'000'000 == 2'000'000) {
                const bool wholeHour = (tickEnd / 60'000'000) % 2 == 0;
                window.setStretch(wholeHour ? static_cast<int>(PlotWindow::kStretches.size()) - 1
                                            : PlotWindow::kDefaultStretch);
            }
        }
        std::sort(drawTimes.begin(), drawTimes.end());
        std::size_t bytes = 0;
        for (PlotSeries* s : series)
            bytes += s->bytesReserved();
        state.counters["longest_refresh_and_paint_ms"] = drawTimes.back();  // after the first
        state.counters["longest_refresh_ms"] = longestRefreshMs;
        state.counters["longest_refresh_and_paint_cpu_ms"] = longestDrawCpuMs;  // after the first
        state.counters["draws"] = draws;
        state.counters["longest_tick_of_appends_cpu_ms"] = longestTickCpuMs;
        state.counters["longest_paint_ms"] = longestPaintMs;
        state.counters["p50_refresh_and_paint_ms"] = drawTimes[drawTimes.size() / 2];
        state.counters["p99_refresh_and_paint_ms"] = drawTimes[drawTimes.size() * 99 / 100];
        state.counters["first_refresh_and_paint_ms"] = firstDrawMs;
        state.counters["mean_refresh_and_paint_ms"] = totalDrawMs / draws;
        state.counters["longest_tick_of_appends_ms"] = longestTickMs;
        state.counters["longest_gui_block_ms"] = std::max({firstDrawMs, drawTimes.back(), longestTickMs});
        state.counters["points_drawn_last"] = static_cast<double>(window.drawnPoints(0).size());
        state.counters["series_MB_after_1h"] = static_cast<double>(bytes) / (1 << 20);
    }
}
BENCHMARK(PlotWindowHour)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tellvane::bench
