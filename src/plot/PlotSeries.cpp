#include "plot/PlotSeries.h"

#include "diagnostics/IndicatorInfo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace tellvane {

namespace {

constexpr float kNoValue = std::numeric_limits<float>::infinity();

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

std::size_t ringSlot(std::int64_t number, std::size_t size)
{
    const auto n = static_cast<std::int64_t>(size);
    return static_cast<std::size_t>(((number % n) + n) % n);
}

// Raw numbers are whole and fit 32 bits, signed or not, as the decoder gives
// them (anything else is cut to a whole number within them).
std::uint32_t rawBits(double raw)
{
    if (std::isnan(raw))
        return 0;
    if (raw < -2147483648.0)
        return 0x80000000u;
    const double clamped = std::min(raw, 4294967295.0);
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(clamped));
}

std::size_t columnOf(std::int64_t timeUs, std::int64_t fromUs, std::int64_t toUs, std::size_t n)
{
    if (timeUs <= fromUs)
        return 0;
    const double share = static_cast<double>(timeUs - fromUs) / static_cast<double>(toUs - fromUs);
    return std::min(static_cast<std::size_t>(share * static_cast<double>(n)), n - 1);
}

}  // namespace

void PlotSeries::Level::add(std::int64_t timeUs, float value)
{
    if (started && timeUs >= newestFromUs && timeUs < newestToUs) {
        Bucket& b = ring[newestSlot];
        b.min = std::min(b.min, value);
        b.max = std::max(b.max, value);
        return;
    }
    const std::int64_t number = floorDiv(timeUs, widthUs);
    const std::size_t n = ring.size();
    if (!started) {
        std::fill(ring.begin(), ring.end(), Bucket{kNoValue, -kNoValue});
        newest = number;
        started = true;
    } else if (number > newest) {
        // The buckets passed over since the last value are empty now.
        const std::int64_t steps = number - newest;
        if (steps >= static_cast<std::int64_t>(n)) {
            std::fill(ring.begin(), ring.end(), Bucket{kNoValue, -kNoValue});
        } else {
            for (std::int64_t k = 1; k <= steps; ++k)
                ring[ringSlot(newest + k, n)] = Bucket{kNoValue, -kNoValue};
        }
        newest = number;
    } else if (number <= newest - static_cast<std::int64_t>(n)) {
        return;
    }
    if (number == newest) {
        newestFromUs = number * widthUs;
        newestToUs = newestFromUs + widthUs;
        newestSlot = ringSlot(number, n);
    }
    Bucket& b = ring[ringSlot(number, n)];
    b.min = std::min(b.min, value);
    b.max = std::max(b.max, value);
}

std::int64_t PlotSeries::Level::oldestUs() const
{
    if (!started)
        return std::numeric_limits<std::int64_t>::max();
    return (newest - static_cast<std::int64_t>(ring.size()) + 1) * widthUs;
}

const PlotSeries::Bucket* PlotSeries::Level::bucket(std::int64_t number) const
{
    if (!started || number > newest || number <= newest - static_cast<std::int64_t>(ring.size()))
        return nullptr;
    const Bucket& b = ring[ringSlot(number, ring.size())];
    return b.min <= b.max ? &b : nullptr;
}

PlotSeries::PlotSeries(bool isSigned, Scale scale, float m, float b, std::size_t exactCap)
    : m_signed(isSigned),
      m_scale(scale, m, b),
      m_cap(std::max(exactCap, kChunkPoints))
{
    for (int i = 0; i < kLevels; ++i) {
        m_levels[static_cast<std::size_t>(i)].widthUs = kLevelWidthUs[static_cast<std::size_t>(i)];
        m_levels[static_cast<std::size_t>(i)].ring.resize(kLevelBuckets[static_cast<std::size_t>(i)]);
    }
}

