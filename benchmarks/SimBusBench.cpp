#include "BenchSupport.h"

#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/LineListModel.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorStatus.h"
#include "sim/SimAdapter.h"
#include "sim/TrafficNode.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

// Counts what the link routes: every received message, none of the tool's own.
class CountingRouter final : public MessageRouter {
public:
    void processCanMessage(const CanMessage&) override { ++count; }
    std::int64_t count = 0;
};

// A fully loaded bus: a frame every 188 us, 5,319 frames a second, spread over
// eight streams with their own identifiers.
constexpr int kStreams = 8;
constexpr std::int64_t kFrameSpacingUs = 188;
constexpr std::int64_t kStreamPeriodUs = kStreams * kFrameSpacingUs;
constexpr std::int64_t kFirstFrameUs = 1000;
constexpr int kPollMs = 25;

// Frames the streams have put on the bus up to a time.
std::int64_t framesUpTo(std::int64_t us)
{
    std::int64_t frames = 0;
    for (int k = 0; k < kStreams; ++k) {
        const std::int64_t first = kFirstFrameUs + k * kFrameSpacingUs;
        if (us >= first)
            frames += (us - first) / kStreamPeriodUs + 1;
    }
    return frames;
}

// The simulated bench under full load, polled every 25 ms of simulated time as
// the program's poll timer does, with the monitor showing and saving every
// message. The rate of interest is simulated seconds per real second: below 1
// the bench could not keep up with the bus it simulates.
void BM_SimBusFullLoad(benchmark::State& state)
{
    ErrorCollector errors;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const QString logFile = dir.filePath(QStringLiteral("bench.log"));

    FakeClock clock;
    SimAdapter adapter(clock);
    auto& traffic = adapter.bus().emplaceNode<TrafficNode>();
    for (int k = 0; k < kStreams; ++k) {
        const auto b = static_cast<std::uint8_t>(k);
        traffic.addStream(makeFrame(0x18EFFF21u + static_cast<std::uint32_t>(k) * 0x10000u,
                                    {b, 0x00, 0x12, 0x34, 'A', 'B', 0x00, 0xFF}),
                          kStreamPeriodUs, kFirstFrameUs + k * kFrameSpacingUs, k);
    }

    CanLink link(adapter, clock);
    link.setTimerIntervalMs(kPollMs);
    LineListModel list(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit);
    MessageLogger logger(list);
    logger.options().displayLive = true;
    logger.options().showAscii = true;
    logger.options().saveToFile = true;
    logger.saveLog().setFileName(logFile);
    logger.openSaveLogFile();
    MonitorStatus status(link);
    CountingRouter router;
    link.setStatusView(&status);
    link.setMessageSink(&logger);
    link.setRouter(&router);

    // The first tick probes and configures the adapter.
    link.pollTick();
    if (link.interfaceState() != InterfaceState::Ok || !logger.saveLog().isOpen()) {
        state.SkipWithError("the bench did not come up");
        return;
    }
    const std::int64_t startUs = clock.nowMicroseconds();

    for (auto _ : state) {
        clock.advanceMs(kPollMs);
        link.pollTick();
        list.flush();
        QCoreApplication::processEvents();
    }
    const std::int64_t endUs = clock.nowMicroseconds();
    const double simulatedSeconds = static_cast<double>(endUs - startUs) / 1e6;
    state.SetItemsProcessed(router.count);
    state.counters["sim_s_per_s"] = benchmark::Counter(simulatedSeconds, benchmark::Counter::kIsRate);

    // The bench carried the full load and the monitor kept every line of it:
    // the received frames and the probe the first tick sent.
    logger.flushSaveLog();
    const std::int64_t expected = framesUpTo(endUs);
    if (!errors.messages.isEmpty())
        state.SkipWithError(("error reported: " + errors.firstError()).c_str());
    else if (adapter.dropped() != 0)
        state.SkipWithError("the adapter's receive queue overflowed");
    else if (router.count != expected)
        state.SkipWithError("not every frame on the bus was received");
    else if (fileBytes(logFile) != (expected + 1) * messageline::kRecordBytes)
        state.SkipWithError("the save log does not hold one record per message");
}
BENCHMARK(BM_SimBusFullLoad);

}  // namespace
}  // namespace tellvane::bench
