#include "core/Clock.h"
#include "sim/BenchBridge.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

#include "FakeAdapter.h"

#include <gtest/gtest.h>

using namespace tellvane;
using test::FakeAdapter;

namespace {

struct Bridge : ::testing::Test {
    FakeClock clock;
    SimAdapter bench{clock};
    FakeAdapter outside;
    BenchBridge bridge{bench, outside};
    SimBoard* board = &bench.bus().emplaceNode<SimBoard>(SimBoardSpec{.address = 0x21, .boardType = 1537, .serial = 7, .pCode = 12010003});

    // The frames the bridge put on the outside bus, as identifiers.
    std::vector<std::uint32_t> sentIds() const
    {
        std::vector<std::uint32_t> ids;
        for (const auto& s : outside.sent)
            ids.push_back(s.id);
        return ids;
    }
    // Two pumps 20 ms apart: what came in is played, and what the boards
    // answered goes out.
    void settle()
    {
        for (int i = 0; i < 2; ++i) {
            clock.advanceMs(20);
            bridge.pump();
        }
    }
};

TEST_F(Bridge, StartsTheOutsideAdapterOpenAndTheBoardsAnnounce)
{
    ASSERT_EQ(bridge.start(), 1);
    EXPECT_EQ(outside.calls[0], "ResetInterface");
    EXPECT_NE(std::find(outside.calls.begin(), outside.calls.end(), "RecCANMess 80000000 13"), outside.calls.end());
    EXPECT_NE(std::find(outside.calls.begin(), outside.calls.end(), "SetFilters 0 80000000"), outside.calls.end());
    settle();
    ASSERT_EQ(outside.sent.size(), 1u);
    EXPECT_EQ(outside.sent[0].id, 0x98EFFF21u) << "the announcement goes out as an extended frame";
    EXPECT_EQ(outside.sent[0].length, 8);
    EXPECT_EQ(board->announcements(), 1);
    EXPECT_EQ(bridge.framesOut(), 1u);
}

TEST_F(Bridge, TheToolsProbeAndRequestsReachTheBoards)
{
    ASSERT_EQ(bridge.start(), 1);
    settle();
    outside.clearLog();

    outside.pushMessage(0, {});  // a tool's link probe
    settle();
    EXPECT_EQ(board->announcements(), 2) << "a tool coming up sees the boards announce themselves";
    ASSERT_EQ(sentIds(), std::vector<std::uint32_t>({0x98EFFF21u}));

    outside.clearLog();
    outside.pushMessage(0x18EF21F9, {0x05});                      // the P-code request
    outside.pushMessage(0x18EF21F9, {0xFE, '$', '1', 'X', '1'});  // diagnostic mode on
    settle();
    EXPECT_TRUE(board->diagnosticMode());
    ASSERT_FALSE(outside.sent.empty());
    EXPECT_EQ(outside.sent[0].id, 0x98EFF921u) << "the P-code reply to the tool";
    EXPECT_EQ(outside.sent[0].data[0], 0x05);
    for (std::uint32_t id : sentIds())
        EXPECT_EQ(id & 0xFF, 0x21u) << "then the board's diagnostic frames";
    EXPECT_EQ(bridge.framesIn(), 3u);
}

TEST_F(Bridge, AnOutsideBusThatFailsIsCountedNotFatal)
{
    outside.failingCall = "ResetInterface";
    outside.failResult = -4;
    EXPECT_EQ(bridge.start(), -4);
    EXPECT_FALSE(bridge.started());
    EXPECT_EQ(board->announcements(), 0) << "no announcement before the bus is there";

    outside.failingCall.clear();
    ASSERT_EQ(bridge.start(), 1);
    outside.sendResult = 0;
    settle();
    EXPECT_EQ(bridge.sendFailures(), 1u);
    EXPECT_EQ(bridge.lastSendResult(), 0);
    outside.sendResult = 1;
    outside.pushMessage(0, {});
    settle();
    EXPECT_EQ(bridge.lastSendResult(), 1);
    EXPECT_EQ(bridge.framesOut(), 1u);
}

TEST(ImageText, RunsOfSixteenConsecutiveBytes)
{
    SimBootLoader::Image image;
    for (std::uint32_t a = 0x4000; a < 0x4012; ++a)
        image[a] = static_cast<std::uint8_t>(a & 0xFF);
    image[0xC000] = 0xAB;
    EXPECT_EQ(SimBootLoader::imageText(image),
              QByteArray("00004000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
                         "00004010: 10 11\n"
                         "0000C000: AB\n"));
    EXPECT_TRUE(SimBootLoader::imageText({}).isEmpty());
}

}  // namespace
