#include "monitor/MonitorStatus.h"

#include "can/CanLink.h"

namespace tellvane {

MonitorStatus::MonitorStatus(CanLink& link, QObject* parent) : QObject(parent), m_link(link)
{
    m_errorTimer.setInterval(kErrorTimerMs);
    connect(&m_errorTimer, &QTimer::timeout, this, &MonitorStatus::errorTimerTick);
}

bool MonitorStatus::interfaceLabelVisible(int index) const
{
    const int state = static_cast<int>(m_state);
    return state >= 1 && state <= 4 && index == state - 1;
}

void MonitorStatus::showInterfaceState(InterfaceState state)
{
    if (state == m_state)
        return;
    m_state = state;
    touch();
}

void MonitorStatus::showErrorFlags(std::uint8_t flags)
{
    if (m_flags == flags)
        return;
    m_flags = flags;
    touch();
}

void MonitorStatus::showBufferOverflow(bool overflowed)
{
    if (overflowed == m_overflow)
        return;
    m_overflow = overflowed;
    touch();
}

void MonitorStatus::showMessagesInBuffer(int count)
{
    QString text = QString::number(count);
    if (text == m_messagesInBuffer)
        return;
    m_messagesInBuffer = std::move(text);
    touch();
}

void MonitorStatus::enableErrorTimer()
{
    if (!m_errorTimer.isActive())
        m_errorTimer.start();
}

void MonitorStatus::errorTimerTick()
{
    m_errorTimer.stop();
    m_link.clearErrorRegister();
}

void MonitorStatus::bufferOverflowClicked()
{
    m_link.initCanInterface();
    m_overflow = false;
    touch();
}

void MonitorStatus::touch()
{
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(this, &MonitorStatus::flush, Qt::QueuedConnection);
}

void MonitorStatus::flush()
{
    if (!m_pending)
        return;
    m_pending = false;
    emit changed();
}

}  // namespace tellvane
