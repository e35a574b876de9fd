#pragma once

#include "can/QueuedAdapter.h"
#include "sim/SimBus.h"

#include <cstdint>
#include <memory>

namespace tellvane {

class Clock;

// The simulated bench as an adapter: a USB-to-CAN adapter on a virtual bus,
// with the receive queue, filters and error-flag register 45 of QueuedAdapter.
// Frames are handed over as the bus plays them, in the calling thread.
class SimAdapter final : public QueuedAdapter, public SimPort {
public:
    // Error-flag register bits.
    static constexpr std::uint8_t kFlagRxWarning = errorflag::kRxWarning;
    static constexpr std::uint8_t kFlagTxWarning = errorflag::kTxWarning;
    static constexpr std::uint8_t kFlagRxPassive = errorflag::kRxPassive;
    static constexpr std::uint8_t kFlagTxPassive = errorflag::kTxPassive;
    static constexpr std::uint8_t kFlagBusOff = errorflag::kBusOff;
    static constexpr std::uint8_t kFlagBuffer0 = errorflag::kBuffer0;
    static constexpr std::uint8_t kFlagBuffer1 = errorflag::kBuffer1;

    explicit SimAdapter(Clock& clock);
    ~SimAdapter() override;

    SimBus& bus() { return *m_bus; }

    // Switches for demonstrations and tests.
    void setPluggedIn(bool plugged) { m_plugged = plugged; }
    void setBusConnected(bool connected) { m_busConnected = connected; }
    using QueuedAdapter::raiseErrorFlags;
    // Frames still go on the bus, but the send call answers 0 (failed).
    void setReportSendFailure(bool on) { m_reportSendFailure = on; }

    std::int16_t resetInterface() override;
    std::int16_t setCanBaud(std::int32_t rateCode) override;
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                             const std::uint8_t* data) override;
    QString name() const override { return QStringLiteral("sim"); }

    void frameOnBus(const SimFrame& frame, std::int64_t atUs) override;

protected:
    bool present() const override { return m_plugged; }
    void catchUp() override { m_bus->runUntilNow(); }
    // Sleeps to the bus's next event: the time the next frame arrives is known.
    void waitForNext(Clock& clock, std::int64_t untilUs) override;
    QString info() override { return QStringLiteral("Tellvane simulated bench"); }

private:
    std::unique_ptr<SimBus> m_bus;
    bool m_plugged = true;
    bool m_busConnected = true;
    bool m_reportSendFailure = false;  // sticky until the adapter is reset or cleared
};

}  // namespace tellvane
