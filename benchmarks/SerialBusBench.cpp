#include "adapters/SerialBusAdapter.h"
#include "can/AdapterRecord.h"
#include "core/Clock.h"

#include <QCanBusDevice>
#include <QCanBusFrame>

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

// A device that is connected at once and receives what it is handed.
class LoopDevice final : public QCanBusDevice {
public:
    void receive(const QList<QCanBusFrame>& frames) { enqueueReceivedFrames(frames); }
    bool writeFrame(const QCanBusFrame&) override { return true; }
    QString interpretErrorFrame(const QCanBusFrame&) override { return {}; }

protected:
    bool open() override
    {
        setState(ConnectedState);
        return true;
    }
    void close() override { setState(UnconnectedState); }
};

// A plugin's device to the link: state.range(0) frames arrive in the device
// thread (filtered, stamped, queued), then the window thread drains them as
// records. The frames' own handling in the device is part of the figure.
void BM_SerialBusReceive(benchmark::State& state)
{
    const int perDrain = static_cast<int>(state.range(0));
    RealClock clock;
    LoopDevice* device = nullptr;
    SerialBusAdapter adapter(
        QStringLiteral("loop"),
        [&device](QString*) {
            auto made = std::make_unique<LoopDevice>();
            device = made.get();
            return std::unique_ptr<QCanBusDevice>(std::move(made));
        },
        {false, false, 0, {}}, clock);
    if (adapter.resetInterface() != 1 || !device) {
        state.SkipWithError("the device did not connect");
        return;
    }
    adapter.enableTs();
    QList<QCanBusFrame> frames;
    for (int i = 0; i < perDrain; ++i) {
        QCanBusFrame frame(0x18FEF100u + static_cast<std::uint32_t>(i % 4), QByteArray(8, static_cast<char>(i)));
        frame.setExtendedFrameFormat(true);
        frames.append(frame);
    }
    std::int64_t drained = 0;
    Adapter::Record record{};
    for (auto _ : state) {
        SerialBusAdapter::runInDeviceThread([&] { device->receive(frames); });
        while (adapter.getCanMess(record) == 1)
            ++drained;
    }
    state.SetItemsProcessed(drained);
    if (drained != static_cast<std::int64_t>(state.iterations()) * perDrain)
        state.SkipWithError("frames were lost");
    else if (adapter.dropped() != 0)
        state.SkipWithError("the queue overflowed");
}
// Two threads take part: the figure is of wall-clock time.
BENCHMARK(BM_SerialBusReceive)->Arg(100)->Arg(1500)->UseRealTime();

}  // namespace
}  // namespace tellvane::bench
