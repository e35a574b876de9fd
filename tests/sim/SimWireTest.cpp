#include "can/CanFrameBits.h"
#include "core/Clock.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"
#include "sim/TrafficNode.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace tellvane;

namespace {

constexpr int kRate = 250000;  // 4 us a bit

// Hears every frame on the bus, with its time.
class Listener final : public SimNode {
public:
    std::vector<SimFrame> frames;
    std::vector<std::int64_t> at;
    void receive(const SimFrame& frame, std::int64_t atUs) override
    {
        frames.push_back(frame);
        at.push_back(atUs);
    }
};

// A node's frame: extended when its identifier needs more than 11 bits.
int bitsOf(const SimFrame& f, bool fromTool = false)
{
    return CanFrameBits::frameBits(f.id, fromTool || f.id > 0x7FF, f.length, f.data.data());
}
std::int64_t usOf(const SimFrame& f, bool fromTool = false)
{
    return static_cast<std::int64_t>(bitsOf(f, fromTool)) * 1000000 / kRate;
}

struct Wire : ::testing::Test {
    FakeClock clock;
    SimAdapter adapter{clock};
    SimBus& bus = adapter.bus();
    Listener& listener = bus.emplaceNode<Listener>();

    Wire() { bus.setBitRate(kRate); }

    std::vector<CanMessage> drain() { return test::drainMessages(adapter); }
    void runTo(std::int64_t us)
    {
        clock.setMicroseconds(us);
        bus.runUntilNow();
    }
};

TEST_F(Wire, FramesQueueBehindABusyBus)
{
    adapter.enableTs();
    const SimFrame a = makeFrame(0x18EFFF21, {1, 2, 3, 4, 5, 6, 7, 8});
    const SimFrame b = makeFrame(0x0CF00400, {0xAA});  // higher priority, but the bus is taken
    bus.transmit(a, 1000, nullptr);
    bus.transmit(b, 1100, nullptr);
    const std::int64_t aEnd = 1000 + usOf(a);
    const std::int64_t bEnd = aEnd + usOf(b);
    EXPECT_EQ(bus.nextEventUs(), aEnd) << "the first frame's arrival, not its start";

    runTo(aEnd - 1);
    EXPECT_TRUE(listener.frames.empty()) << "nothing arrives before its last bit";
    EXPECT_EQ(bus.nextEventUs(), aEnd);
    runTo(aEnd);
    ASSERT_EQ(listener.frames.size(), 1u);
    EXPECT_EQ(listener.at[0], aEnd);
    EXPECT_EQ(bus.nextEventUs(), bEnd) << "the second starts when the first has left the bus";
    runTo(bEnd + 5000);
    ASSERT_EQ(listener.frames.size(), 2u);
    EXPECT_EQ(listener.frames[1].id, b.id);
    EXPECT_EQ(listener.at[1], bEnd);
    EXPECT_EQ(bus.nextEventUs(), kNever);

    // The tool's port hears both at the same times.
    const auto received = drain();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_NEAR(received[0].time, static_cast<double>(aEnd / 8 * 8) / 1e6, 1e-9);
    EXPECT_NEAR(received[1].time, static_cast<double>(bEnd / 8 * 8) / 1e6, 1e-9);

    EXPECT_EQ(bus.framesCarried(), 2u);
    EXPECT_EQ(bus.busyBits(), static_cast<std::uint64_t>(bitsOf(a) + bitsOf(b)));
    EXPECT_EQ(bus.busyNs(), (bEnd - 1000) * 1000);
}

TEST_F(Wire, FramesReadyTogetherGoInArbitrationOrder)
{
    const SimFrame first = makeFrame(0x18EFFF21, {0x10});  // alone on an idle bus: it goes at once
    const SimFrame lowest = makeFrame(0x18EFFF21, {0x11});
    const SimFrame extended0CF = makeFrame(0x0CF00400, {0x12});
    const SimFrame standard123 = makeFrame(0x123, {0x13});
    const SimFrame extended123 = makeFrame(0x123u << 18 | 5, {0x14});
    const SimFrame standard124 = makeFrame(0x124, {0x15});
    bus.transmit(first, 900, nullptr);
    for (const SimFrame& f : {lowest, standard124, extended0CF, extended123, standard123})
        bus.transmit(f, 1000, nullptr);
    runTo(100000);

    // Same base identifier 0x123: the standard frame's dominant RTR beats the
    // extended frame's recessive SRR; then the base identifiers 0x124, 0x33C, 0x63B.
    const std::vector<std::uint8_t> order = {0x10, 0x13, 0x14, 0x15, 0x12, 0x11};
    ASSERT_EQ(listener.frames.size(), order.size());
    std::int64_t end = 900;
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(listener.frames[i].data[0], order[i]) << i;
        end += usOf(listener.frames[i]);
        EXPECT_EQ(listener.at[i], end) << "back to back from the first frame on: " << i;
    }

