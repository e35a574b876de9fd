#include "logs/TraceReplay.h"

#include "core/Clock.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tellvane {

TraceReplay::TraceReplay(Clock& clock, Source source, Rewind rewind, Deliver deliver)
    : m_clock(clock), m_source(std::move(source)), m_rewind(std::move(rewind)), m_deliver(std::move(deliver))
{
}

bool TraceReplay::setSpeed(double factor)
{
    if (!(factor >= kMinSpeed && factor <= kMaxSpeed))
        return false;
    if (m_started && !m_paused && m_pending) {
        // The wait for the next frame shrinks or grows with the pace, and the
        // frames after it follow at the new one.
        const std::int64_t now = m_clock.nowMicroseconds();
        const auto remaining = static_cast<double>(std::max<std::int64_t>(0, dueUs(m_pending->timeUs) - now));
        m_anchorClockUs = now + std::llround(remaining * m_speed / factor);
        m_anchorFrameUs = m_pending->timeUs;
    }
    m_speed = factor;
    return true;
}

bool TraceReplay::fetch()
{
    m_sourceWaits = false;
    if (m_pending)
        return true;
    auto stoppedShort = [this] { return m_sourceWaits = m_waiting && m_waiting(); };
    TraceFrame frame;
    if (!m_rewound) {
        if (m_source(frame)) {
            // A log whose times go back plays the late frame at once, in file order.
            frame.timeUs = std::max(frame.timeUs, m_lastFrameUs);
            m_pending = frame;
            return true;
        }
        if (stoppedShort() || !m_loop || m_delivered == 0 || !m_rewind || !m_rewind())
            return false;
        m_rewound = true;
    }
    if (!m_source(frame)) {
        if (!stoppedShort())
            m_rewound = false;
        return false;
    }
    m_rewound = false;
    ++m_passes;
    m_lastFrameUs = frame.timeUs;
    m_pending = frame;
    anchorAtPending();
    m_anchorClockUs += kLoopGapUs;
    return true;
}

void TraceReplay::anchorAtPending()
{
    m_anchorClockUs = m_clock.nowMicroseconds();
    m_anchorFrameUs = m_pending ? m_pending->timeUs : 0;
}

std::int64_t TraceReplay::dueUs(std::int64_t frameUs) const
{
    return m_anchorClockUs + static_cast<std::int64_t>(std::llround(static_cast<double>(frameUs - m_anchorFrameUs) / m_speed));
}

void TraceReplay::deliverPending()
{
    const TraceFrame frame = *m_pending;
    m_pending.reset();
    m_lastFrameUs = frame.timeUs;
    ++m_delivered;
    m_deliver(frame);
}

std::optional<std::int64_t> TraceReplay::poll()
{
    if (m_finished || m_paused)
        return std::nullopt;
    if (!m_started) {
        if (!fetch()) {
            if (m_sourceWaits)
                return m_clock.nowMicroseconds();
            m_started = m_finished = true;
            return std::nullopt;
        }
        m_started = true;
        m_passes = 1;
        anchorAtPending();
    }
    // Bounded by the frames due now: a frame delivered is never read twice.
    while (fetch()) {
        if (std::exchange(m_reanchor, false))
            anchorAtPending();
        const std::int64_t due = dueUs(m_pending->timeUs);
        if (due > m_clock.nowMicroseconds())
            return due;
        deliverPending();
        if (m_paused)
            return std::nullopt;
    }
    if (m_sourceWaits)
        return m_clock.nowMicroseconds();
    m_finished = true;
    return std::nullopt;
}

void TraceReplay::pause()
{
    m_paused = true;
}

void TraceReplay::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    if (!m_started)
        return;
    if (fetch())
        anchorAtPending();
    else
        m_reanchor = m_sourceWaits;  // at the frame still to come
}

bool TraceReplay::step()
{
    m_paused = true;
    if (m_finished)
        return false;
    if (!m_started) {
        m_started = true;
        m_passes = 1;
    }
    if (!fetch()) {
        m_finished = !m_sourceWaits;
        return false;
    }
    deliverPending();
    return true;
}

}  // namespace tellvane
