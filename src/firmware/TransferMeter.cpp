#include "firmware/TransferMeter.h"

#include "can/BoardMessages.h"
#include "core/Clock.h"

namespace tellvane::firmware {

void TransferMeter::begin()
{
    m_started = true;
    m_running = true;
    m_packets = 0;
    m_lines = 0;
    m_beginUs = m_clock.nowMicroseconds();
    m_lastLineUs = m_beginUs;
}

void TransferMeter::clear()
{
    m_started = false;
    m_running = false;
    m_packets = 0;
    m_lines = 0;
    m_beginUs = m_lastLineUs = m_clock.nowMicroseconds();
}

void TransferMeter::lineDone()
{
    if (m_running)
        m_lastLineUs = m_clock.nowMicroseconds();
}

void TransferMeter::logCanMessage(const CanMessage& message)
{
    // The tool's own messages carry bit 31; received ones never do.
    const auto id = static_cast<std::uint32_t>(message.id);
    if (!m_running || m_board < 0 || (id & can::kExtendedFrame) == 0)
        return;
    if ((id & ~can::kExtendedFrame) != board::toBoard(m_board) || message.length < 2 || message.data[0] != board::kText)
        return;
    ++m_packets;
    for (int i = 1; i < message.length && i < 9; ++i) {
        if (message.data[static_cast<std::size_t>(i)] == '\n')
            ++m_lines;
    }
}

QString TransferMeter::summary() const
{
    const std::int64_t us = elapsedUs();
    const std::int64_t perPacket = m_packets > 0 ? (us + m_packets / 2) / m_packets : 0;
    return QStringLiteral("File transfer: %1 lines, %2 packets in %3 s, %4 us a packet")
        .arg(m_lines)
        .arg(m_packets)
        .arg(static_cast<double>(us) / 1e6, 0, 'f', 3)
        .arg(perPacket);
}

void MeteredDownloaderView::setStatus(const QString& text)
{
    if (text.isEmpty() || text == m_status)
        return;
    m_status = text;
    if (text == QLatin1String("Loading file..."))
        m_meter.begin();
    statusChanged(text);
}

void MeteredDownloaderView::setProgress(int percent)
{
    if (percent >= 0)
        m_meter.lineDone();  // the downloader moves the progress once per line sent
    const int previous = m_progress;
    m_progress = percent;
    progressChanged(percent, previous);
}

}  // namespace tellvane::firmware
