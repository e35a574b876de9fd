#include "can/BoardDirectory.h"

#include "can/BoardMessages.h"
#include "can/CanLink.h"
#include "core/ErrorReporting.h"
#include "core/Numbers.h"
#include "core/SettingsStore.h"

#include <cmath>
#include <limits>

namespace tellvane {

BoardDirectory::BoardDirectory(CanLink& link, SettingsStore& settings)
    : m_link(link), m_settings(settings), m_table(1)
{
    m_addrToSlot.fill(kNone);
}

void BoardDirectory::processCanMessage(const CanMessage& message)
{
    try {
        const std::uint32_t group = board::group(message.id);
        const int sender = board::sender(message.id);
        if (group == board::kToAllGroup) {
            if (message.data[0] == board::kAnnounce)
                addNodeToList(message);
            routeDiagnosticMessage(message);
        } else if (group == board::kToToolGroup) {
            const std::int16_t slot = m_addrToSlot[static_cast<std::size_t>(sender)];
            if (message.data[0] == board::kPCode && slot != kNone
                && m_table.at(static_cast<std::size_t>(slot)).nodeAddress != kNone)
                handlePCodeReply(slot, message);
            if (message.data[0] == board::kText && sender == m_downloadBoardAddress && m_packets) {
                if (message.length == 1)
                    m_packets->acknowledgementReceived();
                else
                    m_packets->textPacketReceived(message);
            }
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ProcessCANMessage"));
    }
}

void BoardDirectory::addNodeToList(const CanMessage& message)
{
    try {
        const int address = board::sender(message.id);
        if (address == m_downloadBoardAddress) {
            // The board being programmed started again: its downloader is done.
            m_downloadBoardAddress = kNone;
            if (m_downloader)
                m_downloader->closeDownloader();
        }
        if (address == board::kConflictAddress || !knows(address)) {
            createNewForm(static_cast<std::int16_t>(board::announcedType(message)), static_cast<std::uint8_t>(address),
                          board::announcedSerial(message));
        }
        if (address != board::kConflictAddress)
            sendPCodeRequest(static_cast<std::uint8_t>(address));
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("AddNodeToList"));
    }
}

bool BoardDirectory::knows(int address) const
{
    for (int s = 0; s < slotCount(); ++s) {
        if (m_table[static_cast<std::size_t>(s)].nodeAddress == address)
            return true;
    }
    return false;
}

void BoardDirectory::routeDiagnosticMessage(const CanMessage& message)
{
    const std::int16_t slot = m_addrToSlot[static_cast<std::size_t>(board::sender(message.id))];
    if (slot == kNone)
        return;
    const BoardRecord& record = m_table.at(static_cast<std::size_t>(slot));
    if (record.diagMode && record.window)
        record.window->processDiagnosticMessages(message.length, message.data, lineTimeOf(message));
}

LineTime BoardDirectory::lineTimeOf(const CanMessage& message) const
{
    if (message.line != 0)
        return {message.line, std::llround(message.time * 1e6)};
    return {0, message.sessionUs >= 0 ? message.sessionUs : m_link.sessionNowUs()};
}

void BoardDirectory::createNewForm(std::int16_t boardType, std::uint8_t address, std::int32_t serial)
{
    const std::size_t n = m_table.size() - 1;  // the spare becomes the new slot
    try {
        if (n > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
            throw Failure(FailureCode::Overflow);  // slot numbers are 16-bit
        m_table.emplace_back();
        const auto slot = static_cast<std::int16_t>(n);
        m_addrToSlot[address] = slot;
        BoardWindowHandle* window = m_factory ? m_factory->makeBoardWindow() : nullptr;
        m_table[n].window = window;
        if (window)
            window->initialise(slot, boardType, address, serial);
        m_table[n].nodeAddress = address;
        m_table[n].diagMode = false;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateNewForm"),
                      QStringLiteral(" with FormIndex =") + QString::number(n) + QStringLiteral(", BType =")
                          + QString::number(boardType) + QStringLiteral(", Addr =") + QString::number(address));
    }
}

void BoardDirectory::handlePCodeReply(std::int16_t slot, const CanMessage& message)
{
    BoardWindowHandle* window = m_table.at(static_cast<std::size_t>(slot)).window;
    if (!window)
        return;
    const QString text = board::pCodeText(board::pCodeValue(message));
    const QString style = board::styleOf(text);
    const QString variant = board::variantOf(text);
    window->showPCode(style, variant,
                      QStringLiteral("Board ") + style + QLatin1Char('-') + variant + QStringLiteral(" [")
                          + window->addressText() + QLatin1Char(']'));
    window->loadBoardPicture();
    // Boards of one style and variant share the place their windows last closed at.
    const QString section = style + QLatin1Char('-') + variant;
    const double top = leadingNumber(m_settings.value(section, QStringLiteral("Top")));
    const std::int16_t left = toInt16(leadingNumber(m_settings.value(section, QStringLiteral("Left"))));
    if (top > 0 && left > 0)
        window->moveToTwips(toInt32(top), left);
}

void BoardDirectory::sendAllBoardRequest()
{
    try {
        const std::uint8_t data[kCanDataSize] = {0x00, 0xEE, 0x00};
        m_link.sendLogged(board::kRequestToAll | can::kExtendedFrame, 3, data);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendAllBoardRequest"));
    }
}

void BoardDirectory::sendToBoard(const char* operation, std::uint8_t address, std::uint8_t length,
                                 const std::uint8_t* data)
{
    try {
        m_link.sendLogged(board::toBoard(address) | can::kExtendedFrame, length, data);
    } catch (const Failure& failure) {
        reportFailure(failure, QString::fromLatin1(operation));
    }
}

void BoardDirectory::sendPCodeRequest(std::uint8_t address)
{
    const std::uint8_t data[kCanDataSize] = {board::kPCode};
    sendToBoard("SendPCodeRequest", address, 1, data);
}

void BoardDirectory::sendDiagOnRequest(std::uint8_t address)
{
    const std::uint8_t data[kCanDataSize] = {board::kText, '$', '1', 'X', '1'};
    sendToBoard("SendDiagOnRequest", address, 5, data);
}

void BoardDirectory::sendDiagOffRequest(std::uint8_t address)
{
    const std::uint8_t data[kCanDataSize] = {board::kText, '$', '1', 'X', '0'};
    sendToBoard("SendDiagOffRequest", address, 5, data);
}

void BoardDirectory::setDiagMode(std::int16_t slot, bool on)
{
    if (slot >= 0 && slot < slotCount())
        m_table[static_cast<std::size_t>(slot)].diagMode = on;
}

void BoardDirectory::windowClosed(std::int16_t slot)
{
    if (slot < 0 || slot >= slotCount())
        return;
    BoardRecord& record = m_table[static_cast<std::size_t>(slot)];
    record.nodeAddress = kNone;
    record.diagMode = false;
    record.window = nullptr;
}

void BoardDirectory::forgetWindow(std::int16_t slot, const BoardWindowHandle* window)
{
    if (slot < 0 || slot >= slotCount())
        return;
    BoardRecord& record = m_table[static_cast<std::size_t>(slot)];
    if (record.window == window) {
        record.window = nullptr;
        record.diagMode = false;
    }
}

}  // namespace tellvane
