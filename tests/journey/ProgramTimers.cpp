#include "ProgramTimers.h"

#include "core/Clock.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>

namespace tellvane::test {

ProgramTimers::ProgramTimers(Clock& clock) : m_clock(clock)
{
    QCoreApplication::instance()->installEventFilter(this);
}

ProgramTimers::~ProgramTimers()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void ProgramTimers::watch(const QTimer& timer)
{
    // Watched twice, it would fire twice.
    if (std::any_of(m_watched.begin(), m_watched.end(), [&](const Watched& w) { return w.timer == &timer; }))
        return;
    // The program hands out its timers read-only; the event loop delivers to them all the same.
    m_watched.push_back({const_cast<QTimer*>(&timer), std::nullopt, 0});
    observe();
}

void ProgramTimers::observe()
{
    const std::int64_t now = m_clock.nowMicroseconds();
    m_watched.erase(std::remove_if(m_watched.begin(), m_watched.end(), [](const Watched& w) { return w.timer.isNull(); }),
                    m_watched.end());
    for (Watched& w : m_watched) {
        if (!w.timer->isActive()) {
            w.sinceUs.reset();
            continue;
        }
        // A new id is a new start (stopped and started again between two looks).
        if (!w.sinceUs || w.timer->timerId() != w.timerId) {
            w.sinceUs = now;
            w.timerId = w.timer->timerId();
        }
    }
}

bool ProgramTimers::fireDue()
{
    observe();
    bool fired = false;
    // By index: a timer's handler may run the event loop, and with it this function again.
    for (std::size_t i = 0; i < m_watched.size(); ++i) {
        Watched& w = m_watched[i];
        if (!w.timer || !w.timer->isActive() || !w.sinceUs)
            continue;
        const std::int64_t now = m_clock.nowMicroseconds();
        if (now - *w.sinceUs < std::int64_t{w.timer->interval()} * 1000)
            continue;
        w.sinceUs = now;  // a repeating timer starts its next interval
        w.timerId = w.timer->timerId();
        QTimerEvent event(w.timerId);
        m_sending.push_back(&event);
        QCoreApplication::sendEvent(w.timer.data(), &event);
        m_sending.erase(std::find(m_sending.begin(), m_sending.end(), &event));
        fired = true;
        observe();
    }
    return fired;
}

bool ProgramTimers::eventFilter(QObject* watched, QEvent* event)
{
    ++m_events;
    if (event->type() != QEvent::Timer)
        return false;
    const bool ours = std::any_of(m_watched.begin(), m_watched.end(), [&](const Watched& w) { return w.timer == watched; });
    if (!ours)
        return false;
    // Only the ticks this object sends on the fake clock get through.
    return std::find(m_sending.begin(), m_sending.end(), event) == m_sending.end();
}

}  // namespace tellvane::test
