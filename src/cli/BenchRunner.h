#pragma once

#include <cstdint>
#include <functional>

namespace tellvane {
class Adapter;
class BenchBridge;
class Clock;
class SimAdapter;
}  // namespace tellvane

namespace tellvane::cli {

// The loop of the bench command. It brings the outside adapter up (again
// every second while it refuses), then moves frames between the simulated
// boards and the outside bus as they come: after each move it sleeps until
// the outside adapter receives a frame, the simulated bus has something due,
// or kMaxWaitUs pass. A board's acknowledgement thus goes out as soon as the
// frame it answers arrives, and a quiet bus costs next to no processor time;
// the short maximum keeps stop requests and time limits prompt. A turn moves
// a bounded number of frames (BenchBridge::kMaxFramesPerPump each way); when
// more are waiting the next turn follows without a sleep.
//
// An adapter that cannot tell when a frame arrives polls in short steps
// instead (Adapter::waitForRecords). When its waits keep ending early with
// nothing to move, the bench paces itself to a poll every kQuietPollUs until
// the next frame arrives.
class BenchRunner {
public:
    static constexpr std::int64_t kMaxWaitUs = 5000;
    static constexpr std::int64_t kRetryIntervalUs = 1000000;
    static constexpr std::int64_t kQuietPollUs = 1000;
    static constexpr int kEmptyPollsBeforePacing = 20;

    BenchRunner(BenchBridge& bridge, SimAdapter& bench, Adapter& outside, Clock& clock);

    // The outside adapter came up.
    std::function<void()> onStarted;
    // It did not: the failing call's result.
    std::function<void(std::int16_t)> onStartFailed;
    // Sending on the outside bus went from working to failing or back: the new result.
    std::function<void(std::int16_t)> onSendResultChanged;

    // One turn: a start attempt when one is due, else a move of what is
    // waiting on either side; then the sleep.
    void turn();
    // Turns until stop answers true; it is asked before every turn.
    void run(const std::function<bool()>& stop);

    std::uint64_t turns() const { return m_turns; }

private:
    void tryStart(std::int64_t now);

    BenchBridge& m_bridge;
    SimAdapter& m_bench;
    Adapter& m_outside;
    Clock& m_clock;
    bool m_tried = false;
    std::int64_t m_lastTryUs = 0;
    std::int16_t m_lastSendResult = 1;
    std::uint64_t m_turns = 0;
    bool m_wokeEarly = false;  // the last wait ended before its time
    int m_emptyPolls = 0;      // waits in a row that ended early with nothing to move
};

}  // namespace tellvane::cli
