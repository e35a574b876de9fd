#include "TraceSamples.h"
#include "trace/BusLoad.h"
#include "trace/IdentifierStats.h"
#include "trace/TraceRecorder.h"
#include "trace/TraceRing.h"
#include "trace/TraceView.h"

#include <gtest/gtest.h>

namespace tellvane {
namespace {

TEST(IdentifierStats, PeriodsCountsAndChangedBytes)
{
    IdentifierStats stats;
    auto add = [&](std::uint32_t id, std::int64_t us, std::initializer_list<std::uint8_t> bytes) {
        stats.add(test::frame(us, id, bytes));
    };
    add(0x18FEF121, 0, {0x01, 0x02});
    const IdentifierStats::Row& first = stats.rows()[0];
    EXPECT_EQ(first.changedBytes, 0) << "nothing to compare the first frame with";
    EXPECT_EQ(first.lastPeriodMs(), 0.0);
    add(0x0CF00400, 20'000, {0xAA});
    add(0x18FEF121, 100'000, {0x01, 0x03});
    EXPECT_EQ(stats.rows()[0].changedBytes, 0b10);
    add(0x18FEF121, 250'000, {0x01, 0x03, 0x00});
    EXPECT_EQ(stats.rows()[0].changedBytes, 0b100) << "a byte that came new is changed, even a 0";
    add(0x18FEF121, 600'000, {0x01, 0x03});

    ASSERT_EQ(stats.rows().size(), 2u);
    ASSERT_EQ(stats.rowOf(0x18FEF121, true), 0);
    ASSERT_EQ(stats.rowOf(0x0CF00400, true), 1);
    EXPECT_EQ(stats.rowOf(0x0CF00400, false), -1);
    const IdentifierStats::Row& r = stats.rows()[0];
    EXPECT_EQ(r.count, 4u);
    EXPECT_DOUBLE_EQ(r.lastPeriodMs(), 350.0);
    EXPECT_DOUBLE_EQ(r.meanPeriodMs(), 200.0);  // 600 ms over 3 gaps
    EXPECT_DOUBLE_EQ(r.msSinceLast(1'000'000), 400.0);
    EXPECT_EQ(r.changedBytes, 0) << "a byte that went is no changed byte of the last data";
    EXPECT_EQ(stats.rows()[1].count, 1u);
    EXPECT_EQ(stats.rows()[1].meanPeriodMs(), 0.0);
}

// Frames whose lengths on the wire are known by hand (see the CanFrameBits tests).
TraceFrame wireFrame(std::uint32_t id, bool extended, std::array<std::uint8_t, 8> data, std::int64_t us)
{
    return test::frame(us, id, std::vector<std::uint8_t>(data.begin(), data.end()), extended ? TraceFrame::Extended : 0);
}

TEST(BusLoad, BitsOfKnownFramesOverASlidingSecond)
{
    BusLoad load;
    load.add(wireFrame(0x0AAAAAAA, true, {0x96, 0x55, 0x96, 0xAA, 0xAA, 0x5A, 0x5A, 0x5A}, 0));  // 131 bits
    load.add(wireFrame(0, true, {}, 500'000));                                                   // 150 bits
    load.add(wireFrame(0x155, false, {0x96, 0x5A, 0x33, 0x55, 0xAA, 0xAA, 0x96, 0x55}, 995'000));  // 111 bits
    EXPECT_EQ(load.framesPerSecond(), 3);
    EXPECT_EQ(load.bitsPerSecond(), 392);
    EXPECT_DOUBLE_EQ(load.loadPercent(), 100.0 * 392 / 250'000);

    const struct {
        std::int64_t nowUs;
        int frames;
        std::int64_t bits;
    } steps[] = {
        {999'999, 3, 392},    // still within the second of the first frame
        {1'005'000, 2, 261},  // its slice has gone
        {400'000, 2, 261},    // time does not go back
        {1'499'999, 2, 261},
        {1'500'000, 1, 111},  // a second after the second frame's slice began
        {9'000'000, 0, 0},
    };
    for (const auto& s : steps) {
        load.advanceTo(s.nowUs);
        EXPECT_EQ(load.framesPerSecond(), s.frames) << s.nowUs;
        EXPECT_EQ(load.bitsPerSecond(), s.bits) << s.nowUs;
    }

    // A frame that came late counts in its own slice, and goes with it; one
    // older than the second kept counts nowhere.
    load.add(wireFrame(0, true, {}, 9'500'000));
    load.add(wireFrame(0, true, {}, 8'600'000));
    load.add(wireFrame(0, true, {}, 7'000'000));
    EXPECT_EQ(load.framesPerSecond(), 2);
    load.advanceTo(9'600'000);
    EXPECT_EQ(load.framesPerSecond(), 1);

    // However the frames come, no more than the bit rate is shown.
    for (int i = 0; i < 2000; ++i)
        load.add(wireFrame(0, true, {}, 10'000'000));
    EXPECT_EQ(load.framesPerSecond(), 2001);
    EXPECT_EQ(load.loadPercent(), 100.0);

    TraceFrame error;
    error.flags = TraceFrame::Error;
    error.timeUs = 10'000'000;
    load.add(error);
    load.noteOverflow();
    EXPECT_EQ(load.errors(), 1u);
    EXPECT_EQ(load.overflows(), 1u);
    EXPECT_EQ(load.framesPerSecond(), 2001) << "an error frame is counted, not measured";
}

TEST(TraceRecorder, FramesTakeTheSessionTimeOrTheirLogsTimeOnALineOfTheirOwn)
{
    TraceRing ring(16);
    IdentifierStats stats;
    BusLoad load;
    TraceView view(ring);
    ASSERT_FALSE(view.setFilterExpression(u"tx").has_value());
    TraceRecorder recorder(ring);
    recorder.setStats(&stats);
    recorder.setBusLoad(&load);
    recorder.attachView(&view);

    // Its time is the adapter's seconds: the monitor's, not the trace's.
    const CanMessage m{.id = 0x18FEF121, .time = 134.0, .length = 2, .data = {0x11, 0x22, 0x33}, .sessionUs = 700'000'000};
    recorder.traceMessage(m, false);
    // Bit 31: sent, extended.
    recorder.logCanMessage(CanMessage{.id = static_cast<std::int32_t>(0x98EF21F9u), .length = 1, .sessionUs = 700'000'500});
    recorder.traceMessage(CanMessage{.sessionUs = 700'001'000}, true);  // the probe, sent as a standard frame
    // From a log: its own time line, its time in the log, a standard identifier kept.
    recorder.traceMessage(CanMessage{.id = 0x7FF, .time = 2.5, .length = 2, .data = m.data, .line = 1, .standard = true}, false);

    ASSERT_EQ(ring.size(), 4u);
    const TraceFrame& first = ring.bySequence(0);
    EXPECT_EQ(first.id, 0x18FEF121u);
    EXPECT_EQ(first.flags, TraceFrame::Extended);
    EXPECT_EQ(first.length, 2);
    EXPECT_EQ(first.data[2], 0) << "only the message's length is copied";
    EXPECT_EQ(first.timeUs, 700'000'000);
    EXPECT_EQ(ring.bySequence(1), (TraceFrame{700'000'500, 0x18EF21F9, 1, TraceFrame::Extended | TraceFrame::Sent, {}}));
    EXPECT_EQ(ring.bySequence(2).flags, TraceFrame::Sent);
    EXPECT_EQ(ring.bySequence(3), (TraceFrame{2'500'000, 0x7FF, 2, 0, {0x11, 0x22}, 1}));
    EXPECT_EQ(recorder.newestTimeUs(0), 700'001'000);
    EXPECT_EQ(recorder.newestTimeUs(1), 2'500'000);
    EXPECT_EQ(TraceRecorder::messageOf(ring.bySequence(3)).standard, true);

    EXPECT_EQ(view.size(), 2u) << "the attached view follows";
    EXPECT_EQ(stats.rows().size(), 4u);
    EXPECT_EQ(load.framesPerSecond(), 3) << "the replayed frame never was on the bus";
}

TEST(TraceRecorder, CountsOverflowsAndErrorStatesAsTheyComeUp)
{
    TraceRing ring(4);
    BusLoad load;
    TraceRecorder recorder(ring);
    recorder.setBusLoad(&load);
    struct Read {
        std::uint8_t flags;
        std::uint64_t errors;
        std::uint64_t overflows;
    };
    const Read reads[] = {
        {0x00, 0, 0},
        {0x02, 1, 0},  // receive warning
        {0x02, 1, 0},  // still: not again
        {0x0A, 2, 0},  // receive passive on top
        {0x40, 2, 1},  // buffer 0 overflowed (the warnings went)
        {0xC0, 2, 2},  // and buffer 1
        {0x00, 2, 2},
        {0x22, 3, 2},  // bus off and a warning at once: one error
        {0x01, 3, 2},  // bit 0 alone says nothing
    };
    for (const Read& read : reads) {
        recorder.traceErrorFlags(read.flags);
        EXPECT_EQ(load.errors(), read.errors) << int(read.flags);
        EXPECT_EQ(load.overflows(), read.overflows) << int(read.flags);
    }
    recorder.traceOverflow();
    EXPECT_EQ(load.overflows(), 3u) << "the adapter's own buffer";
    EXPECT_EQ(ring.size(), 0u) << "no frames";
}

}  // namespace
}  // namespace tellvane
