#include "app/PollTimer.h"

#include "can/CanLink.h"

namespace tellvane {

PollTimer::PollTimer(CanLink& link, QObject* parent) : QObject(parent), m_link(link)
{
    m_timer.setInterval(kIntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_link.setTimerIntervalMs(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_link.pollTick(); });
}

void PollTimer::setPollingEnabled(bool enabled)
{
    if (enabled && !m_timer.isActive())
        m_timer.start();
    else if (!enabled)
        m_timer.stop();
}

}  // namespace tellvane
