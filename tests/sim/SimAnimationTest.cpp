#include "core/Clock.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "sim/SimAnimation.h"
#include "sim/SimBoard.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace tellvane;

namespace {

using Data = std::array<std::uint8_t, 8>;

// The field's bits read back the way the screens read a bit field: from the
// top bit at startBit of startByte, down and on into the next byte.
std::uint32_t fieldOf(const Data& data, const SimAnimation::Field& field)
{
    std::uint32_t value = 0;
    int byte = field.startByte;
    int bit = field.startBit;
    for (int i = 0; i < field.bits; ++i) {
        value = (value << 1) | ((data[static_cast<std::size_t>(byte)] >> bit) & 1u);
        if (--bit < 0) {
            bit = 7;
            ++byte;
        }
    }
    return value;
}

TEST(SimAnimation, FieldsSweepTheirWholeRangeOnceASweep)
{
    SimAnimation::Message m;
    m.key = 0x10;
    m.fields = {{1, 7, 8}, {2, 7, 16}, {4, 3, 4}, {4, 7, 32 - 28}, {5, 7, 24}};
    for (const SimAnimation::Field& f : m.fields) {
        std::set<std::uint32_t> seen;
        std::uint32_t previous = 0;
        for (std::uint32_t step = 0; step <= SimAnimation::kStepsPerSweep; ++step) {
            const std::uint32_t v = fieldOf(SimAnimation::dataAt(m, step), f);
            if (step > 0) {
                EXPECT_GE(v, previous) << "rising through a sweep, step " << step;
            }
            previous = v;
            seen.insert(v);
        }
        const std::uint32_t top = f.bits == 32 ? 0xFFFFFFFFu : (1u << f.bits) - 1;
        EXPECT_EQ(*seen.begin(), 0u) << "bits " << int(f.bits);
        EXPECT_EQ(*seen.rbegin(), top) << "bits " << int(f.bits);
        // And again from the bottom.
        EXPECT_EQ(fieldOf(SimAnimation::dataAt(m, SimAnimation::kStepsPerSweep + 1), f), 0u);
    }
}

TEST(SimAnimation, AFieldAcrossBytesAndAThirtyTwoBitOneKeepTheirBits)
{
    SimAnimation::Message m;
    m.key = 0x11;
    m.fields = {{3, 2, 6}};  // bits 2..0 of byte 3 and 7..5 of byte 4
    for (std::uint32_t step = 0; step < 70; ++step) {
        const Data d = SimAnimation::dataAt(m, step);
        EXPECT_EQ(d[3] & ~0x07, 0) << "nothing outside the field";
        EXPECT_EQ(d[4] & 0x1F, 0);
        EXPECT_EQ(d[0], 0x11);
    }
    m.fields = {{1, 7, 32}};
    EXPECT_EQ(fieldOf(SimAnimation::dataAt(m, SimAnimation::kStepsPerSweep), m.fields[0]), 0xFFFFFFFFu);
    // Fields that cannot be in a frame are left out, never written past its end.
    m.fields = {{7, 7, 32}, {1, 9, 8}, {1, 7, 0}, {1, 7, 33}};
    for (std::uint32_t step = 0; step < 70; ++step)
        EXPECT_NO_FATAL_FAILURE(SimAnimation::dataAt(m, step));
}

TEST(SimAnimation, LampsOfAByteLightOneAtATimeThenNone)
{
    SimAnimation::Message m;
    m.key = 0x0120;
    m.twoByteKey = true;
    m.lamps = {{2, 0x01}, {2, 0x02}, {2, 0x0C}, {3, 0x80}};
    const std::uint8_t walk[] = {0x01, 0x02, 0x04, 0x08, 0x00, 0x01};
    for (std::uint32_t step = 0; step < std::size(walk); ++step) {
        const Data d = SimAnimation::dataAt(m, step);
        EXPECT_EQ(d[0], 0x01);
        EXPECT_EQ(d[1], 0x20) << "the two-byte key";
        EXPECT_EQ(d[2], walk[step]) << "step " << step;
        EXPECT_EQ(d[3], step % 2 == 0 ? 0x80 : 0x00) << "a lone lamp blinks";
    }
}

TEST(SimAnimation, AnAnimatedBoardSendsItsScreensMessagesInDiagnosticMode)
{
    FakeClock clock;
    SimAdapter adapter{clock};
    auto& board = adapter.bus().emplaceNode<SimBoard>(SimBoardSpec{.address = 0x22, .pCode = 13050012, .animate = true});
    SimAnimation animation;
    animation.messages.push_back({false, 0x10, {{1, 7, 8}}, {}});
    animation.messages.push_back({true, 0x0120, {}, {{2, 0x03}}});
    board.setAnimation(animation);

    const std::uint8_t on[] = {0xFE, '$', '1', 'X', '1'};
    adapter.sendCanMess(0x98EF22F9u, 7, 5, on);
    clock.advanceMs(1000);
    const std::vector<CanMessage> frames = test::drainMessages(adapter);
    ASSERT_GE(frames.size(), 18u);
    ASSERT_LE(frames.size(), 20u);
    std::set<std::uint8_t> values;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].id, 0x18EFFF22);
        if (i % 2 == 0) {
            EXPECT_EQ(frames[i].data[0], 0x10);
            values.insert(frames[i].data[1]);
        } else {
            EXPECT_EQ(frames[i].data[0], 0x01);
            EXPECT_EQ(frames[i].data[1], 0x20);
        }
    }
    EXPECT_GE(values.size(), 9u) << "a new value at every send";
}

TEST(BenchFile, APreviewIsOneAnimatedBoardNamedAfterItsFile)
{
    const BenchSpec named = previewBench(QStringLiteral("/home/author/1305-0012.cfg"));
    ASSERT_EQ(named.boards.size(), 1u);
    EXPECT_EQ(named.boards[0].pCode, 13050012u);
    EXPECT_TRUE(named.boards[0].animate);
    EXPECT_TRUE(named.boards[0].present);
    EXPECT_TRUE(named.traffic.empty());
    EXPECT_EQ(previewBench(QStringLiteral("04120101.cfg")).boards[0].pCode, 4120101u);
    EXPECT_EQ(previewBench(QStringLiteral("new-screen.cfg")).boards[0].pCode, 99999999u);
    EXPECT_EQ(previewBench(QStringLiteral("1305-00123.cfg")).boards[0].pCode, 99999999u);
}

}  // namespace
