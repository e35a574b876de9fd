#include "core/Clock.h"
#include "../trace/TraceSamples.h"
#include "logs/LogReplay.h"
#include "logs/TraceReplay.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace tellvane;

namespace {

using Arrival = std::pair<std::uint32_t, std::int64_t>;  // id, clock time

// A log in memory, played on the fake clock; what arrived and when.
struct Player {
    FakeClock clock{5'000'000};
    std::vector<TraceFrame> log;
    std::size_t next = 0;
    std::vector<Arrival> arrived;
    TraceReplay replay{clock,
                       [this](TraceFrame& f) {
                           if (next >= log.size())
                               return false;
                           f = log[next++];
                           return true;
                       },
                       [this] {
                           next = 0;
                           return true;
                       },
                       [this](const TraceFrame& f) { arrived.emplace_back(f.id, clock.nowMicroseconds()); }};

    explicit Player(std::initializer_list<std::pair<std::uint32_t, std::int64_t>> frames)
    {
        for (auto [id, us] : frames) {
            TraceFrame f;
            f.id = id;
            f.timeUs = us;
            log.push_back(f);
        }
    }
    // Plays as a caller does: poll, sleep to the time it names, until the end
    // or the clock passes `untilUs`.
    void run(std::int64_t untilUs = INT64_MAX)
    {
        while (auto next = replay.poll()) {
            if (*next > untilUs)
                return;
            clock.sleepUntilUs(*next);
        }
    }
    std::vector<std::int64_t> times(std::int64_t from = 5'000'000) const
    {
        std::vector<std::int64_t> t;
        for (const auto& a : arrived)
            t.push_back(a.second - from);
        return t;
    }
};

TEST(TraceReplay, FramesLeaveAtTheirRecordedTimesScaledBySpeed)
{
    struct Case {
        double speed;
        std::vector<std::int64_t> expected;
    };
    const Case cases[] = {{1.0, {0, 250, 250, 1'000'000}}, {2.0, {0, 125, 125, 500'000}}, {0.1, {0, 2500, 2500, 10'000'000}}};
    for (const Case& c : cases) {
        // Recorded at an epoch time: only the distance from the first counts.
        Player p{{1, 1'700'000'000'000'000}, {2, 1'700'000'000'000'250}, {3, 1'700'000'000'000'250}, {4, 1'700'000'001'000'000}};
        ASSERT_TRUE(p.replay.setSpeed(c.speed));
        p.run();
        EXPECT_EQ(p.times(), c.expected) << c.speed;
        EXPECT_TRUE(p.replay.finished());
        EXPECT_EQ(p.arrived.size(), 4u);
        EXPECT_EQ(p.arrived[1].first, 2u) << "equal times keep the file's order";
    }
    Player p{{1, 0}};
    EXPECT_FALSE(p.replay.setSpeed(0.05));
    EXPECT_FALSE(p.replay.setSpeed(10.5));
    EXPECT_FALSE(p.replay.setSpeed(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(p.replay.speed(), 1.0);
}

TEST(TraceReplay, NothingLeavesEarlyAndALateCallerGetsEverythingDue)
{
    Player p{{1, 0}, {2, 1000}, {3, 2000}, {4, 3000}};
    ASSERT_EQ(p.replay.poll(), 5'001'000);
    EXPECT_EQ(p.arrived.size(), 1u);
    p.clock.advanceMicroseconds(999);
    EXPECT_EQ(p.replay.poll(), 5'001'000) << "one microsecond early";
    EXPECT_EQ(p.arrived.size(), 1u);
    p.clock.advanceMicroseconds(1500);  // the caller was held up
    EXPECT_EQ(p.replay.poll(), 5'003'000);
    EXPECT_EQ(p.arrived.size(), 3u);
}

TEST(TraceReplay, PauseStepResumeAndSpeedChangeGoOnFromThePlaceReached)
{
    Player p{{1, 0}, {2, 1000}, {3, 2000}, {4, 3000}, {5, 4000}};
    p.run(5'000'000);
    p.replay.pause();
    p.clock.advanceMicroseconds(10'000);
    EXPECT_EQ(p.replay.poll(), std::nullopt) << "paused";
    EXPECT_EQ(p.arrived.size(), 1u);
    ASSERT_TRUE(p.replay.step());
    EXPECT_EQ(p.arrived.back(), (Arrival{2u, 5'010'000})) << "a step delivers the next frame at once";
    EXPECT_TRUE(p.replay.paused());
    p.clock.advanceMicroseconds(5000);
    p.replay.resume();
    // Resumed at frame 3: it is due now, frame 4 a millisecond later.
    EXPECT_EQ(p.replay.poll(), 5'016'000);
    EXPECT_EQ(p.arrived[2], (Arrival{3u, 5'015'000}));
    // Half way to frame 4 the pace doubles: the other half takes 250 us.
    p.clock.advanceMicroseconds(500);
    ASSERT_TRUE(p.replay.setSpeed(2.0));
    p.run();
    EXPECT_EQ(p.arrived[3], (Arrival{4u, 5'015'750}));
    EXPECT_EQ(p.arrived[4], (Arrival{5u, 5'016'250}));
    EXPECT_FALSE(p.replay.step()) << "nothing after the end";
}

TEST(TraceReplay, LoopsPlayTheLogAgainAndEmptyOrBackwardLogsEnd)
{
    Player looped{{1, 0}, {2, 500}};
    looped.replay.setLoop(true);
    looped.run(5'004'000);
    EXPECT_EQ(looped.times(), (std::vector<std::int64_t>{0, 500, 1500, 2000, 3000, 3500}))
        << "each pass after a gap of " << TraceReplay::kLoopGapUs << " us";
    EXPECT_EQ(looped.replay.passes(), 4) << "the fourth waits for its first frame";

    Player empty{};
    empty.replay.setLoop(true);
    EXPECT_EQ(empty.replay.poll(), std::nullopt) << "a log without frames ends, looping or not";
    EXPECT_TRUE(empty.replay.finished());

    Player backwards{{1, 1000}, {2, 400}, {3, 1200}};
    backwards.run();
    EXPECT_EQ(backwards.times(), (std::vector<std::int64_t>{0, 0, 200})) << "a frame from the past leaves at once, in order";
}

TEST(LogReplay, TimesCountFromEachPassesFirstFrameAndFilesThatCannotBePlayedAreNamed)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("played.log"));
    test::writeFile(log,
                    "(1700000100.000000) can0 18FEF121#01\n"
                    "not a frame\n"
                    "(1700000100.250000) can0 18FEF122#02\n");
    FakeClock clock{1'000'000};
    std::vector<std::pair<std::int64_t, std::int64_t>> played;  // the frame's time, the clock's
    LogReplay replay(clock, [&](const TraceFrame& f) { played.emplace_back(f.timeUs, clock.nowMicroseconds()); });
    ASSERT_TRUE(replay.open(log)) << replay.errorString().toStdString();
    replay.player().setLoop(true);
    replay.player().setSpeed(2);
    while (played.size() < 4) {
        const std::optional<std::int64_t> due = replay.player().poll();
        ASSERT_TRUE(due);
        clock.sleepUntilUs(*due);
    }
    using P = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(played, (std::vector<P>{{0, 1'000'000}, {250'000, 1'125'000}, {0, 1'126'000}, {250'000, 1'251'000}}))
        << "relative times in every pass, played at twice the pace after the loop's gap";
    const std::vector<TraceLogWarning> warnings = replay.takeWarnings();
    ASSERT_EQ(warnings.size(), 1u) << "the broken line once, kept over the rewind, not again in the second pass";
    EXPECT_EQ(warnings[0].line, 2);

    EXPECT_FALSE(replay.open(dir.filePath(QStringLiteral("played.bin"))));
    EXPECT_FALSE(replay.isOpen()) << "the log before is gone";
    EXPECT_TRUE(replay.errorString().contains(QLatin1String(".asc"))) << replay.errorString().toStdString();
    EXPECT_FALSE(replay.open(dir.filePath(QStringLiteral("missing.asc"))));
    EXPECT_FALSE(replay.errorString().isEmpty());
}

}  // namespace
