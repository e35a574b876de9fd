#include "transmit/TransmitScheduler.h"

#include "core/Clock.h"

#include <algorithm>

namespace tellvane {

TransmitScheduler::TransmitScheduler(Clock& clock, Send send) : m_clock(clock), m_send(std::move(send)) {}

bool TransmitScheduler::sendOnce(int key, const TransmitRow& row)
{
    return row.problem().isEmpty() && send(key, row.frame());
}

void TransmitScheduler::start(int key, const TransmitRow& row)
{
    if (!row.periodic() || !row.problem().isEmpty() || running(key))
        return;
    m_stopReason.clear();
    std::erase_if(m_counts, [key](const auto& c) { return c.first == key; });
    m_rows.push_back({.key = key,
                      .frame = row.frame(),
                      .periodUs = std::int64_t{row.periodMs} * 1000,
                      .left = row.count > 0 ? row.count : -1,
                      .nextUs = m_clock.nowMicroseconds()});
}

std::optional<std::int64_t> TransmitScheduler::poll()
{
    const std::int64_t now = m_clock.nowMicroseconds();
    // The most overdue first, so that rows due together keep their order.
    std::sort(m_rows.begin(), m_rows.end(), [](const Running& a, const Running& b) {
        return a.nextUs != b.nextUs ? a.nextUs < b.nextUs : a.key < b.key;
    });
    for (std::size_t i = 0; i < m_rows.size() && m_rows[i].nextUs <= now; ++i) {
        Running& row = m_rows[i];
        if (!send(row.key, row.frame))
            return std::nullopt;  // everything stopped
        if (row.left > 0)
            --row.left;
        row.nextUs += row.periodUs;
        if (row.nextUs <= now) {
            // Behind by a period or more: the missed points of the grid are dropped.
            const std::int64_t behind = (now - row.nextUs) / row.periodUs + 1;
            m_missed += behind;
            row.nextUs += behind * row.periodUs;
        }
    }
    std::erase_if(m_rows, [](const Running& row) { return row.left == 0; });
    if (m_rows.empty())
        return std::nullopt;
    std::int64_t next = m_rows.front().nextUs;
    for (const Running& row : m_rows)
        next = std::min(next, row.nextUs);
    return next;
}

void TransmitScheduler::stopAll()
{
    m_rows.clear();
    m_stopReason.clear();
}

void TransmitScheduler::stopAll(const QString& why)
{
    m_rows.clear();
    m_stopReason = why;
}

bool TransmitScheduler::running(int key) const
{
    return std::any_of(m_rows.begin(), m_rows.end(), [key](const Running& row) { return row.key == key; });
}

std::int64_t TransmitScheduler::sentCount(int key) const
{
    for (const auto& [k, count] : m_counts) {
        if (k == key)
            return count;
    }
    return 0;
}

void TransmitScheduler::clearCounts()
{
    m_counts.clear();
}

bool TransmitScheduler::send(int key, const TraceFrame& frame)
{
    if (!m_send(frame)) {
        stopAll(QStringLiteral("Stopped: the adapter did not take a frame."));
        return false;
    }
    auto counted = std::find_if(m_counts.begin(), m_counts.end(), [key](const auto& c) { return c.first == key; });
    if (counted == m_counts.end())
        m_counts.emplace_back(key, 1);
    else
        ++counted->second;
    return true;
}

}  // namespace tellvane
