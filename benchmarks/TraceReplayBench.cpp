#include "core/Clock.h"
#include "logs/TraceReplay.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace tellvane::bench {
namespace {

// How late frames leave a replay at speed 1: a log of `seconds` at `rate`
// frames a second (5,319 is a full bus of extended frames at 250 kbit/s)
// played as tellvane-cli plays it, poll and sleep. Counters: the 99th
// percentile and the largest lateness in microseconds. Goal: p99 under 1 ms.
void measureReplay(benchmark::State& state, Clock& clock, int seconds, int rate)
{
    std::vector<std::int64_t> times;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(seconds) * rate; ++i)
        times.push_back(i * 1'000'000 / rate + (i % 7) * 13);  // not quite regular
    std::vector<std::int64_t> lateness;
    lateness.reserve(times.size());
    for (auto _ : state) {
        lateness.clear();
        std::size_t next = 0;
        std::int64_t startUs = 0;
        TraceReplay replay(
            clock,
            [&](TraceFrame& f) {
                if (next >= times.size())
                    return false;
                f.timeUs = times[next++];
                return true;
            },
            {},
            [&](const TraceFrame& f) {
                const std::int64_t now = clock.nowMicroseconds();
                if (lateness.empty())
                    startUs = now;
                lateness.push_back(now - (startUs + f.timeUs));
            });
        while (auto due = replay.poll())
            clock.sleepUntilUs(*due);
    }
    std::sort(lateness.begin(), lateness.end());
    state.counters["frames"] = static_cast<double>(lateness.size());
    state.counters["p99_us"] = static_cast<double>(lateness[lateness.size() * 99 / 100]);
    state.counters["max_us"] = static_cast<double>(lateness.back());
}

void BM_ReplayTimingAccelerated(benchmark::State& state)
{
    FakeClock clock;
    measureReplay(state, clock, 60, 5319);
}
BENCHMARK(BM_ReplayTimingAccelerated)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReplayTimingRealTime(benchmark::State& state)
{
    RealClock clock;
    measureReplay(state, clock, 3, 2000);
}
BENCHMARK(BM_ReplayTimingRealTime)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace tellvane::bench
