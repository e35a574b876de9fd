#include "can/AdapterRecord.h"
#include "core/Clock.h"
#include "sim/SimAdapter.h"
#include "sim/TrafficNode.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

// A node that answers every frame it hears with an echo 1 ms later.
class EchoNode final : public SimNode {
public:
    std::vector<SimFrame> heard;
    std::vector<std::int64_t> heardAt;
    int joins = 0;
    void receive(const SimFrame& frame, std::int64_t atUs) override
    {
        heard.push_back(frame);
        heardAt.push_back(atUs);
        if (frame.id != 0) {
            SimFrame reply = frame;
            reply.id = 0x18EFF900 | (frame.id >> 8 & 0xFF);
            bus()->transmit(reply, atUs + 1000, this);
        }
    }
    void toolJoined(std::int64_t) override { ++joins; }
};

struct SimFixture : ::testing::Test {
    FakeClock clock;
    SimAdapter adapter{clock};

    std::vector<CanMessage> drain() { return test::drainMessages(adapter); }
};

TEST_F(SimFixture, FramesArriveInTimeOrderWithTimeStamps)
{
    auto& traffic = adapter.bus().emplaceNode<TrafficNode>();
    traffic.addStream(makeFrame(0x18EFFF21, {1, 2}), 100000, 10000);
    traffic.addStream(makeFrame(0x18EFFF22, {3}), 250000, 20000);
    adapter.enableTs();
    clock.advanceMs(500);
    const auto messages = drain();
    // 0x21 at 10, 110, 210, 310, 410 ms; 0x22 at 20 and 270 ms.
    ASSERT_EQ(messages.size(), 7u);
    std::vector<double> times;
    for (const auto& m : messages)
        times.push_back(m.time);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_NEAR(messages[0].time, 0.010, 1e-5);
    EXPECT_EQ(messages[1].id, 0x18EFFF22);
    EXPECT_NEAR(messages[1].time, 0.020, 1e-5);
    EXPECT_EQ(adapter.getNumCanMess(), 0);
    clock.advanceMs(100);
    EXPECT_EQ(drain().size(), 2u) << "only what is due by now: 510 and 520 ms";
}

TEST_F(SimFixture, CountingByteMovesWithEverySend)
{
    auto& traffic = adapter.bus().emplaceNode<TrafficNode>();
    traffic.addStream(makeFrame(0x18EFFF21, {0x10, 0xFE}), 1000, 0, 1);
    clock.advanceMs(3);
    const auto messages = drain();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].data[1], 0xFE);
    EXPECT_EQ(messages[1].data[1], 0xFF);
    EXPECT_EQ(messages[2].data[1], 0x00);
}

TEST_F(SimFixture, ToolFramesReachNodesAndRepliesComeLater)
{
    auto& echo = adapter.bus().emplaceNode<EchoNode>();
    const std::uint8_t data[] = {0x05};
    EXPECT_EQ(adapter.sendCanMess(0x98EF21F9u, 7, 1, data), 1);
    ASSERT_EQ(echo.heard.size(), 1u);
    EXPECT_EQ(echo.heard[0].id, 0x18EF21F9u) << "the extended-frame bit is not part of the identifier";
    EXPECT_TRUE(drain().empty()) << "the reply is not due yet";
    clock.advanceMs(1);
    const auto replies = drain();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].id, 0x18EFF921);
    EXPECT_EQ(adapter.resetInterface(), 1);
    EXPECT_EQ(echo.joins, 1);
}

TEST_F(SimFixture, MasksAndFiltersDecideWhatIsReceived)
{
    // As the link configures the adapter: everything through buffer 0.
    adapter.recCanMess(0x80000000u, 13);
    adapter.recCanMess(0x9FFFFF00u, 28);
    adapter.setFilters(0, 0x80000000u);
    adapter.setFilters(1, 0x98EFFE00u);
    for (int f = 2; f <= 5; ++f)  // the low byte lies outside buffer 1's mask and counts for nothing
        adapter.setFilters(static_cast<std::uint8_t>(f), 0x98EFFF5Au);
    EXPECT_EQ(adapter.acceptingBuffer(0x18EFFF21), 0);
    EXPECT_EQ(adapter.acceptingBuffer(0x0CF00400), 0);

    // Only buffer 1's filters: broadcasts to all boards pass, the rest does not.
    adapter.setFilters(0, 0x9FFFFFFFu);
    adapter.setFilters(1, 0x9FFFFFFFu);
    adapter.recCanMess(0x9FFFFFFFu, 13);
    EXPECT_EQ(adapter.acceptingBuffer(0x18EFFF21), 1);
    EXPECT_EQ(adapter.acceptingBuffer(0x18EFF921), std::nullopt);
}

TEST_F(SimFixture, OverflowSetsTheStatusBitUntilReset)
{
    auto& traffic = adapter.bus().emplaceNode<TrafficNode>();
    traffic.addStream(makeFrame(0x18EFFF21, {1}), 100, 0);
    clock.advanceMs(200);  // 2001 frames for a queue of 1500
    EXPECT_EQ(adapter.getNumCanMess(), 1500);
    EXPECT_EQ(adapter.dropped(), 501u);
    Adapter::Record r{};
    ASSERT_EQ(adapter.getCanMess(r), 1);
    EXPECT_TRUE(recordOverflowFlag(r));
    EXPECT_EQ(adapter.clearCanMess(), 1);
    EXPECT_EQ(adapter.getNumCanMess(), 0);
    clock.advanceMicroseconds(100);
    ASSERT_EQ(adapter.getCanMess(r), 1);
    EXPECT_FALSE(recordOverflowFlag(r)) << "cleared with the queue";
    EXPECT_EQ(adapter.errorFlags(), SimAdapter::kFlagBuffer0) << "the register keeps it until reset";
    EXPECT_EQ(adapter.resetInterface(), 1);
    EXPECT_EQ(adapter.errorFlags(), 0);
    clock.advanceMicroseconds(100);
    ASSERT_EQ(adapter.getCanMess(r), 1);
    EXPECT_FALSE(recordOverflowFlag(r));
}

TEST_F(SimFixture, UnpluggedAndDisconnectedAnswerAsTheLinkExpects)
{
    const std::uint8_t none[1] = {};
    adapter.setPluggedIn(false);
    EXPECT_EQ(adapter.sendCanMess(0, 7, 0, none), Adapter::kAdapterMissing);
    EXPECT_EQ(adapter.resetInterface(), Adapter::kAdapterMissing);
    std::uint8_t flags = 0;
    EXPECT_NE(adapter.readReg(45, 1, &flags), 1);
    adapter.setPluggedIn(true);
    adapter.setBusConnected(false);
    EXPECT_EQ(adapter.sendCanMess(0, 7, 0, none), -1);
    adapter.setBusConnected(true);
    EXPECT_EQ(adapter.sendCanMess(0, 7, 0, none), 1);
    EXPECT_EQ(adapter.sendCanMess(1, 7, 9, none), 0) << "nine bytes do not fit a frame";
}

// The link running on the bench is the app's end-to-end test.

}  // namespace
