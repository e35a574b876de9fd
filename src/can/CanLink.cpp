#include "can/CanLink.h"

#include "can/AdapterRecord.h"
#include "core/Clock.h"
#include "core/ErrorReporting.h"

#include <algorithm>

namespace tellvane {

Q_LOGGING_CATEGORY(lcLink, "tellvane.can.link")

namespace {
constexpr std::uint32_t kAcceptAll = 0x80000000u;
constexpr std::uint32_t kMaskAllButSource = 0x9FFFFF00u;
constexpr std::uint32_t kToDestinationFE = 0x98EFFE00u;
constexpr std::uint32_t kToAllBoards = 0x98EFFF00u;
constexpr std::uint32_t kMatchNothing = 0x9FFFFFFFu;
}  // namespace

CanLink::CanLink(Adapter& adapter, Clock& clock) : m_adapter(&adapter), m_clock(clock), m_session(clock) {}

bool CanLink::configure()
{
    // A reset starts the adapter's time stamps afresh.
    m_session.adapterRestarted();
    Adapter& a = *m_adapter;
    return a.resetInterface() == 1 && a.clearCanMess() == 1 && a.setCanBaud(Adapter::kBaud250k) == 1
        && a.clearCanMess() == 1 && a.recCanMess(kAcceptAll, Adapter::kMaskSelector0) == 1
        && a.recCanMess(kMaskAllButSource, Adapter::kMaskSelector1) == 1 && a.setFilters(0, kAcceptAll) == 1
        && a.setFilters(1, kToDestinationFE) == 1 && a.setFilters(2, kToAllBoards) == 1
        && a.setFilters(3, kToAllBoards) == 1 && a.setFilters(4, kToAllBoards) == 1
        && a.setFilters(5, kToAllBoards) == 1;
}

void CanLink::restart()
{
    m_session.adapterRestarted();
    m_pollCounter = 0;
    setInterfaceStatus(InterfaceState::NotChecked);
}

void CanLink::initCanInterface()
{
    m_adapter->enableTs();
    if (configure())
        return;
    qCInfo(lcLink) << "configuration of" << m_adapter->name() << "failed";
    if (!m_inForcedCheck) {
        m_inForcedCheck = true;
        checkCanLink(true);
        m_inForcedCheck = false;
    } else {
        // The probe answers but the configuration keeps failing. Rather than
        // probing and configuring again without end, show the link as not
        // connected: the next link check probes and configures once more.
        setInterfaceStatus(InterfaceState::NoConnection);
    }
}

void CanLink::blockCanReception()
{
    Adapter& a = *m_adapter;
    a.recCanMess(kMatchNothing, Adapter::kMaskSelector0);
    a.recCanMess(kMatchNothing, Adapter::kMaskSelector1);
    for (std::uint8_t f = 0; f <= 5; ++f)
        a.setFilters(f, kMatchNothing);
}

void CanLink::pollTick()
{
    // A tick that fires while a drain lets window events run would re-enter
    // that drain; the running drain already empties the adapter.
    if (m_drainDepth > 0)
        return;
    if (m_pollCounter == 0)
        m_pollCounter = 900;  // the first tick checks the link at once
    checkForIncomingCanMessages();
    if (m_pollCounter < 32767)
        ++m_pollCounter;
    const double ticksPerSecond = 1000.0 / (m_timerIntervalMs > 0 ? m_timerIntervalMs : 1);
    if (ticksPerSecond < m_pollCounter) {
        checkCanLink(false);
        m_pollCounter = 1;
    }
}

void CanLink::checkCanLink(bool force)
{
    if (m_state == InterfaceState::Ok && !force) {
        std::uint8_t flags = 0;
        if (m_adapter->readReg(Adapter::kErrorFlagRegister, 1, &flags) == 1) {
            if (m_trace)
                m_trace->traceErrorFlags(flags);
            if (m_view) {
                m_view->showErrorFlags(flags);
                if (flags & 0xC0)
                    m_view->enableErrorTimer();
            }
        }
        return;
    }

    const std::uint8_t none[kCanDataSize] = {};
    const std::int16_t r = sendLogged(0, 0, none);
    if (r == 1) {
        setInterfaceStatus(InterfaceState::Ok);
        initCanInterface();
    } else if (r == Adapter::kSendFailed) {
        initCanInterface();
        setInterfaceStatus(InterfaceState::SendFailed);
    } else if (r == Adapter::kAdapterMissing || r == Adapter::kAdapterMissingAlt) {
        setInterfaceStatus(InterfaceState::AdapterMissing);
    } else {
        setInterfaceStatus(InterfaceState::NoConnection);
    }
}

void CanLink::setInterfaceStatus(InterfaceState state)
{
    if (state != m_state)
        qCInfo(lcLink) << "interface state" << static_cast<int>(state);
    m_state = state;
    if (m_view)
        m_view->showInterfaceState(state);
}

void CanLink::yieldIfDue()
{
    if (!m_yield)
        return;
    const std::uint32_t now = m_clock.tickCount();
    if (m_yieldedOnce && static_cast<std::uint32_t>(now - m_lastYieldTick) < static_cast<std::uint32_t>(m_yieldIntervalMs))
        return;
    m_yieldedOnce = true;
    m_lastYieldTick = now;
    m_yield();
}

void CanLink::checkForIncomingCanMessages()
{
    if (m_state != InterfaceState::Ok)
        return;
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(m_drainDepth);

    try {
        Adapter::Record record{};
        std::int16_t r = 1;
        bool first = true;
        while (r == 1) {
            // Between records, never with one taken and not yet delivered: a
            // drain run by the yield must find every earlier record delivered,
            // or the frames would reach the windows out of order. A drain of a
            // single record leaves the yield to the event loop it returns to.
            if (!first)
                yieldIfDue();
            first = false;
            record.fill(0);
            r = m_adapter->getCanMess(record);
            if (r <= 0)
                break;
            const bool overflowed = recordOverflowFlag(record);
            if (m_view)
                m_view->showBufferOverflow(overflowed);
            if (m_trace && overflowed && !m_overflowed)
                m_trace->traceOverflow();
            m_overflowed = overflowed;
            CanMessage message = decodeRecord(record);
            message.sessionUs = m_session.received(recordTimeStampUs(record));
            deliverReceived(message);
            if (m_view)
                m_view->showMessagesInBuffer(m_adapter->getNumCanMess());
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CheckForInComingCANMessages"));
    }
}

void CanLink::deliverReceived(CanMessage message)
{
    if (message.sessionUs < 0)
        message.sessionUs = m_session.nowUs();
    if (m_sink)
        m_sink->logCanMessage(message);
    if (m_trace)
        m_trace->traceMessage(message, false);
    // By index: a listener may take itself off as it hears.
    for (std::size_t i = 0; i < m_listeners.size(); ++i)
        m_listeners[i]->traceMessage(message, false);
    if (m_router)
        m_router->processCanMessage(message);
}

std::int16_t CanLink::sendLogged(std::uint32_t idAsSent, std::uint8_t length, const std::uint8_t* data)
{
    const std::int16_t r = m_adapter->sendCanMess(idAsSent, Adapter::kSendMode, length, data);
    if (m_sink || m_trace || !m_listeners.empty()) {
        CanMessage logged;
        logged.id = static_cast<std::int32_t>(idAsSent);
        logged.sessionUs = m_session.nowUs();
        logged.length = length;
        for (int i = 0; i < length && i < static_cast<int>(kCanDataSize); ++i)
            logged.data[static_cast<std::size_t>(i)] = data[i];
        if (m_sink)
            m_sink->logCanMessage(logged);
        if (m_trace)
            m_trace->traceMessage(logged, true);
        for (std::size_t i = 0; i < m_listeners.size(); ++i)
            m_listeners[i]->traceMessage(logged, true);
    }
    return r;
}

void CanLink::addTraceListener(TraceSink* listener)
{
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CanLink::removeTraceListener(TraceSink* listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void CanLink::clearErrorRegister()
{
    const std::uint8_t zero = 0;
    m_adapter->writeReg(Adapter::kErrorFlagRegister, 1, &zero);
}

}  // namespace tellvane
