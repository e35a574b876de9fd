#pragma once

#include "can/Adapter.h"
#include "can/LinkInterfaces.h"
#include "can/SessionTime.h"

#include <QLoggingCategory>

#include <cstdint>
#include <functional>
#include <vector>

namespace tellvane {

class Clock;

Q_DECLARE_LOGGING_CATEGORY(lcLink)

// Keeps the adapter configured and alive and drains what it receives. Driven by
// the main window's poll timer: the first tick probes and configures, every tick
// drains, and about once a second the link is checked (the controller's
// error-flag register while the adapter works, a new probe while it does not).
class CanLink {
public:
    CanLink(Adapter& adapter, Clock& clock);

    void setAdapter(Adapter& adapter) { m_adapter = &adapter; }
    Adapter& adapter() { return *m_adapter; }

    // Collaborators; each may be left unset.
    void setStatusView(LinkStatusView* view) { m_view = view; }
    void setMessageSink(CanMessageSink* sink) { m_sink = sink; }
    void setRouter(MessageRouter* router) { m_router = router; }
    // Beside the message sink, never instead of it: the bus trace.
    void setTraceSink(TraceSink* trace) { m_trace = trace; }
    // Beside the bus trace: others that see every message sent or received
    // (the database signals plotted and recorded). Each is added once.
    void addTraceListener(TraceSink* listener);
    void removeTraceListener(TraceSink* listener);
    // Lets pending window events run during a long drain (no-op in tests).
    void setYield(std::function<void()> yield) { m_yield = std::move(yield); }
    // The poll timer's interval, from which the link check interval follows.
    void setTimerIntervalMs(int ms) { m_timerIntervalMs = ms; }

    // A new adapter, or the same one to be found again: the next tick probes
    // and configures it as at start-up. Not while a drain runs.
    void restart();

    // Turns on the adapter's time stamps and configures it (reset, 250 kbit/s,
    // masks and filters); a failed configuration forces a link check once.
    void initCanInterface();
    // Closes every mask and filter: nothing more is received (file mode, the end).
    void blockCanReception();
    // One tick of the poll timer: drains the adapter, and checks the link about once a second.
    void pollTick();
    // While the link is OK and not forced: reads the error-flag register;
    // otherwise probes with an empty frame, sets the state, reconfigures.
    void checkCanLink(bool force);
    void setInterfaceStatus(InterfaceState state);
    // Drains every queued record: each is shown, traced and routed in turn.
    void checkForIncomingCanMessages();
    // Waits for the adapter to receive something, at most until the clock
    // reads untilUs; the drain is the caller's next step.
    void waitForArrival(std::int64_t untilUs) { m_adapter->waitForRecords(m_clock, untilUs); }

    // A received message (or one played back as if received): shown, traced
    // and routed to the boards. One without a session time takes now.
    void deliverReceived(CanMessage message);

    // The program's time line, begun when the link was made.
    const SessionTime& session() const { return m_session; }
    std::int64_t sessionNowUs() const { return m_session.nowUs(); }
    // A time line of its own for a log played into the program (CanMessage::line).
    std::uint16_t newPlayedLine()
    {
        m_lastLine = static_cast<std::uint16_t>(m_lastLine == 0xFFFF ? 1 : m_lastLine + 1);
        return m_lastLine;
    }

    // SendCANMess (mode 7) followed by LogCANMessage with time 0 (and the
    // session time of the send); the result of the send.
    std::int16_t sendLogged(std::uint32_t idAsSent, std::uint8_t length, const std::uint8_t* data);

    // Writes 0 to the controller's error-flag register (the monitor's error timer).
    void clearErrorRegister();

    InterfaceState interfaceState() const { return m_state; }
    std::int16_t pollCounter() const { return m_pollCounter; }
    bool draining() const { return m_drainDepth > 0; }

private:
    bool configure();
    void yieldIfDue();

    Adapter* m_adapter;
    Clock& m_clock;
    SessionTime m_session;
    std::uint16_t m_lastLine = 0;
    LinkStatusView* m_view = nullptr;
    CanMessageSink* m_sink = nullptr;
    MessageRouter* m_router = nullptr;
    TraceSink* m_trace = nullptr;
    std::vector<TraceSink*> m_listeners;
    std::function<void()> m_yield;

    InterfaceState m_state = InterfaceState::NotChecked;
    std::int16_t m_pollCounter = 0;
    int m_timerIntervalMs = 25;
    int m_yieldIntervalMs = 5;  // at most one yield per this many milliseconds of draining
    std::uint32_t m_lastYieldTick = 0;
    bool m_yieldedOnce = false;
    int m_drainDepth = 0;
    bool m_inForcedCheck = false;
    bool m_overflowed = false;  // the last record received had the overflow status
};

}  // namespace tellvane
