#include "trace/IdentifierStats.h"

#include <algorithm>

namespace tellvane {

namespace {
std::int64_t sliceOf(std::int64_t us)
{
    const std::int64_t q = us / IdentifierStats::kRateSliceUs;
    return us % IdentifierStats::kRateSliceUs < 0 ? q - 1 : q;
}

std::size_t slotOf(std::int64_t slice)
{
    const std::int64_t m = slice % IdentifierStats::kRateSlices;
    return static_cast<std::size_t>(m < 0 ? m + IdentifierStats::kRateSlices : m);
}
}  // namespace

std::uint64_t IdentifierStats::Row::framesPerSecond(std::int64_t nowUs) const
{
    const std::int64_t nowSlice = sliceOf(nowUs);
    std::uint64_t frames = 0;
    for (std::int64_t k = nowSlice - kRateSlices + 1; k < nowSlice - 1; ++k) {
        if (k <= newestSlice && k > newestSlice - kRateSlices)
            frames += slices[slotOf(k)];
    }
    return frames;
}

void IdentifierStats::add(const TraceFrame& frame)
{
    const quint64 k = key(frame.id, frame.extended(), frame.line);
    auto it = m_index.constFind(k);
    if (it == m_index.constEnd()) {
        it = m_index.insert(k, static_cast<int>(m_rows.size()));
        Row row;
        row.id = frame.id;
        row.extended = frame.extended();
        row.line = frame.line;
        row.firstUs = frame.timeUs;
        row.newestSlice = sliceOf(frame.timeUs);
        m_rows.push_back(row);
    }
    Row& row = m_rows[static_cast<std::size_t>(*it)];
    std::uint8_t changed = 0;
    if (row.count > 0) {
        for (std::size_t i = 0; i < frame.length && i < 8; ++i) {
            if (i >= row.length || frame.data[i] != row.data[i])
                changed |= static_cast<std::uint8_t>(1u << i);
        }
    }
    row.changedBytes = changed;
    row.previousUs = row.count > 0 ? row.lastUs : frame.timeUs;
    row.lastUs = frame.timeUs;
    row.length = frame.length;
    row.data = frame.data;
    row.sent = frame.sent();
    ++row.count;

    const std::int64_t slice = sliceOf(frame.timeUs);
    if (slice > row.newestSlice) {
        for (std::int64_t s = std::max(row.newestSlice + 1, slice - kRateSlices + 1); s <= slice; ++s)
            row.slices[slotOf(s)] = 0;
        row.newestSlice = slice;
    }
    if (slice > row.newestSlice - kRateSlices)
        ++row.slices[slotOf(slice)];
}

void IdentifierStats::clear()
{
    m_rows.clear();
    m_index.clear();
}

}  // namespace tellvane
