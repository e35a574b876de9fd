#pragma once

#include <cstdint>

namespace tellvane {

// Time source for every wait and time stamp, so that tests can run the long
// waits of the bus protocol in no real time.
class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic time in microseconds from an arbitrary start.
    virtual std::int64_t nowMicroseconds() = 0;

    // Millisecond tick counter; wraps like a 32-bit counter.
    std::uint32_t tickCount() { return static_cast<std::uint32_t>(nowMicroseconds() / 1000); }

    // Blocks until the tick counter has advanced by at least ms. Window events
    // do not run meanwhile. The unsigned difference keeps the counter's wrap harmless.
    void delayMs(int ms);

    // Sleeps until the clock reads at least us; at once when it already does.
    // Window events do not run meanwhile. The fake clock moves there instead.
    virtual void sleepUntilUs(std::int64_t us) = 0;

protected:
    // One pause inside delayMs; the real clock sleeps briefly, the fake one moves on.
    virtual void idle() = 0;
    // Called once at the start of every delayMs.
    virtual void noteDelay(int /*ms*/) {}
};

class RealClock final : public Clock {
public:
    RealClock();
    std::int64_t nowMicroseconds() override;
    void sleepUntilUs(std::int64_t us) override;

protected:
    void idle() override;

private:
    std::int64_t m_origin;
};

class FakeClock final : public Clock {
public:
    explicit FakeClock(std::int64_t startMicroseconds = 0) : m_now(startMicroseconds) {}

    std::int64_t nowMicroseconds() override { return m_now; }
    void advanceMicroseconds(std::int64_t us) { m_now += us; }
    void advanceMs(std::int64_t ms) { m_now += ms * 1000; }
    void setMicroseconds(std::int64_t us) { m_now = us; }
    void sleepUntilUs(std::int64_t us) override
    {
        if (us > m_now)
            m_now = us;
    }
    int delayCalls() const { return m_delayCalls; }
    std::int64_t delayedMs() const { return m_delayedMs; }

protected:
    void idle() override { m_now += 100; }
    void noteDelay(int ms) override
    {
        ++m_delayCalls;
        m_delayedMs += ms > 0 ? ms : 0;
    }

private:
    std::int64_t m_now;
    int m_delayCalls = 0;
    std::int64_t m_delayedMs = 0;
};

}  // namespace tellvane
