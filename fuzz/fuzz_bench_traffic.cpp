// A bench file's boards and traffic run on the bridge for a simulated second:
// whatever the file asks for, the traffic it keeps fits its bus, every pump
// ends within its bound, and what the boards sent either went out or failed.

#include "FuzzSupport.h"

#include "can/Adapter.h"
#include "can/AdapterRecord.h"
#include "core/Clock.h"
#include "sim/BenchBridge.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"

#include <cstdint>

using namespace tellvane;

namespace {

// The outside bus: takes every frame, and brings a tool's link probe now and then.
class FarBus final : public test::QuietAdapter {
public:
    std::uint64_t sent = 0;
    int probes = 0;

    std::int16_t getCanMess(Record& record) override
    {
        if (probes <= 0)
            return 0;
        --probes;
        record = encodeRecord(0, 0, nullptr, 0, std::nullopt);
        return 1;
    }
    std::int16_t getNumCanMess() override { return probes; }
    std::int16_t sendCanMess(std::uint32_t, std::uint8_t, std::uint8_t length, const std::uint8_t*) override
    {
        FUZZ_CHECK(length <= 8);
        ++sent;
        return 1;
    }
    QString name() const override { return QStringLiteral("far"); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::ensureApplication();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const BenchSpec spec = parseBench(text, QStringLiteral("fuzz"));
    const int carried = spec.bitRate > 0 ? spec.bitRate : BenchSpec::kBoardsBitRate;
    FUZZ_CHECK(trafficBitsPerSecond(spec.traffic) <= carried);
    FUZZ_CHECK(spec.traffic.empty() || trafficBitsPerSecond(spec.traffic) == spec.trafficBitsPerSecond);
    // Many boards make each input slow, not different.
    if (spec.boards.size() > 64)
        return 0;

    FakeClock clock;
    SimAdapter bench(clock);
    buildBench(bench, spec);
    FarBus outside;
    BenchBridge bridge(bench, outside);
    FUZZ_CHECK(bridge.start() == 1);
    std::uint64_t moved = 0;
    for (int step = 0; step < 20; ++step) {
        if (step == 10)
            outside.probes = 3;  // a tool joins: the boards announce again
        clock.advanceMs(50);
        const int n = bridge.pump();
        FUZZ_CHECK(n >= 0 && n <= 2 * BenchBridge::kMaxFramesPerPump);
        moved += static_cast<std::uint64_t>(n);
    }
    FUZZ_CHECK(bridge.framesOut() + bridge.sendFailures() == outside.sent);
    FUZZ_CHECK(bridge.framesIn() <= moved);
    return 0;
}
