#include "core/Clock.h"
#include "firmware/TransferMeter.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tellvane;
using tellvane::firmware::TransferMeter;

namespace {

constexpr std::int32_t kSent = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kToBoard21 = kSent | 0x18EF21F9;

// A text packet to board 0x21 as the link logs what it sends.
CanMessage textPacket(const char* characters, std::int32_t id = kToBoard21)
{
    CanMessage m;
    m.id = id;
    m.data[0] = 0xFE;
    int n = 0;
    for (; characters[n] != '\0' && n < 7; ++n)
        m.data[static_cast<std::size_t>(n + 1)] = static_cast<std::uint8_t>(characters[n]);
    m.length = static_cast<std::uint8_t>(n + 1);
    return m;
}

TEST(TransferMeter, CountsTheBoardsTextPacketsAndLinesOfTheTransferOnly)
{
    FakeClock clock(5000000);
    TransferMeter meter(clock);
    meter.setBoard(0x21);

    meter.logCanMessage(textPacket("$1Z"));  // before the transfer
    EXPECT_FALSE(meter.started());
    meter.begin();
    clock.advanceMicroseconds(100);
    meter.logCanMessage(textPacket("S00600"));
    meter.logCanMessage(textPacket("0004844"));
    meter.logCanMessage(textPacket("521B\n"));
    meter.lineDone();
    clock.advanceMicroseconds(200);
    meter.logCanMessage(textPacket("FC\n"));
    meter.lineDone();

    // Not part of the transfer.
    meter.logCanMessage(textPacket(""));                               // an acknowledgement of a reply
    meter.logCanMessage(textPacket("\n", kSent | 0x18EF22F9));         // another board
    meter.logCanMessage(textPacket("\n", 0x18EFF921));                 // received, not sent
    CanMessage probe;
    probe.id = kSent;
    meter.logCanMessage(probe);
    clock.advanceMicroseconds(50000);
    meter.end();
    meter.logCanMessage(textPacket("M\n"));  // after the transfer
    meter.lineDone();

    EXPECT_TRUE(meter.started());
    EXPECT_EQ(meter.packets(), 4);
    EXPECT_EQ(meter.lines(), 2);
    EXPECT_EQ(meter.elapsedUs(), 300) << "from the start to the last line sent";
    EXPECT_EQ(meter.summary(), QStringLiteral("File transfer: 2 lines, 4 packets in 0.000 s, 75 us a packet"));
}

TEST(TransferMeter, SummaryOfALongTransferAndOfNone)
{
    FakeClock clock;
    TransferMeter meter(clock);
    meter.setBoard(0x21);
    meter.begin();
    EXPECT_EQ(meter.summary(), QStringLiteral("File transfer: 0 lines, 0 packets in 0.000 s, 0 us a packet"));
    for (int i = 0; i < 22535; ++i) {
        clock.advanceMicroseconds(i % 2 == 0 ? 130 : 131);
        meter.logCanMessage(textPacket(i % 11 == 10 ? "AB\n" : "ABCDEFG"));
        if (i % 11 == 10)
            meter.lineDone();
    }
    EXPECT_EQ(meter.lines(), 2048);
    EXPECT_EQ(meter.summary(), QStringLiteral("File transfer: 2048 lines, 22535 packets in 2.940 s, 130 us a packet"));
}

}  // namespace
