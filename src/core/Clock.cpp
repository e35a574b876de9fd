#include "core/Clock.h"

#include <chrono>
#include <thread>

namespace tellvane {

void Clock::delayMs(int ms)
{
    noteDelay(ms);
    const std::uint32_t start = tickCount();
    while (ms > 0 && static_cast<std::uint32_t>(tickCount() - start) < static_cast<std::uint32_t>(ms))
        idle();
}

namespace {
std::int64_t steadyMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

RealClock::RealClock() : m_origin(steadyMicroseconds()) {}

std::int64_t RealClock::nowMicroseconds()
{
    return steadyMicroseconds() - m_origin;
}

void RealClock::sleepUntilUs(std::int64_t us)
{
    const std::int64_t left = us - nowMicroseconds();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(left));
}

void RealClock::idle()
{
    // A short sleep instead of spinning: the wait still blocks the window thread
    // as the protocol expects, without burning a core.
    std::this_thread::sleep_for(std::chrono::microseconds(100));
}

}  // namespace tellvane
