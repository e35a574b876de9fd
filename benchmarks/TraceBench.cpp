#include "BenchSupport.h"

#include "can/AdapterRecord.h"
#include "trace/TraceRing.h"
#include "trace/TraceTableModel.h"
#include "trace/TraceView.h"

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

// A full ring of the busy bus's frames.
void fillRing(TraceRing& ring)
{
    const std::vector<Adapter::Record> records = busyBusRecords(4096);
    for (std::size_t i = 0; i < ring.capacity(); ++i) {
        const CanMessage m = decodeRecord(records[i % records.size()]);
        TraceFrame f;
        f.id = static_cast<std::uint32_t>(m.id);
        f.length = m.length;
        std::copy_n(m.data.begin(), 8, f.data.begin());
        f.timeUs = static_cast<std::int64_t>(i) * 188;
        ring.append(f);
    }
}

// Appending to the ring of a million with a view that takes every frame in.
// bytes_per_frame: what the ring and the view took, a frame; with the table
// paused its frozen copy comes on top (bytes_per_frame_paused). At most 64.
void BM_TraceAppend(benchmark::State& state)
{
    TraceRing ring;
    TraceView view(ring);
    TraceFrame f;
    f.length = 8;
    for (auto _ : state) {
        ++f.timeUs;
        f.id = static_cast<std::uint32_t>(f.timeUs) & 0x1FFFFFFF;
        ring.append(f);
        view.update();
    }
    state.SetItemsProcessed(state.iterations());

    const double perFrame = static_cast<double>(ring.bytesReserved() + view.bytesReserved()) / ring.capacity();
    const double paused = perFrame + sizeof(TraceFrame);
    state.counters["bytes_per_frame"] = perFrame;
    state.counters["bytes_per_frame_paused"] = paused;
    if (paused > 64)
        state.SkipWithError("more than 64 bytes a frame");
}
BENCHMARK(BM_TraceAppend);

// A new filter over a full ring of a million frames: goal under 200 ms.
void BM_TraceRefilter(benchmark::State& state)
{
    TraceRing ring;
    fillRing(ring);
    TraceView view(ring);
    const QString expressions[] = {QStringLiteral("pgn=FEF1 rx"), QStringLiteral("id=18EF0000/1FFF0000 !src=21"),
                                   QStringLiteral("data=?? 1? ?? ?? ?? ?? ?? 3?")};
    std::size_t n = 0;
    for (auto _ : state) {
        if (view.setFilterExpression(expressions[n++ % 3]).has_value()) {
            state.SkipWithError("a filter did not parse");
            return;
        }
        benchmark::DoNotOptimize(view.size());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(ring.size()));
}
BENCHMARK(BM_TraceRefilter)->Unit(benchmark::kMillisecond);

// Pausing the table over a full ring copies what it shows.
void BM_TracePause(benchmark::State& state)
{
    TraceRing ring;
    fillRing(ring);
    TraceView view(ring);
    TraceTableModel model(view);
    for (auto _ : state) {
        model.setPaused(true);
        model.setPaused(false);
    }
}
BENCHMARK(BM_TracePause)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tellvane::bench
