#pragma once

#include "can/AcceptanceFilter.h"
#include "can/Adapter.h"
#include "sim/SimBus.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace tellvane {

class Clock;

// The simulated bench as an adapter: a USB-to-CAN adapter on a virtual bus.
// It keeps a receive queue of 1500 records with 24-bit time stamps (8 us
// ticks), honours the two receive masks and six acceptance filters (mask 13
// with filters 0 and 1, mask 28 with filters 2 to 5), and models the CAN
// controller's error-flag register 45.
class SimAdapter final : public Adapter, public SimPort {
public:
    static constexpr std::size_t kQueueCapacity = 1500;

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
    void raiseErrorFlags(std::uint8_t flags) { m_errorFlags |= flags; }
    // Frames still go on the bus, but the send call answers 0 (failed).
    void setReportSendFailure(bool on) { m_reportSendFailure = on; }
    std::uint8_t errorFlags() const { return m_errorFlags; }
    std::size_t queued() const { return m_queue.size(); }
    std::uint64_t dropped() const { return m_dropped; }

    std::int16_t resetInterface() override;
    std::int16_t clearCanMess() override;
    std::int16_t setCanBaud(std::int32_t rateCode) override;
    std::int16_t recCanMess(std::uint32_t mask, std::uint8_t selector) override;
    std::int16_t setFilters(std::uint8_t filter, std::uint32_t value) override;
    std::int16_t enableTs() override;
    std::int16_t disableTs() override;
    std::int16_t getCanMess(Record& record) override;
    std::int16_t getNumCanMess() override;
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                             const std::uint8_t* data) override;
    std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) override;
    std::int16_t writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer) override;
    std::int16_t getInfo(char* buffer, std::int32_t size) override;
    // Sleeps to the bus's next event: the time the next frame arrives is known.
    void waitForRecords(Clock& clock, std::int64_t untilUs) override;
    QString name() const override { return QStringLiteral("sim"); }

    void frameOnBus(const SimFrame& frame, std::int64_t atUs) override;

    // Which receive buffer (0 or 1) accepts an identifier; none when filtered out.
    std::optional<int> acceptingBuffer(std::uint32_t id) const { return m_filter.acceptingBuffer(id); }

private:
    struct Entry {
        SimFrame frame;
        std::int64_t atUs;
    };

    std::unique_ptr<SimBus> m_bus;
    std::deque<Entry> m_queue;
    AcceptanceFilter m_filter;
    bool m_timeStamps = false;
    bool m_plugged = true;
    bool m_busConnected = true;
    bool m_overflowed = false;
    bool m_reportSendFailure = false;  // sticky until the adapter is reset or cleared
    std::uint8_t m_errorFlags = 0;
    std::uint64_t m_dropped = 0;
};

}  // namespace tellvane