PlotSeries::PlotSeries(ValueScale scale, Raw raw, std::size_t exactCap)
    : PlotSeries(raw == Raw::Signed32, scale.kind(), 1.0f, 0.0f, exactCap)
{
    m_scale = scale;
    m_wide = raw == Raw::Double;
}

std::unique_ptr<PlotSeries> PlotSeries::of(const IndicatorInfo& indicator)
{
    const ValueScale scale = ValueScale::of(indicator);
    return std::make_unique<PlotSeries>(indicator.isSigned, scale.kind(), indicator.m, indicator.b);
}

double PlotSeries::rawAt(const Chunk& c, std::size_t i) const
{
    const std::uint32_t bits = c.raw[i];
    if (m_wide)
        return std::bit_cast<double>((std::uint64_t{c.high[i]} << 32) | bits);
    return m_signed ? static_cast<double>(static_cast<std::int32_t>(bits)) : static_cast<double>(bits);
}

std::int64_t PlotSeries::oldestExactUs() const
{
    return m_chunks.empty() ? std::numeric_limits<std::int64_t>::max() : m_chunks.front()->timeAt(0);
}

void PlotSeries::append(std::int64_t timeUs, double raw)
{
    if (m_appended > 0 && timeUs < m_newestUs)
        timeUs = m_newestUs;
    ++m_appended;
    m_newestUs = timeUs;

    if (m_wide && std::isnan(raw))
        raw = 0.0;  // as a narrow series keeps it
    const std::uint64_t wideBits = std::bit_cast<std::uint64_t>(raw);
    const std::uint32_t bits = m_wide ? static_cast<std::uint32_t>(wideBits) : rawBits(raw);
    if (m_chunks.empty() || m_chunks.back()->count == kChunkPoints
        || timeUs - m_chunks.back()->baseUs > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max())) {
        std::unique_ptr<Chunk> chunk = m_spare ? std::move(m_spare) : std::make_unique<Chunk>();
        chunk->baseUs = timeUs;
        chunk->count = 0;
        if (m_wide && !chunk->high)
            chunk->high = std::make_unique<std::uint32_t[]>(kChunkPoints);
        m_chunks.push_back(std::move(chunk));
    }
    Chunk& c = *m_chunks.back();
    c.dtUs[c.count] = static_cast<std::uint32_t>(timeUs - c.baseUs);
    c.raw[c.count] = bits;
    if (m_wide)
        c.high[c.count] = static_cast<std::uint32_t>(wideBits >> 32);
    ++c.count;
    ++m_exactCount;

    // The oldest block goes once the cap is passed, or once all of it lies
    // beyond the longest window.
    while (m_chunks.size() > 1
           && (m_exactCount > m_cap || m_chunks.front()->lastUs() < timeUs - kLongestWindowUs))
        dropOldestChunk();

    const auto value = static_cast<float>(valueOf(rawAt(c, c.count - 1)));
    if (std::isfinite(value)) {
        for (Level& level : m_levels)
            level.add(timeUs, value);
    }
}

void PlotSeries::dropOldestChunk()
{
    m_exactCount -= m_chunks.front()->count;
    m_spare = std::move(m_chunks.front());
    m_chunks.pop_front();
}

PlotSeries::Place PlotSeries::lowerBound(std::int64_t timeUs) const
{
    // The first chunk that ends at or after the time holds the place.
    const auto chunk = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                            [timeUs](const std::unique_ptr<Chunk>& c) { return c->lastUs() < timeUs; });
    Place place{static_cast<std::size_t>(chunk - m_chunks.begin()), 0};
    if (chunk == m_chunks.end())
        return place;
    const Chunk& c = **chunk;
    if (timeUs <= c.baseUs)
        return place;
    const auto offset = static_cast<std::uint32_t>(timeUs - c.baseUs);  // below the chunk's last, so it fits
    place.index = static_cast<std::size_t>(std::lower_bound(c.dtUs.begin(), c.dtUs.begin() + c.count, offset)
                                           - c.dtUs.begin());
    return place;
}

