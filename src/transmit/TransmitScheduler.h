#pragma once

#include "transmit/TransmitRow.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tellvane {

class Clock;

// Sends rows of a transmit list at their periods on the clock. The times a
// row is due stay on its grid from the start (start + k * period), so the
// period does not drift with the time each send takes; a row that fell more
// than a period behind (a stalled window) sends once and takes the next
// point of its grid: frames are never sent in a burst to catch up.
// A row that starts takes the phase where its frames meet the fewest frames of
// the rows already running (two rows of periods P and Q meet, when at all,
// once every lcm(P, Q)): a list started at once does not queue up behind
// itself, and rows of related periods (10, 20, 100 ms) keep out of each
// other's way for good. Its first frame goes within its period.
// Driven by poll(): the caller sleeps or sets a timer until the time it gives.
class TransmitScheduler {
public:
    // Sends a frame; true when the adapter took it. A false ends everything.
    using Send = std::function<bool(const TraceFrame&)>;

    TransmitScheduler(Clock& clock, Send send);

    // The bus's bit rate, for the time a frame takes (250 kbit/s unless set).
    void setBitRate(int bitsPerSecond) { m_bitRate = bitsPerSecond; }

    // Sends the row once, now, counted for the key; false (and nothing sent)
    // for a row with a problem, or when the adapter did not take it (which
    // stops everything).
    bool sendOnce(int key, const TransmitRow& row);

    // The phases tried: every 50 us, at most 1000 of them over a period.
    static constexpr std::int64_t kPhaseStepUs = 50;
    static constexpr std::int64_t kPhaseSteps = 1000;

    // Starts a periodic row, identified by its key (the window's row number):
    // its count starts again from 0 and its first frame goes at its phase.
    // A row already running, one sent by hand only and one with a problem are
    // left as they are.
    void start(int key, const TransmitRow& row);
    // Sends whatever is due now; the clock time at which something is next
    // due, or none when nothing runs.
    std::optional<std::int64_t> poll();
    // Stops every row at once: nothing is sent after this.
    void stopAll();
    // Stops every row because of `why` (the link lost, the adapter switched).
    void stopAll(const QString& why);

    bool running() const { return !m_rows.empty(); }
    bool running(int key) const;
    // Frames sent for a key since it last started, by hand or on its period.
    std::int64_t sentCount(int key) const;
    // Sends that fell more than a period behind and were dropped.
    std::int64_t missed() const { return m_missed; }
    // Why sending stopped by itself: a send the adapter refused, or the reason
    // given to stopAll; empty after a plain stop.
    QString stopReason() const { return m_stopReason; }
    // Forgets the counts (a new list).
    void clearCounts();

private:
    struct Running {
        int key;
        TraceFrame frame;
        std::int64_t periodUs;
        std::int64_t left;    // frames still to send; -1: until stopped
        std::int64_t nextUs;  // when the next one is due
        std::int64_t wireUs;  // the time the frame takes on the bus
    };
    // The least-met phase from now for a row of this period and wire time.
    std::int64_t phaseUs(std::int64_t periodUs, std::int64_t wireUs) const;
    bool send(int key, const TraceFrame& frame);

    Clock& m_clock;
    Send m_send;
    std::vector<Running> m_rows;
    std::vector<std::pair<int, std::int64_t>> m_counts;  // key, frames sent
    std::int64_t m_missed = 0;
    int m_bitRate = 250'000;

    QString m_stopReason;
};

}  // namespace tellvane