    // A frame sent while others wait takes the next turn when it ranks above them.
    listener.frames.clear();
    listener.at.clear();
    bus.transmit(makeFrame(0x18EFFF21, {0x20}), 200000, nullptr);
    bus.transmit(makeFrame(0x18EFFF22, {0x21}), 200000, nullptr);
    bus.transmit(makeFrame(0x18EFFF23, {0x22}), 200000, nullptr);
    bus.transmit(makeFrame(0x100, {0x23}), 200100, nullptr);
    runTo(300000);
    ASSERT_EQ(listener.frames.size(), 4u);
    EXPECT_EQ(listener.frames[0].data[0], 0x20);
    EXPECT_EQ(listener.frames[1].data[0], 0x23);
    EXPECT_EQ(listener.frames[2].data[0], 0x21);
    EXPECT_EQ(listener.frames[3].data[0], 0x22);
}

// A tool packet and its acknowledgement on the wire, each line of a download
// taking exactly their bits: the downloader's test on the wire.

TEST_F(Wire, DiagnosticTrafficOfSeveralBoardsQueues)
{
    std::vector<SimBoard*> boards;
    for (int i = 0; i < 3; ++i)
        boards.push_back(&bus.emplaceNode<SimBoard>(SimBoardSpec{.address = 0x21 + i}, i));
    // Diagnostic mode for all three at once: the tool's frames queue too.
    for (std::uint32_t a = 0x21; a <= 0x23; ++a) {
        const std::uint8_t on[] = {0xFE, '$', '1', 'X', '1'};
        ASSERT_EQ(adapter.sendCanMess(0x98EF00F9u | a << 8, 7, 5, on), 1);
    }
    std::size_t received = 0;
    for (int ms = 0; ms < 1000; ms += 25) {
        clock.advanceMs(25);
        received += drain().size();
    }
    for (SimBoard* b : boards)
        EXPECT_TRUE(b->diagnosticMode());

    // The tool's three frames, then three frames a board every 100 ms.
    ASSERT_GE(listener.frames.size(), 3u + 3u * 29u);
    EXPECT_LE(listener.frames.size(), 3u + 3u * 30u);
    EXPECT_EQ(received, listener.frames.size() - 3) << "the tool does not hear its own frames";
    std::map<std::uint32_t, int> perBoard;
    for (std::size_t i = 3; i < listener.frames.size(); ++i)
        ++perBoard[listener.frames[i].id];
    for (const auto& [id, count] : perBoard)
        EXPECT_GE(count, 29) << std::hex << id;

    std::uint64_t bits = 0;
    int backToBack = 0;
    for (std::size_t i = 0; i < listener.frames.size(); ++i) {
        const bool fromTool = i < 3;
        bits += static_cast<std::uint64_t>(bitsOf(listener.frames[i], fromTool));
        if (i > 0) {
            const std::int64_t gap = listener.at[i] - listener.at[i - 1];
            ASSERT_GE(gap, usOf(listener.frames[i], fromTool)) << "frames never overlap: " << i;
            backToBack += gap == usOf(listener.frames[i], fromTool);
        }
    }
    EXPECT_EQ(bus.busyBits(), bits);
    EXPECT_EQ(bus.busyNs(), static_cast<std::int64_t>(bits) * 4000);
    EXPECT_EQ(bus.framesCarried(), listener.frames.size());
    // Frames of a board follow 0.5 ms apart and take longer than that.
    EXPECT_GE(backToBack, 3 * 2 * 9);
}