std::size_t PlotSeries::countExact(std::int64_t fromUs, std::int64_t toUs) const
{
    if (toUs <= fromUs)
        return 0;
    const Place a = lowerBound(fromUs);
    const Place b = lowerBound(toUs);
    if (a.chunk == b.chunk)
        return b.index - a.index;
    std::size_t n = m_chunks[a.chunk]->count - a.index;
    for (std::size_t c = a.chunk + 1; c < b.chunk; ++c)
        n += m_chunks[c]->count;
    return n + b.index;
}

PlotSeries::Cursor PlotSeries::exactPoints(std::int64_t fromUs, std::int64_t toUs) const
{
    Cursor cursor;
    cursor.m_series = this;
    const Place place = lowerBound(fromUs);
    cursor.m_chunk = place.chunk;
    cursor.m_index = place.index;
    cursor.m_toUs = toUs;
    cursor.settle();
    return cursor;
}

void PlotSeries::Cursor::settle()
{
    const auto& chunks = m_series->m_chunks;
    while (m_chunk < chunks.size() && m_index >= chunks[m_chunk]->count) {
        ++m_chunk;
        m_index = 0;
    }
    m_atEnd = m_chunk >= chunks.size() || chunks[m_chunk]->timeAt(m_index) >= m_toUs;
    if (!m_atEnd) {
        const Chunk& c = *chunks[m_chunk];
        m_point = Point{c.timeAt(m_index), m_series->rawAt(c, m_index)};
    }
}

void PlotSeries::Cursor::next()
{
    if (m_atEnd)
        return;
    ++m_index;
    settle();
}

std::optional<PlotSeries::Point> PlotSeries::pointAtOrBefore(std::int64_t timeUs) const
{
    if (timeUs == std::numeric_limits<std::int64_t>::max())
        timeUs -= 1;
    Place p = lowerBound(timeUs + 1);
    if (p.index == 0) {
        if (p.chunk == 0)
            return std::nullopt;
        --p.chunk;
        p.index = m_chunks[p.chunk]->count;
    }
    const Chunk& c = *m_chunks[p.chunk];
    return Point{c.timeAt(p.index - 1), rawAt(c, p.index - 1)};
}

void PlotSeries::accumulateExact(std::int64_t fromUs, std::int64_t toUs, std::int64_t windowFromUs,
                                 std::int64_t windowToUs, std::span<Column> out) const
{
    forEachExact(fromUs, toUs, [&](const Point& p) {
        const auto v = static_cast<float>(valueOf(p.raw));
        if (std::isfinite(v))
            out[columnOf(p.timeUs, windowFromUs, windowToUs, out.size())].take(v);
    });
}

void PlotSeries::accumulateLevel(const Level& level, std::int64_t fromUs, std::int64_t toUs,
                                 std::int64_t windowFromUs, std::int64_t windowToUs, std::span<Column> out) const
{
    if (!level.started)
        return;
    // Only the buckets the ring still holds: a range of any width costs no more.
    const std::int64_t first = std::max(floorDiv(fromUs, level.widthUs),
                                        level.newest - static_cast<std::int64_t>(level.ring.size()) + 1);
    const std::int64_t last = std::min(floorDiv(toUs - 1, level.widthUs), level.newest);
    for (std::int64_t number = first; number <= last; ++number) {
        const Bucket* b = level.bucket(number);
        if (!b)
            continue;
        Column& column = out[columnOf(number * level.widthUs, windowFromUs, windowToUs, out.size())];
        column.take(b->min);
        column.take(b->max);
    }
}

