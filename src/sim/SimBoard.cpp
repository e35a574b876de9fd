#include "sim/SimBoard.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

namespace tellvane {

// What the simulated boards do; quiet unless QT_LOGGING_RULES asks for it.
Q_LOGGING_CATEGORY(lcSim, "tellvane.sim", QtWarningMsg)

namespace {
constexpr std::uint32_t kRequestToAll = 0x18EAFFF9u;
constexpr std::uint32_t kToolToBoardGroup = 0x18EF00F9u;
constexpr std::uint32_t kBoardToAll = 0x18EFFF00u;
constexpr std::uint32_t kBoardToTool = 0x18EFF900u;
}  // namespace

QString SimBoard::passwordFor(std::uint32_t serial)
{
    const std::uint32_t mixed = serial * 2654435761u;
    return QString::number((mixed >> 16) & 0xFFFF, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

SimBoard::SimBoard(const SimBoardSpec& spec, int benchPosition)
    : m_spec(spec), m_stagger(static_cast<std::int64_t>(benchPosition) * 700),
      m_loader(spec.address, passwordFor(spec.serial), QString::number(spec.pCode).rightJustified(8, QLatin1Char('0')))
{
    m_loader.setSender([this](const SimFrame& frame, std::int64_t atUs) { send(frame, atUs); });
    m_loader.faults().quietAfterLines = spec.quietAfterLines;
}

SimFrame SimBoard::announcement() const
{
    SimFrame f;
    f.id = kBoardToAll + static_cast<std::uint32_t>(m_spec.address & 0xFF);
    f.length = 8;
    const auto type = static_cast<std::uint32_t>(m_spec.boardType) & 0xFFF;
    const std::uint32_t serial = m_spec.serial & 0x3FFFFFFF;
    f.data = {0xFF,
              0x00,
              static_cast<std::uint8_t>(type >> 10),
              static_cast<std::uint8_t>(type >> 2),
              static_cast<std::uint8_t>(((type & 0x03) << 6) | (serial >> 24)),
              static_cast<std::uint8_t>(serial >> 16),
              static_cast<std::uint8_t>(serial >> 8),
              static_cast<std::uint8_t>(serial)};
    return f;
}

std::vector<SimFrame> SimBoard::diagnosticFrames(std::int64_t atUs) const
{
    const std::uint32_t id = kBoardToAll + static_cast<std::uint32_t>(m_spec.address & 0xFF);
    if (!m_animation.empty()) {
        const auto step = static_cast<std::uint32_t>((atUs - m_diagnosticStartUs) / kDiagnosticPeriodUs);
        std::vector<SimFrame> frames;
        frames.reserve(m_animation.messages.size());
        for (const SimAnimation::Message& message : m_animation.messages) {
            SimFrame frame;
            frame.id = id;
            frame.length = 8;
            frame.data = SimAnimation::dataAt(message, step);
            frames.push_back(frame);
        }
        return frames;
    }
    // Values a technician can watch move, in three messages:
    //   16 (0x10)      walking lamps, a 4-bit count, a ramp (word), a sine (signed word), a count (byte)
    //   288 (0x0120)   uptime in tenths of a second (long), a 12-bit field
    //   17 (0x11)      a temperature (signed byte), a pressure (signed long), alarm bits,
    //                  a 3-bit mode and a signed 5-bit trim in one byte
    const double seconds = static_cast<double>(atUs - m_diagnosticStartUs) / 1e6;
    const auto tick = static_cast<std::uint32_t>(seconds * 10.0);
    const auto whole = static_cast<std::uint32_t>(seconds);
    const auto ramp = static_cast<std::uint16_t>(static_cast<std::uint32_t>(seconds * 50.0) % 1001);
    const auto sine = static_cast<std::int16_t>(std::lround(std::sin(seconds * 0.8) * 1500.0));
    const auto lamps = static_cast<std::uint8_t>(1u << (whole % 8));
    const auto field = static_cast<std::uint16_t>(static_cast<std::uint32_t>(seconds * 37.0) & 0x0FFF);
    const auto temperature = static_cast<std::int8_t>(std::lround(std::sin(seconds * 0.3) * 60.0));
    const auto pressure = static_cast<std::int32_t>(std::lround(std::sin(seconds * 0.2) * 200000.0));
    const auto alarms = static_cast<std::uint8_t>((whole % 6 < 3 ? 0x01 : 0) | (whole % 10 < 2 ? 0x02 : 0)
                                                  | (whole % 4 == 1 ? 0x04 : 0) | ((whole / 3) % 2 ? 0x08 : 0));
    const auto mode = static_cast<std::uint8_t>((whole / 5) % 8);
    const auto trim = static_cast<std::int8_t>(std::lround(std::sin(seconds) * 15.0));
    const auto p = static_cast<std::uint32_t>(pressure);

    SimFrame status;
    status.id = id;
    status.length = 8;
    status.data = {0x10, lamps, static_cast<std::uint8_t>(tick & 0x0F), static_cast<std::uint8_t>(ramp >> 8),
                   static_cast<std::uint8_t>(ramp), static_cast<std::uint8_t>(static_cast<std::uint16_t>(sine) >> 8),
                   static_cast<std::uint8_t>(sine), static_cast<std::uint8_t>(tick)};
    SimFrame counters;
    counters.id = id;
    counters.length = 8;
    counters.data = {0x01, 0x20, static_cast<std::uint8_t>(tick >> 24), static_cast<std::uint8_t>(tick >> 16),
                     static_cast<std::uint8_t>(tick >> 8), static_cast<std::uint8_t>(tick),
                     static_cast<std::uint8_t>(field >> 4), static_cast<std::uint8_t>((field & 0x0F) << 4)};
    SimFrame process;
    process.id = id;
    process.length = 8;
    process.data = {0x11,
                    static_cast<std::uint8_t>(temperature),
                    static_cast<std::uint8_t>(p >> 24),
                    static_cast<std::uint8_t>(p >> 16),
                    static_cast<std::uint8_t>(p >> 8),
                    static_cast<std::uint8_t>(p),
                    alarms,
                    static_cast<std::uint8_t>((mode << 5) | (static_cast<std::uint8_t>(trim) & 0x1F))};
    return {status, counters, process};
}

void SimBoard::send(const SimFrame& frame, std::int64_t atUs)
{
    if (m_spec.present)
        bus()->transmit(frame, atUs, this);
}

void SimBoard::announceAt(std::int64_t atUs)
{
    if (!m_spec.present)
        return;
    ++m_announcements;
    qCDebug(lcSim) << "board" << m_spec.address << "announces itself at" << atUs + m_stagger << "us";
    send(announcement(), atUs + m_stagger);
}

void SimBoard::toolJoined(std::int64_t nowUs)
{
    announceAt(nowUs + 10000);
}

void SimBoard::receive(const SimFrame& frame, std::int64_t atUs)
{
    if (!m_spec.present)
        return;
    const std::uint32_t address = static_cast<std::uint32_t>(m_spec.address & 0xFF);
    if (frame.id == kRequestToAll && frame.length >= 3 && frame.data[0] == 0x00 && frame.data[1] == 0xEE
        && frame.data[2] == 0x00) {
        announceAt(atUs + kReplyDelayUs);
        return;
    }
    if (frame.id != kToolToBoardGroup + address * 256 || frame.length < 1)
        return;
    if (frame.data[0] == 0x05 && m_spec.address != 254) {
        SimFrame reply;
        reply.id = kBoardToTool + address;
        reply.length = 5;
        reply.data = {0x05, static_cast<std::uint8_t>(m_spec.pCode >> 24), static_cast<std::uint8_t>(m_spec.pCode >> 16),
                      static_cast<std::uint8_t>(m_spec.pCode >> 8), static_cast<std::uint8_t>(m_spec.pCode)};
        qCDebug(lcSim).noquote() << "board" << m_spec.address << "answers the P-code request:"
                                 << QString::number(m_spec.pCode).rightJustified(8, QLatin1Char('0'));
        send(reply, atUs + kReplyDelayUs + m_stagger);
    } else if (frame.data[0] == 0xFE && frame.length == 5 && frame.data[1] == '$' && frame.data[2] == '1'
               && frame.data[3] == 'X' && (frame.data[4] == '1' || frame.data[4] == '0')) {
        if (frame.data[4] == '1' && !m_diagnostic) {
            qCDebug(lcSim) << "board" << m_spec.address << "sends diagnostic frames";
            m_diagnostic = true;
            m_diagnosticStartUs = atUs;
            m_nextDiagnosticUs = atUs + kReplyDelayUs;
        } else if (frame.data[4] == '0') {
            qCDebug(lcSim) << "board" << m_spec.address << "stops its diagnostic frames";
            m_diagnostic = false;
            m_nextDiagnosticUs = kNever;
        }
    } else if (frame.data[0] == 0xFE && frame.length == 1) {
        m_loader.ackReceived(atUs);
    } else if (frame.data[0] == 0xFE && frame.length >= 2) {
        QByteArray text;
        for (int i = 1; i < frame.length; ++i)
            text.append(static_cast<char>(frame.data[static_cast<std::size_t>(i)]));
        if (m_loader.textReceived(text, atUs)) {
            SimFrame ack;
            ack.id = kBoardToTool + address;
            ack.length = 1;
            ack.data[0] = 0xFE;
            send(ack, atUs);
        }
        if (m_loader.takeRestartRequest()) {
            qCDebug(lcSim) << "board" << m_spec.address << "starts again in the middle of a download";
            announceAt(atUs + kReplyDelayUs);
        }
    }
}

std::int64_t SimBoard::nextWakeUs() const
{
    if (!m_spec.present)
        return kNever;
    return std::min(m_diagnostic ? m_nextDiagnosticUs : kNever, m_loader.nextWakeUs());
}

void SimBoard::wake(std::int64_t nowUs)
{
    if (m_loader.nextWakeUs() <= nowUs)
        m_loader.wake(nowUs);
    if (!m_diagnostic || m_nextDiagnosticUs > nowUs)
        return;
    const std::int64_t at = m_nextDiagnosticUs;
    const std::vector<SimFrame> frames = diagnosticFrames(at);
    for (std::size_t i = 0; i < frames.size(); ++i)
        send(frames[i], at + static_cast<std::int64_t>(i) * 500);
    m_nextDiagnosticUs = at + kDiagnosticPeriodUs;
}

}  // namespace tellvane
