// The series of a plotted value: every point kept exactly, times that never
// go back, the memory it takes bounded, and the line drawn from it keeping
// every spike however long the stretch.

#include "plot/PlotSeries.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

constexpr std::int64_t kSecond = 1'000'000;

std::vector<PlotSeries::Point> exactPoints(const PlotSeries& s, std::int64_t from = 0,
                                           std::int64_t to = std::numeric_limits<std::int64_t>::max())
{
    std::vector<PlotSeries::Point> points;
    s.forEachExact(from, to, [&](const PlotSeries::Point& p) { points.push_back(p); });
    return points;
}

TEST(PlotSeriesTest, KeepsEveryPointExactlyAndScalesIt)
{
    PlotSeries s(false, PlotSeries::Scale::Linear, 0.5f, -40.0f);
    EXPECT_TRUE(s.empty());
    s.append(1'000'001, 100);
    s.append(1'000'002, 0);
    s.append(2'500'000, 4294967295.0);  // the largest unsigned long
    ASSERT_EQ(s.appended(), 3u);
    const auto points = exactPoints(s);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].timeUs, 1'000'001);
    EXPECT_EQ(points[0].raw, 100.0);
    EXPECT_EQ(points[1].timeUs, 1'000'002);
    EXPECT_EQ(points[2].raw, 4294967295.0);
    EXPECT_EQ(s.valueOf(100), 10.0);
    EXPECT_EQ(s.valueOf(0), -40.0);
    EXPECT_EQ(s.newestUs(), 2'500'000);
    EXPECT_EQ(s.oldestExactUs(), 1'000'001);
    // A slice, the newest at or before a time.
    EXPECT_EQ(s.countExact(1'000'002, 2'500'000), 1u);
    EXPECT_EQ(s.pointAtOrBefore(2'499'999)->timeUs, 1'000'002);
    EXPECT_FALSE(s.pointAtOrBefore(1'000'000).has_value());
    // A signed series, raw and scaled, is the CSV export's test.
}

TEST(PlotSeriesTest, TimesNeverGoBack)
{
    PlotSeries s(false, PlotSeries::Scale::Linear, 1, 0);
    s.append(5 * kSecond, 1);
    s.append(3 * kSecond, 2);  // arrived late
    s.append(6 * kSecond, 3);
    const auto points = exactPoints(s);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1].timeUs, 5 * kSecond) << "taken at the newest time before it";
    EXPECT_EQ(points[1].raw, 2.0);
    for (std::size_t i = 1; i < points.size(); ++i)
        EXPECT_GE(points[i].timeUs, points[i - 1].timeUs);
}

