#pragma once

#include "can/Adapter.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace tellvane {

class SimAdapter;
class SimBoard;

// Puts the simulated bench on an outside bus: what the bench's boards send
// goes out through the outside adapter, what that adapter receives reaches
// the boards as if the tool had sent it. The boards announce themselves when
// the bridge starts and whenever a tool's link probe (identifier 0, no data)
// appears on the bus, as they do on the bench in the program when its
// adapter comes up.
class BenchBridge {
public:
    BenchBridge(SimAdapter& bench, Adapter& outside);

    // Brings the outside adapter up: reset, 250 kbit/s, every frame accepted.
    // 1 on success, else the failing call's result.
    std::int16_t start();
    bool started() const { return m_started; }

    // Frames moved each way by one pump at most: however busy the boards or
    // the outside bus, a pump ends, and its caller sees its deadline and stop
    // requests between pumps.
    static constexpr int kMaxFramesPerPump = 256;

    // Moves what each side received to the other, up to kMaxFramesPerPump
    // each way; the number of frames moved. The simulated bus is played up
    // to the present twice a pump (before and after what came in), not for
    // every frame.
    int pump();
    // The last pump stopped at its bound with frames still waiting.
    bool backlog() const { return m_backlog; }

    // Runs after every board flash (the boot loader's "M" command).
    void setFlashObserver(std::function<void(SimBoard&)> observer) { m_flashObserver = std::move(observer); }

    std::uint64_t framesOut() const { return m_framesOut; }
    std::uint64_t framesIn() const { return m_framesIn; }
    std::uint64_t sendFailures() const { return m_sendFailures; }
    std::int16_t lastSendResult() const { return m_lastSendResult; }

private:
    void noticeFlashes();

    SimAdapter& m_bench;
    Adapter& m_outside;
    std::function<void(SimBoard&)> m_flashObserver;
    std::vector<int> m_migrations;
    bool m_started = false;
    bool m_backlog = false;
    std::uint64_t m_framesOut = 0;
    std::uint64_t m_framesIn = 0;
    std::uint64_t m_sendFailures = 0;
    std::int16_t m_lastSendResult = 1;
};

}  // namespace tellvane
