#include "trace/IdentifierStats.h"

namespace tellvane {

void IdentifierStats::add(const TraceFrame& frame)
{
    const std::uint32_t k = key(frame.id, frame.extended());
    auto it = m_index.constFind(k);
    if (it == m_index.constEnd()) {
        it = m_index.insert(k, static_cast<int>(m_rows.size()));
        Row row;
        row.id = frame.id;
        row.extended = frame.extended();
        row.firstUs = frame.timeUs;
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
}

void IdentifierStats::clear()
{
    m_rows.clear();
    m_index.clear();
}

}  // namespace tellvane
