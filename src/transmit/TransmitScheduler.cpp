#include "transmit/TransmitScheduler.h"

#include "can/CanFrameBits.h"
#include "core/Clock.h"

#include <algorithm>
#include <cmath>
#include <numeric>

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
    const TraceFrame frame = row.frame();
    const std::int64_t periodUs = std::int64_t{row.periodMs} * 1000;
    const std::int64_t wireUs = m_bitRate > 0
        ? std::int64_t{CanFrameBits::frameBits(frame.id, frame.extended(), frame.length, frame.data.data())} * 1'000'000 / m_bitRate
        : 0;
    m_rows.push_back({.key = key,
                      .frame = frame,
                      .periodUs = periodUs,
                      .left = row.count > 0 ? row.count : -1,
                      .nextUs = m_clock.nowMicroseconds() + phaseUs(periodUs, wireUs),
                      .wireUs = wireUs});
}

std::int64_t TransmitScheduler::phaseUs(std::int64_t periodUs, std::int64_t wireUs) const
{
    // For each running row: the period both grids share, how often the two
    // meet, and where its frames lie in the shared period from now.
    struct Other {
        std::int64_t sharedUs;
        double meetings;  // a second, when they meet
        std::int64_t atUs;
        std::int64_t wireUs;
    };
    const std::int64_t now = m_clock.nowMicroseconds();
    std::vector<Other> others;
    others.reserve(m_rows.size());
    for (const Running& row : m_rows) {
        const std::int64_t shared = std::gcd(periodUs, row.periodUs);
        others.push_back({.sharedUs = shared,
                          .meetings = 1e6 * static_cast<double>(shared) / static_cast<double>(periodUs) / static_cast<double>(row.periodUs),
                          .atUs = ((row.nextUs - now) % shared + shared) % shared,
                          .wireUs = row.wireUs});
    }
    // The phases looked at go round the whole period from a point that moves
    // on by the golden ratio with each row, so that rows spread over their
    // periods rather than crowd at its start (where a frame of a period that
    // fits none of theirs would wait behind all of them).
    const std::int64_t step = std::max(kPhaseStepUs, periodUs / kPhaseSteps);
    const std::int64_t first = static_cast<std::int64_t>(std::fmod(0.6180339887 * static_cast<double>(m_rows.size()), 1.0)
                                                         * static_cast<double>(periodUs));
    std::int64_t best = first;
    double bestCost = -1;
    for (std::int64_t tried = 0; tried < periodUs && bestCost != 0; tried += step) {
        const std::int64_t phase = (first + tried) % periodUs;
        double cost = 0;
        for (const Other& other : others) {
            // The frames overlap when this one starts less than the other's
            // wire time after it, or the other less than this one's after this.
            const std::int64_t apart = ((phase - other.atUs) % other.sharedUs + other.sharedUs) % other.sharedUs;
            if (apart < other.wireUs || other.sharedUs - apart < wireUs)
                cost += other.meetings;
        }
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            best = phase;
        }
    }
    return best;
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
