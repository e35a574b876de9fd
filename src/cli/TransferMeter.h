#pragma once

#include "can/LinkInterfaces.h"

#include <QString>

#include <cstdint>

namespace tellvane {
class Clock;
}

namespace tellvane::cli {

// Measures the file transfer of a download from what the link sends: the
// text packets to the board (not the one-byte acknowledgements of its
// replies) and the lines they complete, from the start of the transfer to
// the last line the downloader reports as sent.
class TransferMeter final : public CanMessageSink {
public:
    explicit TransferMeter(Clock& clock) : m_clock(clock) {}

    // The board whose packets count.
    void setBoard(int address) { m_board = address; }
    // The transfer starts ("Loading file...").
    void begin();
    // A line was sent and acknowledged (the downloader's progress moved).
    void lineDone();
    // The download stage is over: later packets do not count.
    void end() { m_running = false; }

    void logCanMessage(const CanMessage& message) override;

    bool started() const { return m_started; }
    std::int64_t packets() const { return m_packets; }
    std::int64_t lines() const { return m_lines; }
    std::int64_t elapsedUs() const { return m_lastLineUs - m_beginUs; }
    // "File transfer: 2050 lines, 22541 packets in 2.912 s, 129 us a packet".
    QString summary() const;

private:
    Clock& m_clock;
    int m_board = -1;
    bool m_started = false;
    bool m_running = false;
    std::int64_t m_packets = 0;
    std::int64_t m_lines = 0;
    std::int64_t m_beginUs = 0;
    std::int64_t m_lastLineUs = 0;
};

}  // namespace tellvane::cli