void PlotSeries::columns(std::int64_t fromUs, std::int64_t toUs, std::span<Column> out) const
{
    std::fill(out.begin(), out.end(), Column{});
    if (out.empty() || toUs <= fromUs || empty())
        return;
    const double columnUs = static_cast<double>(toUs - fromUs) / static_cast<double>(out.size());
    int preferred = -1;  // the exact points
    for (int i = 0; i < kLevels; ++i) {
        if (static_cast<double>(kLevelWidthUs[static_cast<std::size_t>(i)]) <= columnUs)
            preferred = i;
    }
    // Newest first: each source takes what it still reaches, the next coarser the rest.
    std::int64_t cursor = toUs;
    for (int source = preferred; source < kLevels && cursor > fromUs; ++source) {
        const Level* level = source >= 0 ? &m_levels[static_cast<std::size_t>(source)] : nullptr;
        const std::int64_t reach = level ? level->oldestUs() : oldestExactUs();
        const std::int64_t start = std::max(fromUs, reach);
        if (start >= cursor)
            continue;
        if (level)
            accumulateLevel(*level, start, cursor, fromUs, toUs, out);
        else
            accumulateExact(start, cursor, fromUs, toUs, out);
        cursor = start;
    }
}

void PlotSeries::displayPoints(std::int64_t fromUs, std::int64_t toUs, int columns, std::vector<QPointF>& out) const
{
    out.clear();
    if (empty() || toUs <= fromUs || columns <= 0)
        return;
    constexpr int kMostColumns = 16384;
    columns = std::min(columns, kMostColumns);
    auto add = [&out](double seconds, double value) {
        if (std::isfinite(value))
            out.emplace_back(seconds, value);
    };
    const bool nothingDropped = m_appended == m_exactCount;
    if ((nothingDropped || oldestExactUs() <= fromUs)
        && countExact(fromUs, toUs) <= 2 * static_cast<std::size_t>(columns)) {
        if (const auto before = pointAtOrBefore(fromUs - 1))
            add(static_cast<double>(before->timeUs) / 1e6, valueOf(before->raw));
        forEachExact(fromUs, toUs, [&](const Point& p) { add(static_cast<double>(p.timeUs) / 1e6, valueOf(p.raw)); });
    } else {
        m_columns.resize(static_cast<std::size_t>(columns));
        this->columns(fromUs, toUs, m_columns);
        const double columnUs = static_cast<double>(toUs - fromUs) / columns;
        for (int i = 0; i < columns; ++i) {
            const Column& c = m_columns[static_cast<std::size_t>(i)];
            if (!c.any)
                continue;
            const double x = (static_cast<double>(fromUs) + (i + 0.5) * columnUs) / 1e6;
            if (c.min == c.max) {
                add(x, c.min);
            } else if (!out.empty() && out.back().y() > (static_cast<double>(c.min) + c.max) / 2) {
                // Down first when coming from above: the line draws no extra stroke.
                add(x, c.max);
                add(x, c.min);
            } else {
                add(x, c.min);
                add(x, c.max);
            }
        }
    }
    if (isLamp() && out.size() > 1) {
        m_steps.clear();
        m_steps.reserve(out.size() * 2);
        m_steps.push_back(out.front());
        for (std::size_t i = 1; i < out.size(); ++i) {
            if (out[i].y() != out[i - 1].y())
                m_steps.emplace_back(out[i].x(), out[i - 1].y());
            m_steps.push_back(out[i]);
        }
        out.swap(m_steps);
    }
}

std::size_t PlotSeries::bytesReserved() const
{
    std::size_t bytes = sizeof(*this) + (m_chunks.size() + (m_spare ? 1 : 0)) * sizeof(Chunk)
        + m_chunks.size() * sizeof(void*) + m_columns.capacity() * sizeof(Column)
        + m_steps.capacity() * sizeof(QPointF);
    if (m_wide)
        bytes += (m_chunks.size() + (m_spare ? 1 : 0)) * kChunkPoints * sizeof(std::uint32_t);
    for (const Level& level : m_levels)
        bytes += level.ring.capacity() * sizeof(Bucket);
    return bytes;
}

}  // namespace tellvane
