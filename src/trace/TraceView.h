#pragma once

#include "trace/RingBuffer.h"
#include "trace/TraceFilter.h"
#include "trace/TraceRing.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tellvane {

// The frames of a ring that pass a filter, as rows: row 0 the oldest such
// frame still in the ring. The rows are the frames' sequence numbers, kept in
// a ring of the same capacity, taken once, so following the trace never
// allocates. update() takes in what was recorded since the last call and lets
// go of what fell out of the ring.
class TraceView {
public:
    explicit TraceView(const TraceRing& ring);

    const TraceFilter& filter() const { return m_filter; }
    // Applies a filter to the whole ring anew.
    void setFilter(const TraceFilter& filter);
    // The filter of an expression; when it does not parse, the current filter
    // stays and the reason is returned.
    std::optional<TraceFilterError> setFilterExpression(QStringView expression);
    // What "msg=" asks, for this filter and every one set after; the rows are
    // taken anew, as the names may have changed.
    void setMessageNames(TraceFilter::MessageNames names);
    const TraceFilter::MessageNames& messageNames() const { return m_messageNames; }

    // After the ring was appended to (or emptied or resized: then rebuild()).
    void update();
    // Reads the whole ring anew, as after a change of filter or capacity.
    void rebuild();

    std::size_t size() const { return m_rows.size(); }
    std::uint64_t sequenceAt(std::size_t row) const { return m_rows[row]; }
    const TraceFrame& frameAt(std::size_t row) const { return m_ring.bySequence(m_rows[row]); }
    // False when the row's frame has left the ring since the last update.
    bool rowHeld(std::size_t row) const { return m_ring.holds(m_rows[row]); }

    // Rows ever taken in and let go of since the last rebuild: a model tells
    // from these which rows went at the top and came at the bottom.
    std::uint64_t rowsTakenIn() const { return m_rows.endSequence() - m_rebuildBase; }
    std::uint64_t rowsLetGo() const { return m_rows.firstSequence() - m_rebuildBase; }
    // Counts rebuilds; the rows of one generation have nothing to do with another's.
    std::uint64_t generation() const { return m_generation; }

    // The first row after (or before) `from` whose frame passes `what`; -1
    // searches from the start (or the end). Nothing when there is none.
    std::optional<std::size_t> findNext(std::ptrdiff_t from, const TraceFilter& what) const;
    std::optional<std::size_t> findPrevious(std::ptrdiff_t from, const TraceFilter& what) const;
    // The row of the first frame at or after a sequence number (size() when none).
    std::size_t rowAtOrAfter(std::uint64_t seq) const;

    std::size_t bytesReserved() const { return m_rows.bytesReserved(); }

private:
    const TraceRing& m_ring;
    TraceFilter m_filter;
    TraceFilter::MessageNames m_messageNames;
    RingBuffer<std::uint64_t> m_rows;
    std::size_t m_capacity = 0;
    std::uint64_t m_seen = 0;  // the ring's end sequence at the last update
    std::uint64_t m_rebuildBase = 0;
    std::uint64_t m_generation = 0;
};

}  // namespace tellvane
