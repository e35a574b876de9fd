#include "cli/BenchRunner.h"

#include "can/Adapter.h"
#include "core/Clock.h"
#include "sim/BenchBridge.h"
#include "sim/SimAdapter.h"

#include <algorithm>

namespace tellvane::cli {

BenchRunner::BenchRunner(BenchBridge& bridge, SimAdapter& bench, Adapter& outside, Clock& clock)
    : m_bridge(bridge), m_bench(bench), m_outside(outside), m_clock(clock)
{
}

void BenchRunner::tryStart(std::int64_t now)
{
    m_tried = true;
    m_lastTryUs = now;
    const std::int16_t r = m_bridge.start();
    if (r == 1) {
        if (onStarted)
            onStarted();
    } else if (onStartFailed) {
        onStartFailed(r);
    }
}

void BenchRunner::turn()
{
    ++m_turns;
    const std::int64_t now = m_clock.nowMicroseconds();
    if (!m_bridge.started()) {
        if (!m_tried || now - m_lastTryUs >= kRetryIntervalUs)
            tryStart(now);
        if (!m_bridge.started()) {
            m_clock.sleepUntilUs(std::min(now + kMaxWaitUs, m_lastTryUs + kRetryIntervalUs));
            return;
        }
    }
    const int moved = m_bridge.pump();
    if (m_bridge.lastSendResult() != m_lastSendResult) {
        m_lastSendResult = m_bridge.lastSendResult();
        if (onSendResultChanged)
            onSendResultChanged(m_lastSendResult);
    }
    m_emptyPolls = moved == 0 && m_wokeEarly ? m_emptyPolls + 1 : 0;
    if (m_bridge.backlog()) {
        m_wokeEarly = false;
        return;  // more is waiting: the next turn moves it, after the caller's checks
    }
    // Whatever the boards answered has gone out; what they send later is
    // due at the bus's next event.
    const std::int64_t start = m_clock.nowMicroseconds();
    const std::int64_t until = std::min(start + kMaxWaitUs, m_bench.bus().nextEventUs());
    if (m_emptyPolls >= kEmptyPollsBeforePacing)
        m_clock.sleepUntilUs(std::min(until, start + kQuietPollUs));
    else
        m_outside.waitForRecords(m_clock, until);
    m_wokeEarly = m_clock.nowMicroseconds() < until;
}

void BenchRunner::run(const std::function<bool()>& stop)
{
    while (!stop())
        turn();
}

}  // namespace tellvane::cli
