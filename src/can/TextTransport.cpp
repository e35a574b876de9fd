#include "can/TextTransport.h"

#include "can/BoardMessages.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/ErrorReporting.h"

namespace tellvane {

TextTransport::TextTransport(CanLink& link, Clock& clock, BoardDirectory& boards)
    : m_link(link), m_clock(clock), m_boards(boards)
{
}

std::uint32_t TextTransport::packetId() const
{
    return board::toBoard(m_boards.downloadBoardAddress()) | can::kExtendedFrame;
}

bool TextTransport::mayTalk() const
{
    const std::int16_t address = m_boards.downloadBoardAddress();
    if (address == BoardDirectory::kNone || address == board::kConflictAddress)
        return false;
    return !m_permit || m_permit();
}

std::int16_t TextTransport::sendAsciiCanPacket(const QByteArray& text, int count, bool wait)
{
    try {
        if (count > kPacketCharacters)
            count = kPacketCharacters;
        if (count < 0 || count > text.size())
            throw Failure(FailureCode::SubscriptOutOfRange);  // a character past the end has no code
        if (!mayTalk())
            return kNoAck;  // nothing goes on the bus
        std::uint8_t buffer[kCanDataSize] = {board::kText};
        for (int i = 0; i < count; ++i)
            buffer[1 + i] = static_cast<std::uint8_t>(text.at(i));
        m_ackReceived = false;
        const std::int16_t r = m_link.sendLogged(packetId(), static_cast<std::uint8_t>(count + 1), buffer);
        int n = kMaxPolls;
        for (;;) {
            if (m_ackReceived || n == 0 || !mayTalk())
                break;
            if (wait)
                m_clock.delayMs(1);
            --n;
            m_link.checkForIncomingCanMessages();
        }
        if (!m_ackReceived && !wait) {
            // Polls without pauses last as long as the adapter's calls: a USB
            // round trip each on the vendor's adapter, next to nothing on a
            // socket or the simulated bench. The board then gets what 80 polls
            // with their 1 ms pauses would give it, but each pause ends as soon
            // as the adapter receives something. Only a pause that ran its full
            // course counts: other traffic does not shorten the wait, and a
            // program held up by a busy machine still listens 80 times.
            int pauses = 0;
            while (!m_ackReceived && pauses < kMaxPolls && mayTalk()) {
                const std::int64_t tick = m_clock.nowMicroseconds() / 1000;
                m_link.waitForArrival((tick + 1) * 1000);
                if (m_clock.nowMicroseconds() / 1000 != tick)
                    ++pauses;
                m_link.checkForIncomingCanMessages();
            }
        }
        if (!m_ackReceived)
            return kNoAck;
        if (r == 0)
            return kAckButSendFailed;
        // Only the paced wait can be late: without pauses, an acknowledgement
        // found by the last poll is as much in time as one found after it.
        if (n == 0 && wait)
            return kLateAck;
        return kSent;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendASCIICANPacket"));
        return 0;
    }
}

void TextTransport::sendLargeAsciiPacket(const QByteArray& text)
{
    try {
        m_pipe.clear();
        QByteArray rest = text;
        while (rest.size() >= kPacketCharacters) {
            sendAsciiCanPacket(rest.left(kPacketCharacters), kPacketCharacters, true);
            rest.remove(0, kPacketCharacters);
        }
        if (!rest.isEmpty())
            sendAsciiCanPacket(rest, static_cast<int>(rest.size()), true);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendLargeASCIIPacket"));
    }
}

bool TextTransport::waitForIncomingData()
{
    try {
        for (int i = 0; !m_pipeDataReceived && i < kMaxPolls && mayTalk(); ++i) {
            m_clock.delayMs(1);
            m_link.checkForIncomingCanMessages();
        }
        return m_pipeDataReceived;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("WaitForIncomingData"));
        return false;
    }
}

void TextTransport::receivePipeReply()
{
    while (mayTalk() && waitForIncomingData()) {
        m_pipeDataReceived = false;
        sendAck();
        m_clock.delayMs(1);
        if (m_yield)
            m_yield();
    }
}

std::int16_t TextTransport::sendAck()
{
    try {
        if (!mayTalk())
            return 0;
        const std::uint8_t buffer[kCanDataSize] = {board::kText};
        return m_link.sendLogged(packetId(), 1, buffer);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendACK"));
        return 0;
    }
}

void TextTransport::storeInPipeToBuf(std::uint8_t length, const std::array<std::uint8_t, kCanDataSize>& data)
{
    try {
        if (length < 2)
            return;
        if (length > 9)
            throw Failure(FailureCode::SubscriptOutOfRange);
        for (int i = 1; i < length; ++i)
            m_pipe.append(static_cast<char>(data[static_cast<std::size_t>(i)]));
        if (m_pipe.size() > kPipeLimit)
            m_pipe.remove(0, m_pipe.size() - kPipeLimit);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("StoreInPipeToBuf"));
    }
}

void TextTransport::textPacketReceived(const CanMessage& message)
{
    storeInPipeToBuf(message.length, message.data);
    m_pipeDataReceived = true;
}

}  // namespace tellvane
