#pragma once

#include "can/BoardDirectory.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace tellvane {

class CanLink;
class Clock;

// Text to and from the board in firmware download, carried in acknowledged
// packets of at most seven characters (data byte 0 is 0xFE). Every wait polls
// the receive drain, at most 80 times. Characters are single bytes.
class TextTransport final : public PacketReceiver {
public:
    static constexpr int kMaxPolls = 80;
    static constexpr int kPacketCharacters = 7;
    // A babbling board cannot take all the memory: the newest text is kept.
    static constexpr qsizetype kPipeLimit = 1 << 20;

    // Results of sendAsciiCanPacket.
    static constexpr std::int16_t kSent = 1;
    static constexpr std::int16_t kNoAck = -104;
    static constexpr std::int16_t kAckButSendFailed = -105;
    static constexpr std::int16_t kLateAck = -107;

    TextTransport(CanLink& link, Clock& clock, BoardDirectory& boards);

    // Lets pending window events run (ReceivePipeReply); no-op in tests.
    void setYield(std::function<void()> yield) { m_yield = std::move(yield); }
    // Asked before every packet and every wait: while it says no, nothing is
    // sent (the window that started the exchange has closed) and waits end
    // at once. Unset: always yes.
    void setSendPermit(std::function<bool()> permit) { m_permit = std::move(permit); }

    // SendASCIICANPacket: the first count characters (at most 7) as one packet,
    // then the wait for its acknowledgement; wait adds 1 ms before each poll.
    // Nothing is sent while no board is in firmware download (-104).
    std::int16_t sendAsciiCanPacket(const QByteArray& text, int count, bool wait);
    // SendLargeASCIIPacket: empties the pipe, then the text in 7-character packets.
    void sendLargeAsciiPacket(const QByteArray& text);
    // WaitForIncomingData: true once a text packet arrived (the flag stays set).
    bool waitForIncomingData();
    // ReceivePipeReply: acknowledges packets until a wait sees none.
    void receivePipeReply();
    // SendACK: the result of the send.
    std::int16_t sendAck();
    // StoreInPipeToBuf: the characters of a text packet onto the pipe.
    void storeInPipeToBuf(std::uint8_t length, const std::array<std::uint8_t, kCanDataSize>& data);

    // PacketReceiver: the board directory's way in.
    void acknowledgementReceived() override { m_ackReceived = true; }
    void textPacketReceived(const CanMessage& message) override;

    const QByteArray& pipeBuffer() const { return m_pipe; }
    QString pipeText() const { return QString::fromLatin1(m_pipe); }
    void clearPipe() { m_pipe.clear(); }
    void setPipe(const QByteArray& text) { m_pipe = text; }
    bool ackReceived() const { return m_ackReceived; }
    void setPipeDataReceived(bool received) { m_pipeDataReceived = received; }

private:
    std::uint32_t packetId() const;
    // A board to talk to, and leave to talk: no board in download, a board in
    // address conflict (several may answer) or a closed window mean no.
    bool mayTalk() const;

    CanLink& m_link;
    Clock& m_clock;
    BoardDirectory& m_boards;
    std::function<void()> m_yield;
    std::function<bool()> m_permit;
    QByteArray m_pipe;
    bool m_ackReceived = false;
    bool m_pipeDataReceived = false;
};

}  // namespace tellvane
