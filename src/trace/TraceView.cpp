#include "trace/TraceView.h"

#include <algorithm>

namespace tellvane {

TraceView::TraceView(const TraceRing& ring) : m_ring(ring)
{
    rebuild();
}

void TraceView::setFilter(const TraceFilter& filter)
{
    m_filter = filter;
    m_filter.setMessageNames(m_messageNames);
    rebuild();
}

void TraceView::setMessageNames(TraceFilter::MessageNames names)
{
    m_messageNames = std::move(names);
    m_filter.setMessageNames(m_messageNames);
    rebuild();
}

std::optional<TraceFilterError> TraceView::setFilterExpression(QStringView expression)
{
    TraceFilterError error;
    std::optional<TraceFilter> filter = TraceFilter::parse(expression, &error);
    if (!filter)
        return error;
    setFilter(*filter);
    return std::nullopt;
}

void TraceView::rebuild()
{
    if (m_capacity != m_ring.capacity()) {
        m_capacity = m_ring.capacity();
        m_rows.setCapacity(m_capacity);
    }
    m_rows.clear();
    m_rebuildBase = m_rows.endSequence();
    ++m_generation;
    m_seen = m_ring.firstSequence();
    update();
}

void TraceView::update()
{
    const std::uint64_t end = m_ring.endSequence();
    std::uint64_t seq = std::max(m_seen, m_ring.firstSequence());
    if (m_filter.matchesEverything()) {
        for (; seq < end; ++seq)
            m_rows.push(seq);
    } else {
        for (; seq < end; ++seq) {
            if (m_filter.matches(m_ring.bySequence(seq)))
                m_rows.push(seq);
        }
    }
    m_seen = end;
    // Rows are in order of sequence, so what fell out of the ring is at the top.
    const std::uint64_t first = m_ring.firstSequence();
    std::uint64_t drop = m_rows.firstSequence();
    while (drop < m_rows.endSequence() && m_rows.bySequence(drop) < first)
        ++drop;
    m_rows.dropBefore(drop);
}

std::size_t TraceView::rowAtOrAfter(std::uint64_t seq) const
{
    std::size_t lo = 0;
    std::size_t hi = m_rows.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (m_rows[mid] < seq)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::optional<std::size_t> TraceView::findNext(std::ptrdiff_t from, const TraceFilter& what) const
{
    for (std::size_t row = from < 0 ? 0 : static_cast<std::size_t>(from) + 1; row < m_rows.size(); ++row) {
        if (what.matches(frameAt(row)))
            return row;
    }
    return std::nullopt;
}

std::optional<std::size_t> TraceView::findPrevious(std::ptrdiff_t from, const TraceFilter& what) const
{
    std::size_t row = from < 0 ? m_rows.size() : std::min(static_cast<std::size_t>(from), m_rows.size());
    while (row-- > 0) {
        if (what.matches(frameAt(row)))
            return row;
    }
    return std::nullopt;
}

}  // namespace tellvane
