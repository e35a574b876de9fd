#pragma once

#include "can/LinkInterfaces.h"
#include "firmware/ListDownloaderView.h"

#include <QString>

#include <cstdint>

namespace tellvane {
class Clock;
}

namespace tellvane::firmware {

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
    // Forgets the last transfer: nothing started, nothing counted.
    void clear();

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

// The downloader's view on the console: it keeps the information lines and
// the last status, and feeds the meter as the downloader reports (the
// transfer starts with "Loading file...", the progress moves once per line
// sent). What a command shows of it, it shows in statusChanged and
// progressChanged.
class MeteredDownloaderView : public ListDownloaderView {
public:
    explicit MeteredDownloaderView(TransferMeter& meter) : m_meter(meter) {}

    void setStatus(const QString& text) final;
    void setProgress(int percent) final;

    QString status() const { return m_status; }

protected:
    // A status that is not empty and differs from the last one.
    virtual void statusChanged(const QString&) {}
    // percent: -1 when the progress is taken away; previous: what it was.
    virtual void progressChanged(int /*percent*/, int /*previous*/) {}

    TransferMeter& m_meter;

private:
    QString m_status;
    int m_progress = -1;
};

}  // namespace tellvane::firmware