TEST_F(Wire, BackToBackFramesDoNotDriftAndAFullQueueLosesFrames)
{
    // 300 kbit/s: a bit is 3333.3 ns, so every frame's end is rounded to the
    // microsecond on its own but timed from the start of the run.
    bus.setBitRate(300000);
    auto& traffic = bus.emplaceNode<TrafficNode>();
    const SimFrame frame = makeFrame(0x18FEF100, {0xFF, 0x40, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    traffic.addStream(frame, 100, 1000);  // far faster than the bus carries
    const std::uint64_t bits = static_cast<std::uint64_t>(bitsOf(frame));
    for (int ms = 0; ms < 2000; ms += 25)
        runTo(clock.nowMicroseconds() + 25000);

    ASSERT_GT(listener.frames.size(), 4000u);
    for (std::size_t k = 1; k <= listener.frames.size(); ++k) {
        const std::uint64_t ns = k * bits * 10000 / 3;  // 1e9 / 300000 ns a bit
        ASSERT_EQ(listener.at[k - 1], 1000 + static_cast<std::int64_t>((ns + 999) / 1000)) << k;
    }
    const std::uint64_t sent = (clock.nowMicroseconds() - 1000) / 100 + 1;
    EXPECT_EQ(bus.framesWaiting(), SimBus::kMaxWaitingFrames);
    EXPECT_GT(bus.framesDropped(), 0u);
    const std::uint64_t accounted = bus.framesCarried() + bus.framesWaiting() + bus.framesDropped();
    EXPECT_TRUE(accounted == sent || accounted + 1 == sent) << "one more may be on the wire";
    const std::uint8_t none[1] = {};
    EXPECT_EQ(adapter.sendCanMess(0x98EF21F9u, 7, 0, none), Adapter::kSendFailed) << "the tool's frame finds no room";
}

TEST(WireOff, WithoutABitRateFramesArriveAtOnce)
{
    FakeClock clock;
    SimAdapter adapter(clock);
    SimBus& bus = adapter.bus();
    auto& listener = bus.emplaceNode<Listener>();
    EXPECT_EQ(bus.bitRate(), 0);

    // A frame sent on a wire, then the wire taken away: it arrives when it was ready.
    bus.setBitRate(kRate);
    bus.transmit(makeFrame(0x18EFFF21, {1}), 1000, nullptr);
    bus.setBitRate(-1);
    EXPECT_EQ(bus.bitRate(), 0);
    EXPECT_EQ(bus.nextEventUs(), 1000);
    clock.setMicroseconds(1000);
    bus.runUntilNow();
    ASSERT_EQ(listener.at.size(), 1u);
    EXPECT_EQ(listener.at[0], 1000);

    const std::uint8_t data[] = {0xFE};
    ASSERT_EQ(adapter.sendCanMess(0x98EF21F9u, 7, 1, data), 1);
    ASSERT_EQ(listener.at.size(), 2u) << "a tool frame reaches the nodes at once";
    EXPECT_EQ(listener.at[1], 1000);
    EXPECT_EQ(bus.busyBits(), 0u);
    EXPECT_EQ(bus.busyNs(), 0);
    EXPECT_EQ(bus.framesCarried(), 2u);

    // And the other way: a frame waiting for its time goes on the wire.
    bus.transmit(makeFrame(0x18EFFF21, {2}), 2000, nullptr);
    bus.setBitRate(kRate);
    EXPECT_EQ(bus.nextEventUs(), 2000 + usOf(makeFrame(0x18EFFF21, {2})));
}

}  // namespace