TEST(PlotSeriesTest, MemoryStaysBoundedByTheCapAndTheHour)
{
    constexpr std::size_t kCap = 4 * PlotSeries::kChunkPoints;
    PlotSeries capped(false, PlotSeries::Scale::Linear, 1, 0, kCap);
    const std::size_t start = capped.bytesReserved();
    for (std::int64_t i = 0; i < 200'000; ++i)
        capped.append(i * 100, static_cast<double>(i));
    EXPECT_EQ(capped.appended(), 200'000u);
    EXPECT_LE(capped.exactCount(), kCap);
    EXPECT_GT(capped.exactCount(), kCap - PlotSeries::kChunkPoints) << "only a block goes at a time";
    // The newest are those kept, in order, without a gap.
    const auto points = exactPoints(capped);
    ASSERT_EQ(points.size(), capped.exactCount());
    EXPECT_EQ(points.back().raw, 199'999.0);
    EXPECT_EQ(points.front().raw, static_cast<double>(200'000 - points.size()));
    const std::size_t full = capped.bytesReserved();
    for (std::int64_t i = 200'000; i < 400'000; ++i)
        capped.append(i * 100, 0);
    EXPECT_EQ(capped.bytesReserved(), full) << "blocks are used again, nothing grows";
    EXPECT_LT(full - start, (kCap + 2 * PlotSeries::kChunkPoints) * 8);

    // Beyond the hour the oldest go even below the cap, a block at a time.
    PlotSeries hour(false, PlotSeries::Scale::Linear, 1, 0);
    constexpr std::int64_t kStep = kSecond / 10;
    for (std::int64_t t = 0; t <= 2 * 3600 * kSecond; t += kStep)
        hour.append(t, 1);
    const std::int64_t blockUs = static_cast<std::int64_t>(PlotSeries::kChunkPoints) * kStep;
    EXPECT_LE(hour.oldestExactUs(), 3600 * kSecond);
    EXPECT_GE(hour.oldestExactUs(), 3600 * kSecond - blockUs);
    EXPECT_LE(hour.exactCount(), 36'001u + PlotSeries::kChunkPoints);
}

// The largest and smallest y of a line between two times.
std::pair<double, double> extremes(const std::vector<QPointF>& line)
{
    double low = line.front().y();
    double high = low;
    for (const QPointF& p : line) {
        low = std::min(low, p.y());
        high = std::max(high, p.y());
    }
    return {low, high};
}

TEST(PlotSeriesTest, ALongStretchIsDrawnFromFewPointsAndKeepsItsSpikes)
{
    // An hour at 1 kHz, flat but for one high and one low spike of one point
    // each; the exact points kept are far fewer than the hour's.
    PlotSeries s(true, PlotSeries::Scale::Linear, 2, 1, 8 * PlotSeries::kChunkPoints);
    const std::int64_t highAt = 1234 * kSecond + 567;
    const std::int64_t lowAt = 3590 * kSecond + 1;
    for (std::int64_t t = 0; t < 3600 * kSecond; t += 1000) {
        double raw = 10;
        if (t == highAt - 567)
            raw = 5000;
        if (t == lowAt - 1)
            raw = -7000;
        s.append(t, raw);
    }
    ASSERT_LT(s.exactCount(), 100'000u) << "the spikes are older than the exact points";
    std::vector<QPointF> line;
    s.displayPoints(0, 3600 * kSecond, 800, line);
    EXPECT_LE(line.size(), 1600u);
    const auto [low, high] = extremes(line);
    EXPECT_EQ(high, 10001.0) << "5000 x 2 + 1";
    EXPECT_EQ(low, -13999.0);
    // The column of the high spike lies around its time.
    const auto top = std::max_element(line.begin(), line.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); });
    EXPECT_NEAR(top->x(), 1234.0, 3600.0 / 800);

    // A short stretch among the exact points is drawn from them, exactly.
    s.displayPoints(3599 * kSecond, 3599 * kSecond + 10'000, 800, line);
    ASSERT_EQ(line.size(), 11u) << "the ten points and the one before, where the line comes from";
    EXPECT_EQ(line.front(), QPointF(3599.0 - 0.001, 21.0));
    EXPECT_EQ(line.back(), QPointF(3599.009, 21.0));

    // Ten minutes ending after the low spike reach it through the 10 ms buckets.
    s.displayPoints(3000 * kSecond, 3600 * kSecond, 400, line);
    EXPECT_EQ(extremes(line).first, -13999.0);
}

TEST(PlotSeriesTest, ALampIsDrawnInSteps)
{
    PlotSeries lamp(false, PlotSeries::Scale::Lamp, 1, 0);
    EXPECT_TRUE(lamp.isLamp());
    lamp.append(1 * kSecond, 0);
    lamp.append(2 * kSecond, 4);  // a mask of 0x04: lit
    lamp.append(3 * kSecond, 4);
    lamp.append(4 * kSecond, 0);
    EXPECT_EQ(lamp.valueOf(4), 1.0);
    std::vector<QPointF> line;
    lamp.displayPoints(kSecond, 5 * kSecond, 800, line);
    const std::vector<QPointF> expected{{1, 0}, {2, 0}, {2, 1}, {3, 1}, {4, 1}, {4, 0}};
    EXPECT_EQ(line, expected);
}

}  // namespace
