#include "can/SessionTime.h"

#include "core/Clock.h"

#include <algorithm>

namespace tellvane {

namespace {
std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
}  // namespace

SessionTime::SessionTime(Clock& clock)
    : m_clock(clock), m_zeroUs(clock.nowMicroseconds()), m_startedAt(QDateTime::currentDateTime())
{
}

std::int64_t SessionTime::nowUs() const
{
    return std::max<std::int64_t>(0, m_clock.nowMicroseconds() - m_zeroUs);
}

std::int64_t SessionTime::received(std::optional<std::int64_t> stampUs)
{
    const std::int64_t arrival = nowUs();
    std::int64_t t = arrival;
    if (stampUs) {
        const std::int64_t stamp = ((*stampUs % kTurnUs) + kTurnUs) % kTurnUs;
        if (!m_tied) {
            m_offsetUs = arrival - stamp;
            m_tied = true;
            m_windowStartUs = -1;
        }
        // The turn that puts the frame nearest its arrival.
        const std::int64_t base = stamp + m_offsetUs;
        t = base + floorDiv(arrival - base + kTurnUs / 2, kTurnUs) * kTurnUs;
        if (t > arrival || (arrival - m_lastArrivalUs >= kDriftWindowUs && arrival - t > kDriftToleranceUs)) {
            m_offsetUs -= t - arrival;
            t = arrival;
        }
        const std::int64_t late = arrival - t;
        if (m_windowStartUs < 0 || late < m_windowLeastLateUs)
            m_windowLeastLateUs = late;
        if (m_windowStartUs < 0) {
            m_windowStartUs = arrival;
            m_windowFrames = 0;
        }
        ++m_windowFrames;
        if (arrival - m_windowStartUs >= kDriftWindowUs) {
            if (m_windowFrames >= kDriftFrames && m_windowLeastLateUs > kDriftToleranceUs)
                m_offsetUs += m_windowLeastLateUs;
            m_windowStartUs = -1;
        }
    }
    m_lastArrivalUs = arrival;
    t = std::max(t, m_lastUs);
    m_lastUs = t;
    return t;
}

}  // namespace tellvane
