#include "sim/SimBootLoader.h"

#include "core/SRecord.h"

#include <algorithm>

namespace tellvane {

namespace {
constexpr std::uint32_t kBoardToTool = 0x18EFF900u;
const SimBootLoader::Image kEmpty;
}  // namespace

SimBootLoader::SimBootLoader(int address, QString password, QString pCodeText)
    : m_address(address), m_password(std::move(password)), m_pCodeText(std::move(pCodeText))
{
    m_labels[0] = QStringLiteral("V1.02 2019-03-01");
    m_labels[1] = QStringLiteral("V2.10");
    m_labels[2] = QStringLiteral("V3.04");
    m_labels[3] = QStringLiteral("rev 7");
}

void SimBootLoader::reset()
{
    m_state = State::Idle;
    m_input.clear();
    m_quietAtUs = kNever;
    m_output.clear();
    m_awaitingAck = false;
    m_sendAtUs = kNever;
    m_ackDeadlineUs = kNever;
    m_area = -1;
    m_lines = 0;
    m_dead = false;
    m_pending.clear();
}

bool SimBootLoader::takeRestartRequest()
{
    const bool r = m_restart;
    m_restart = false;
    return r;
}

const SimBootLoader::Image& SimBootLoader::loaded(int area) const
{
    const auto it = m_loaded.find(area);
    return it == m_loaded.end() ? kEmpty : it->second;
}

const SimBootLoader::Image& SimBootLoader::flashed(int area) const
{
    const auto it = m_flashed.find(area);
    return it == m_flashed.end() ? kEmpty : it->second;
}

QString SimBootLoader::areaLabel(int area) const
{
    const auto it = m_labels.find(area);
    return it == m_labels.end() ? QString() : it->second;
}

QByteArray SimBootLoader::information() const
{
    QByteArray text;
    text += "Board: " + m_password.toLatin1() + " P-code " + m_pCodeText.toLatin1() + "\r\n";
    const char* const keywords[] = {"Boot: ", "Sys: ", "pCode: ", "Config: "};
    for (int area = 0; area < 4; ++area) {
        if (area != m_faults.unlistedArea)
            text += keywords[area] + areaLabel(area).toLatin1() + "\r\n";
    }
    return text;
}

bool SimBootLoader::textReceived(const QByteArray& text, std::int64_t atUs)
{
    if (m_faults.noAck || m_dead)
        return false;
    if (m_state == State::Receiving) {
        m_input += text;
        for (qsizetype lf = m_input.indexOf('\n'); lf >= 0; lf = m_input.indexOf('\n')) {
            const QByteArray line = m_input.left(lf);
            m_input.remove(0, lf + 1);
            recordLine(line, atUs);
            if (m_state != State::Receiving)
                break;
        }
        return true;
    }
    m_input += text;
    m_quietAtUs = atUs + kQuietUs;
    return true;
}

void SimBootLoader::ackReceived(std::int64_t atUs)
{
    if (!m_awaitingAck)
        return;
    m_awaitingAck = false;
    m_ackDeadlineUs = kNever;
    if (!m_output.isEmpty())
        m_sendAtUs = atUs + 500;
}

std::int64_t SimBootLoader::nextWakeUs() const
{
    return std::min({m_quietAtUs, m_sendAtUs, m_ackDeadlineUs});
}

void SimBootLoader::wake(std::int64_t nowUs)
{
    if (m_ackDeadlineUs <= nowUs) {
        // The tool stopped listening: the rest of the reply is dropped.
        m_ackDeadlineUs = kNever;
        m_awaitingAck = false;
        m_output.clear();
    }
    if (m_sendAtUs <= nowUs) {
        m_sendAtUs = kNever;
        sendNextPacket(nowUs);
    }
    if (m_quietAtUs <= nowUs) {
        m_quietAtUs = kNever;
        const QByteArray text = m_input;
        m_input.clear();
        command(text, nowUs);
    }
}

void SimBootLoader::reply(const QByteArray& text, std::int64_t atUs)
{
    if (m_faults.silent || m_dead || text.isEmpty())
        return;
    m_output += text;
    if (!m_awaitingAck && m_sendAtUs == kNever)
        m_sendAtUs = atUs + kReplyDelayUs;
}

void SimBootLoader::sendNextPacket(std::int64_t atUs)
{
    if (m_output.isEmpty() || !m_send)
        return;
    SimFrame frame;
    frame.id = kBoardToTool + static_cast<std::uint32_t>(m_address & 0xFF);
    const QByteArray chunk = m_output.left(7);
    m_output.remove(0, chunk.size());
    frame.length = static_cast<std::uint8_t>(chunk.size() + 1);
    frame.data[0] = 0xFE;
    for (qsizetype i = 0; i < chunk.size(); ++i)
        frame.data[static_cast<std::size_t>(i + 1)] = static_cast<std::uint8_t>(chunk.at(i));
    m_send(frame, atUs);
    m_awaitingAck = true;
    m_ackDeadlineUs = atUs + kAckTimeoutUs;
}

void SimBootLoader::command(const QByteArray& text, std::int64_t atUs)
{
    switch (m_state) {
    case State::Idle:
        if (text == "$1V") {
            reply(information(), atUs);
        } else if (text == "$1Z") {
            m_state = State::AwaitPassword;
            reply("Enter board password: ", atUs);
        } else if (text == "M") {
            reply("Nothing to migrate\r\n", atUs);
        } else {
            reply("?\r\n", atUs);
        }
        break;
    case State::AwaitPassword:
        if (!m_faults.wrongPassword && QString::fromLatin1(text) == m_password) {
            m_state = State::AwaitArea;
            reply("Password accepted\r\nEnter area ID to program: ", atUs);
        } else {
            m_state = State::Idle;
            reply("Wrong code, access denied\r\n", atUs);
        }
        break;
    case State::AwaitArea:
        if (text.size() == 1 && text.at(0) >= '0' && text.at(0) <= '3') {
            m_area = text.at(0) - '0';
            m_loaded[m_area].clear();
            m_pending[m_area] = false;
            m_lines = 0;
            m_state = State::Receiving;
            reply("Erasing area " + text + "...Complete\r\nSend S19 records\r\n", atUs);
        } else if (text == "M") {
            int areas = 0;
            for (auto& [area, pending] : m_pending) {
                if (!pending)
                    continue;
                m_flashed[area] = m_loaded[area];
                pending = false;
                ++areas;
            }
            if (areas == 0) {
                reply("Nothing to migrate\r\nEnter area ID to program: ", atUs);
            } else {
                ++m_migrations;
                m_state = State::Idle;
                reply("Migrating " + QByteArray::number(areas) + " area(s) to flash...\r\nDone, cycle power\r\n", atUs);
            }
        } else {
            reply("Enter area ID to program: ", atUs);
        }
        break;
    case State::Receiving:
        break;
    }
}

void SimBootLoader::recordLine(const QByteArray& line, std::int64_t atUs)
{
    ++m_lines;
    if (m_lines == m_faults.quietAfterLines)
        m_dead = true;  // this line still counts; nothing after it does
    if (m_lines == m_faults.speakAfterLines)
        reply("Buffer overrun\r\n", atUs);
    if (m_lines == m_faults.announceAfterLines) {
        m_restart = true;
        reset();
        return;
    }
    const SRecord record = parseSRecord(line);
    if (!record.valid || m_lines == m_faults.rejectedLine) {
        m_state = State::AwaitArea;
        reply("Error in hex (S19) file\r\nEnter area ID to program: ", atUs);
        return;
    }
    switch (record.type) {
    case '0':
        m_labels[m_area] = QString::fromLatin1(record.data).trimmed();
        break;
    case '1':
    case '2':
    case '3':
        for (qsizetype i = 0; i < record.data.size(); ++i)
            m_loaded[m_area][record.address + static_cast<std::uint32_t>(i)] = static_cast<std::uint8_t>(record.data.at(i));
        break;
    case '7':
    case '8':
    case '9':
        m_pending[m_area] = true;
        m_state = State::AwaitArea;
        reply("area load complete\r\nEnter area ID to program: ", atUs);
        break;
    default:
        break;
    }
}

QByteArray SimBootLoader::imageText(const Image& image)
{
    QByteArray text;
    std::uint32_t next = 0;
    int inLine = 0;
    for (const auto& [address, byte] : image) {
        if (inLine == 16 || (inLine > 0 && address != next)) {
            text += '\n';
            inLine = 0;
        }
        if (inLine == 0)
            text += QByteArray::number(address, 16).rightJustified(8, '0').toUpper() + ':';
        text += ' ' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        next = address + 1;
        ++inLine;
    }
    if (inLine > 0)
        text += '\n';
    return text;
}

}  // namespace tellvane
