// The session's time line over a technician's day, on the fake clock: an
// adapter whose 24-bit stamp starts again every 134.2 s, quiet spells longer
// than that, frames drained late, an adapter clock that runs fast or slow,
// and an adapter that starts its count afresh.

#include "can/SessionTime.h"
#include "core/Clock.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tellvane;

namespace {

constexpr std::int64_t kSecond = 1'000'000;

// An adapter's stamp of a frame put on the bus at true time t (microseconds
// of our clock): its own clock, `ppm` fast or slow, from a count of its own,
// in 8 us ticks of 24 bits.
std::int64_t stampOf(std::int64_t t, double ppm, std::int64_t countAtZeroUs)
{
    const auto adapterUs = static_cast<std::int64_t>(std::llround(static_cast<double>(t) * (1.0 + ppm * 1e-6))) + countAtZeroUs;
    return (adapterUs / 8 % (std::int64_t{1} << 24)) * 8;
}

struct Day {
    const char* name;
    double ppm;
    std::int64_t drainUs;  // how late the poll takes each frame, at most
};

// Frames every 100 ms for a working day of eight hours with quiet spells of
// 200 s and 500 s:
// each frame's time is its true time, within the lateness of the first frame
// the stamps were tied by, and two frames of one stretch lie as far apart as
// their stamps say.
TEST(SessionTime, AWorkingDayWithQuietSpellsLongerThanATurn)
{
    for (const Day& day : {Day{"the same clock", 0, 20'000}, Day{"100 ppm fast", 100, 25'000}, Day{"100 ppm slow", -100, 25'000}}) {
        SCOPED_TRACE(day.name);
        FakeClock clock(5 * kSecond);
        SessionTime session(clock);
        std::int64_t t = 3 * kSecond;
        std::int64_t last = -1;
        int n = 0;
        while (t < 8 * 3600 * kSecond) {
            if (t >= 400 * kSecond && t < 600 * kSecond)
                t = 600 * kSecond;  // 200 s of silence
            if (t >= 1000 * kSecond && t < 1500 * kSecond)
                t = 1500 * kSecond;  // 500 s of silence
            const std::int64_t late = (std::int64_t{n} * 7919) % day.drainUs;  // drained up to a poll late
            clock.setMicroseconds(5 * kSecond + t + late);
            const std::int64_t got = session.received(stampOf(t, day.ppm, 77'777'776));
            ASSERT_LE(got, session.nowUs()) << "never after its arrival, frame " << n;
            ASSERT_GE(got, last) << "never back, frame " << n;
            ASSERT_NEAR(static_cast<double>(got), static_cast<double>(t), 40'000.0) << "frame " << n;
            last = got;
            t += 100'000;
            ++n;
        }
        EXPECT_EQ(session.nowUs(), clock.nowMicroseconds() - 5 * kSecond);
    }
}

TEST(SessionTime, FramesDrainedLateKeepTheirStampsSpacing)
{
    FakeClock clock;
    SessionTime session(clock);
    clock.setMicroseconds(1 * kSecond);
    EXPECT_EQ(session.received(500'000), 1 * kSecond) << "the first frame ties the stamps to its arrival";
    // The program was busy for two seconds: three frames 10 ms apart come at once.
    clock.setMicroseconds(3 * kSecond + 30'000);
    EXPECT_EQ(session.received(2'500'000), 3 * kSecond);
    EXPECT_EQ(session.received(2'510'000), 3 * kSecond + 10'000);
    EXPECT_EQ(session.received(2'520'000), 3 * kSecond + 20'000);
    EXPECT_EQ(session.received(std::nullopt), 3 * kSecond + 30'000) << "a frame without a stamp: its arrival";
}

TEST(SessionTime, AnAdapterCountingAfreshIsTiedAgain)
{
    FakeClock clock;
    SessionTime session(clock);
    clock.setMicroseconds(100 * kSecond);
    EXPECT_EQ(session.received(100 * kSecond), 100 * kSecond);
    clock.setMicroseconds(300 * kSecond);
    session.adapterRestarted();  // reset: its count begins at 0 again
    EXPECT_EQ(session.received(8), 300 * kSecond);
    clock.advanceMs(1500);
    EXPECT_EQ(session.received(1'000'008), 301 * kSecond);
}

}  // namespace
