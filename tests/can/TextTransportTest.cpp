#include "can/BoardDirectory.h"
#include "can/CanLink.h"
#include "can/TextTransport.h"
#include "core/Clock.h"
#include "core/SettingsStore.h"

#include "FakeAdapter.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct TransportFixture : ::testing::Test {
    QTemporaryDir dir;
    test::FakeAdapter adapter;
    FakeClock clock;
    CanLink link{adapter, clock};
    SettingsStore settings{dir.filePath(QStringLiteral("s.ini"))};
    BoardDirectory boards{link, settings};
    TextTransport transport{link, clock, boards};
    test::ErrorCollector errors;
    bool boardAcks = true;

    TransportFixture()
    {
        link.setRouter(&boards);
        boards.setPacketReceiver(&transport);
        link.setInterfaceStatus(InterfaceState::Ok);
        boards.setDownloadBoardAddress(0x21);
        // The board acknowledges every text packet it gets.
        adapter.onSend = [this](const test::FakeAdapter::Sent& s) {
            if (boardAcks && s.id == 0x98EF21F9u && s.length >= 2)
                adapter.pushMessage(0x18EFF921, {0xFE});
        };
    }
    std::vector<int> packetLengths() const
    {
        std::vector<int> out;
        for (const auto& s : adapter.sent)
            out.push_back(s.length);
        return out;
    }
    void boardSays(const char* text)
    {
        std::vector<std::uint8_t> data{0xFE};
        for (const char* c = text; *c; ++c)
            data.push_back(static_cast<std::uint8_t>(*c));
        adapter.pushMessage(0x18EFF921, data);
    }
};

TEST_F(TransportFixture, LargeTextGoesInPacketsOfSeven)
{
    transport.sendLargeAsciiPacket("ABCDEFGHIJKLMNOP");
    EXPECT_EQ(packetLengths(), std::vector<int>({8, 8, 3}));
    EXPECT_EQ(adapter.sent[2].data, std::vector<std::uint8_t>({0xFE, 'O', 'P'}));
    adapter.clearLog();
    const int delays = clock.delayCalls();
    transport.sendLargeAsciiPacket("ABCDEFGHIJKLMN");
    EXPECT_EQ(packetLengths(), std::vector<int>({8, 8})) << "no empty third packet";
    EXPECT_EQ(clock.delayCalls() - delays, 2) << "each packet waits with its 1 ms pause";
}

TEST_F(TransportFixture, ResultCodesOfOnePacket)
{
    EXPECT_EQ(transport.sendAsciiCanPacket("ABCDEFGHI", 9, true), 1);
    EXPECT_EQ(adapter.sent.back().length, 8) << "count 9 sends 7 characters";
    EXPECT_EQ(adapter.sent.back().id, 0x98EF21F9u);

    boardAcks = false;
    const int drainsBefore = adapter.getCalls;
    const std::int64_t before = clock.nowMicroseconds();
    EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, false), TextTransport::kNoAck);
    EXPECT_GE(adapter.getCalls - drainsBefore, 80) << "80 polls without pauses first";
    EXPECT_GT(clock.nowMicroseconds() - before, 79000) << "then as long as 80 paced polls";
    EXPECT_LE(clock.nowMicroseconds() - before, 80000) << "and no longer";

    // An adapter that answers at once has the time a USB adapter's polls take:
    // an acknowledgement 30 ms after the packet is in time, and seen within
    // one poll step of its arrival.
    std::int64_t sentAt = clock.nowMicroseconds();
    std::int64_t seenAt = 0;
    adapter.onGet = [&](int) {
        if (clock.nowMicroseconds() >= sentAt + 30000 && seenAt == 0) {
            adapter.pushMessage(0x18EFF921, {0xFE});
            seenAt = clock.nowMicroseconds();
        }
    };
    EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, false), TextTransport::kSent);
    EXPECT_LE(seenAt - (sentAt + 30000), Adapter::kPollStepUs);
    EXPECT_EQ(clock.nowMicroseconds(), seenAt) << "no sleep after the acknowledgement";
    adapter.onGet = nullptr;

    boardAcks = true;
    adapter.sendResult = 0;
    EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, false), TextTransport::kAckButSendFailed);
    adapter.sendResult = 1;

    // The acknowledgement turns up during the 80th poll: late only when the
    // polls were paced; without pauses the wait goes on after it anyway.
    boardAcks = false;
    for (const bool paced : {true, false}) {
        const int start = adapter.getCalls;
        adapter.onGet = [&](int call) {
            if (call == start + 80)
                adapter.pushMessage(0x18EFF921, {0xFE});
        };
        EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, paced), paced ? TextTransport::kLateAck : TextTransport::kSent);
        adapter.onGet = nullptr;
    }
}

