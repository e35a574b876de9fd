#pragma once

#include "plot/ValueScale.h"

#include <QPointF>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tellvane {

struct IndicatorInfo;

// The points of one plotted value, in a plain structure the decoder appends
// to and a plot draws from on its own timer.
//
// Every point is kept exactly (time to the microsecond, the raw number) for
// the last hour, up to a cap; beyond the hour or the cap the oldest go, a
// block at a time. Beside them the least and greatest value of every 10 ms,
// 100 ms and 1 s are kept, so that a plot of a long stretch draws from a few
// thousand buckets instead of millions of points, and still shows every
// spike. Times never go back: a point stamped before the newest is taken at
// the newest's time.
class PlotSeries {
public:
    static constexpr std::int64_t kLongestWindowUs = std::int64_t{3600} * 1'000'000;
    static constexpr std::size_t kChunkPoints = 8192;
    static constexpr std::size_t kDefaultExactCap = std::size_t{1} << 20;
    static constexpr int kLevels = 3;
    static constexpr std::array<std::int64_t, kLevels> kLevelWidthUs{10'000, 100'000, 1'000'000};
    // The 10 ms buckets reach 409.6 s back; the coarser ones over the hour.
    static constexpr std::array<std::size_t, kLevels> kLevelBuckets{40'960, 36'864, 3'700};

    using Scale = ValueScale::Kind;

    // isSigned: the raw numbers are 32-bit two's complement (else unsigned);
    // the values come from them as ValueScale has it.
    PlotSeries(bool isSigned, Scale scale, float m, float b, std::size_t exactCap = kDefaultExactCap);
    // How the raw numbers are kept: 32-bit whole numbers, or numbers of any
    // size (a database signal's of up to 64 bits, or a float's value) as
    // doubles, which takes half as much room again a point.
    enum class Raw : std::uint8_t { Signed32, Unsigned32, Double };
    PlotSeries(ValueScale scale, Raw raw, std::size_t exactCap = kDefaultExactCap);
    // The series of an indicator of a screen.
    static std::unique_ptr<PlotSeries> of(const IndicatorInfo& indicator);

    PlotSeries(const PlotSeries&) = delete;
    PlotSeries& operator=(const PlotSeries&) = delete;

    void append(std::int64_t timeUs, double raw);
    double valueOf(double raw) const { return m_scale.valueOf(raw); }
    const ValueScale& scale() const { return m_scale; }
    bool isLamp() const { return m_scale.kind() == Scale::Lamp; }
    // Its values are numbers a box shows in hexadecimal.
    bool isHex() const { return m_scale.kind() == Scale::Hex; }

    bool empty() const { return m_appended == 0; }
    std::uint64_t appended() const { return m_appended; }
    std::size_t exactCount() const { return m_exactCount; }
    // The oldest point still kept exactly; the newest point's time.
    std::int64_t oldestExactUs() const;
    std::int64_t newestUs() const { return m_newestUs; }

    struct Point {
        std::int64_t timeUs = 0;
        double raw = 0.0;
    };
    // The exact points with fromUs <= time < toUs, oldest first.
    template <typename F>
    void forEachExact(std::int64_t fromUs, std::int64_t toUs, F&& f) const;
    std::size_t countExact(std::int64_t fromUs, std::int64_t toUs) const;
    // Walks the exact points with fromUs <= time < toUs, oldest first.
    class Cursor {
    public:
        bool atEnd() const { return m_atEnd; }
        const Point& point() const { return m_point; }
        void next();

    private:
        friend class PlotSeries;
        void settle();
        const PlotSeries* m_series = nullptr;
        std::size_t m_chunk = 0;
        std::size_t m_index = 0;
        std::int64_t m_toUs = 0;
        Point m_point;
        bool m_atEnd = true;
    };
    Cursor exactPoints(std::int64_t fromUs, std::int64_t toUs) const;
    // The newest point kept exactly at or before a time.
    std::optional<Point> pointAtOrBefore(std::int64_t timeUs) const;

    // The least and greatest value in each of out.size() equal slices of
    // [fromUs, toUs): from the exact points where a slice is narrower than
    // 10 ms, else from the coarsest buckets no wider than a slice; where
    // those no longer reach, from the next coarser.
    struct Column {
        float min = 0;
        float max = 0;
        bool any = false;
        void take(float v)
        {
            if (!any) {
                min = max = v;
                any = true;
            } else {
                if (v < min)
                    min = v;
                if (v > max)
                    max = v;
            }
        }
    };
    void columns(std::int64_t fromUs, std::int64_t toUs, std::span<Column> out) const;

    // The line a plot draws of [fromUs, toUs) about `columns` pixels wide, in
    // seconds and values: the exact points (and the one before, where the line
    // comes from) when there are no more than two a column, else each
    // column's least and greatest value. A lamp's line goes in steps.
    void displayPoints(std::int64_t fromUs, std::int64_t toUs, int columns, std::vector<QPointF>& out) const;

    // What the points and buckets take.
    std::size_t bytesReserved() const;

private:
    struct Chunk {
        std::int64_t baseUs = 0;
        std::uint32_t count = 0;
        std::array<std::uint32_t, kChunkPoints> dtUs;
        std::array<std::uint32_t, kChunkPoints> raw;
        std::unique_ptr<std::uint32_t[]> high;  // a wide series' upper halves
        std::int64_t timeAt(std::size_t i) const { return baseUs + dtUs[i]; }
        std::int64_t lastUs() const { return timeAt(count - 1); }
    };
    struct Bucket {
        float min;
        float max;
    };
    struct Level {
        std::int64_t widthUs = 0;
        std::vector<Bucket> ring;
        std::int64_t newest = 0;  // the bucket number written last
        bool started = false;
        // The newest bucket's span and place in the ring: most values fall in
        // it, and need no division to find it.
        std::int64_t newestFromUs = 0;
        std::int64_t newestToUs = 0;
        std::size_t newestSlot = 0;
        void add(std::int64_t timeUs, float value);
        std::int64_t oldestUs() const;
        const Bucket* bucket(std::int64_t number) const;
    };
    // A place among the exact points: chunk, and index within it.
    struct Place {
        std::size_t chunk = 0;
        std::size_t index = 0;
    };

    double rawAt(const Chunk& c, std::size_t i) const;
    // The first place whose time is >= timeUs (the end when none).
    Place lowerBound(std::int64_t timeUs) const;
    void dropOldestChunk();
    void accumulateExact(std::int64_t fromUs, std::int64_t toUs, std::int64_t windowFromUs, std::int64_t windowToUs,
                         std::span<Column> out) const;
    void accumulateLevel(const Level& level, std::int64_t fromUs, std::int64_t toUs, std::int64_t windowFromUs,
                         std::int64_t windowToUs, std::span<Column> out) const;

    bool m_signed;
    bool m_wide = false;
    ValueScale m_scale;
    std::size_t m_cap;
    std::deque<std::unique_ptr<Chunk>> m_chunks;
    std::unique_ptr<Chunk> m_spare;  // the chunk dropped last, used again
    std::size_t m_exactCount = 0;
    std::uint64_t m_appended = 0;
    std::int64_t m_newestUs = 0;
    std::array<Level, kLevels> m_levels;
    mutable std::vector<Column> m_columns;  // displayPoints' working space
    mutable std::vector<QPointF> m_steps;
};

template <typename F>
void PlotSeries::forEachExact(std::int64_t fromUs, std::int64_t toUs, F&& f) const
{
    for (Place p = lowerBound(fromUs); p.chunk < m_chunks.size(); ++p.chunk, p.index = 0) {
        const Chunk& c = *m_chunks[p.chunk];
        for (; p.index < c.count; ++p.index) {
            const std::int64_t t = c.timeAt(p.index);
            if (t >= toUs)
                return;
            f(Point{t, rawAt(c, p.index)});
        }
    }
}

}  // namespace tellvane
