#pragma once

#include "sim/SimAnimation.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBus.h"

#include <cstdint>
#include <vector>

namespace tellvane {

// What a simulated board is.
struct SimBoardSpec {
    int address = 0x21;
    int boardType = 0;          // 12 bits
    std::uint32_t serial = 0;   // 30 bits
    std::uint32_t pCode = 0;    // eight decimal digits: style and variant
    bool present = true;        // switched off boards stay silent
    int quietAfterLines = -1;   // its boot loader goes dead after this many lines of a file (-1: never)
    // Sends the diagnostic messages of its screen, every indicator moving,
    // once given the screen's animation; else the board's own three.
    bool animate = false;
};

// A control board on the simulated bus. It announces itself when the tool's
// adapter joins the bus and at every request to all boards, answers the
// P-code request, while diagnostic mode is on sends its diagnostic frames
// every 100 ms, with values that move over time, until told diagnostic off,
// and speaks its boot loader's text dialogue for firmware download.
class SimBoard final : public SimNode {
public:
    static constexpr std::int64_t kReplyDelayUs = 2000;
    static constexpr std::int64_t kDiagnosticPeriodUs = 100000;

    explicit SimBoard(const SimBoardSpec& spec, int benchPosition = 0);

    const SimBoardSpec& spec() const { return m_spec; }
    void setPresent(bool present) { m_spec.present = present; }
    bool diagnosticMode() const { return m_diagnostic; }
    int announcements() const { return m_announcements; }
    SimBootLoader& bootLoader() { return m_loader; }
    // The messages sent in diagnostic mode from now on: those of a screen;
    // an empty animation brings back the board's own.
    void setAnimation(SimAnimation animation) { m_animation = std::move(animation); }
    const SimAnimation& animation() const { return m_animation; }
    // The password the boot loader asks for, made from the serial number.
    static QString passwordFor(std::uint32_t serial);

    void receive(const SimFrame& frame, std::int64_t atUs) override;
    std::int64_t nextWakeUs() const override;
    void wake(std::int64_t nowUs) override;
    void toolJoined(std::int64_t nowUs) override;

    // The announcement and the diagnostic frames at a given time (tests use them too).
    SimFrame announcement() const;
    std::vector<SimFrame> diagnosticFrames(std::int64_t atUs) const;

private:
    void announceAt(std::int64_t atUs);
    void send(const SimFrame& frame, std::int64_t atUs);

    SimBoardSpec m_spec;
    std::int64_t m_stagger;  // boards of one bench answer a little apart
    bool m_diagnostic = false;
    std::int64_t m_nextDiagnosticUs = kNever;
    std::int64_t m_diagnosticStartUs = 0;
    int m_announcements = 0;
    SimBootLoader m_loader;
    SimAnimation m_animation;
};

}  // namespace tellvane