// Frames of other boards keep arriving while the tool waits for an
// acknowledgement: each ends a pause early, but only whole pauses count, so
// the board still gets its 80 ms.
TEST_F(TransportFixture, OtherTrafficAndABusyMachineDoNotShortenTheWait)
{
    boardAcks = false;
    adapter.onGet = [&](int call) {
        if (call % 2 == 0) {  // a frame at each poll; the drain ends when it finds none
            clock.advanceMicroseconds(10);
            adapter.pushMessage(0x18EFFF22, {0x10, 1, 2, 3});
        }
    };
    const std::int64_t before = clock.nowMicroseconds();
    EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, false), TextTransport::kNoAck);
    EXPECT_GT(clock.nowMicroseconds() - before, 79000);
    EXPECT_GT(adapter.waitCalls, 1000) << "every arrival was looked at";
    adapter.onGet = nullptr;

    // A machine so busy that every wait returns 5 ms late: the tool still
    // listens 80 times, and an acknowledgement 150 ms on is in time.
    adapter.waitOvershootUs = 5000;
    const std::int64_t sentAt = clock.nowMicroseconds();
    adapter.onGet = [&](int) {
        if (clock.nowMicroseconds() >= sentAt + 150000 && !transport.ackReceived())
            adapter.pushMessage(0x18EFF921, {0xFE});
    };
    EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, false), TextTransport::kSent);
    adapter.onGet = nullptr;
}

TEST_F(TransportFixture, BadCountsAndNoBoardSendNothing)
{
    EXPECT_EQ(transport.sendAsciiCanPacket("AB", 3, true), 0);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0],
              QStringLiteral("An unexpected error 9'Subscript out of range' occured within SendASCIICANPacket"));
    boards.setDownloadBoardAddress(-1);
    EXPECT_EQ(transport.sendAsciiCanPacket("AB", 2, true), TextTransport::kNoAck);
    EXPECT_EQ(transport.sendAck(), 0);
    EXPECT_TRUE(adapter.sent.empty());
}

TEST_F(TransportFixture, ReplyOfSeveralPacketsIsCollectedAndAcknowledged)
{
    boardSays("Enter b");
    // The board sends its next packet once the previous one is acknowledged.
    std::vector<const char*> more = {"oard pa", "ssword:"};
    adapter.onSend = [&](const test::FakeAdapter::Sent& s) {
        if (s.length == 1 && !more.empty()) {
            boardSays(more.front());
            more.erase(more.begin());
        }
    };
    ASSERT_TRUE(transport.waitForIncomingData());
    const int drainsBefore = adapter.getCalls;
    transport.receivePipeReply();
    EXPECT_EQ(transport.pipeText(), QStringLiteral("Enter board password:"));
    int acks = 0;
    for (const auto& s : adapter.sent)
        acks += s.length == 1 && s.data[0] == 0xFE;
    EXPECT_EQ(acks, 3);
    EXPECT_GE(adapter.getCalls - drainsBefore, 80) << "it ends after one empty wait";
    EXPECT_FALSE(transport.waitForIncomingData()) << "the flag was cleared by the reader";
}

TEST_F(TransportFixture, PipeStoresPacketsAndIsBounded)
{
    transport.storeInPipeToBuf(3, {0xFE, 0x4F, 0x4B});
    EXPECT_EQ(transport.pipeText(), QStringLiteral("OK"));
    transport.storeInPipeToBuf(1, {0xFE, 0x41});
    EXPECT_EQ(transport.pipeText(), QStringLiteral("OK"));
    for (int i = 0; i < 200000; ++i)
        transport.storeInPipeToBuf(8, {0xFE, 'a', 'b', 'c', 'd', 'e', 'f', 'g'});
    EXPECT_EQ(transport.pipeBuffer().size(), TextTransport::kPipeLimit);
    EXPECT_TRUE(transport.pipeBuffer().endsWith("abcdefg"));
}

TEST_F(TransportFixture, AStrayAcknowledgementWaitsForTheNextSend)
{
    adapter.pushMessage(0x18EFF921, {0xFE});
    link.checkForIncomingCanMessages();
    EXPECT_TRUE(transport.ackReceived());
    boardAcks = false;
    EXPECT_EQ(transport.sendAsciiCanPacket("A", 1, false), TextTransport::kNoAck) << "cleared before sending";
}

}  // namespace
