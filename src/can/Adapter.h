#pragma once

#include "core/Clock.h"

#include <QString>

#include <array>
#include <cstdint>

namespace tellvane {

// The USB-to-CAN adapter as the link sees it: the thirteen calls of the vendor
// library (device 0 and channel 0 implied), each answering a 16-bit result where
// 1 means success. Backends: the vendor library, the simulated bench, Qt's CAN
// bus plugins, and the fake of the tests.
class Adapter {
public:
    static constexpr int kRecordSize = 21;
    using Record = std::array<std::uint8_t, kRecordSize>;

    // Values the callers pass.
    static constexpr std::int32_t kBaud250k = 250;
    static constexpr std::uint8_t kSendMode = 7;
    static constexpr std::uint8_t kMaskSelector0 = 13;
    static constexpr std::uint8_t kMaskSelector1 = 28;
    static constexpr std::uint8_t kErrorFlagRegister = 45;

    // Results of SendCANMess.
    static constexpr std::int16_t kSendFailed = 0;
    static constexpr std::int16_t kAdapterMissing = -4;
    static constexpr std::int16_t kAdapterMissingAlt = -11;

    virtual ~Adapter() = default;

    virtual std::int16_t resetInterface() = 0;
    virtual std::int16_t clearCanMess() = 0;
    virtual std::int16_t setCanBaud(std::int32_t rateCode) = 0;
    virtual std::int16_t recCanMess(std::uint32_t mask, std::uint8_t selector) = 0;
    virtual std::int16_t setFilters(std::uint8_t filter, std::uint32_t value) = 0;
    virtual std::int16_t enableTs() = 0;
    virtual std::int16_t disableTs() = 0;
    // 1: one received message copied into the record, look for more; 0 or less:
    // nothing to read. The drain also takes the record of a larger result, then stops.
    virtual std::int16_t getCanMess(Record& record) = 0;
    virtual std::int16_t getNumCanMess() = 0;
    virtual std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                                     const std::uint8_t* data) = 0;
    virtual std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) = 0;
    virtual std::int16_t writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer) = 0;
    // Free text about the adapter; bound for completeness, the program never needs it.
    virtual std::int16_t getInfo(char* buffer, std::int32_t size) = 0;

    // Waits until a received record may be waiting, or until the clock reads
    // untilUs, whichever comes first; returns at once when a record is queued.
    // Not one of the vendor's calls: the acknowledgement waits of the text
    // transport use it to react to a frame's arrival instead of sleeping a
    // millisecond at a time. Backends that cannot tell poll: at most
    // kPollStepUs of sleep per call.
    static constexpr std::int64_t kPollStepUs = 50;
    virtual void waitForRecords(Clock& clock, std::int64_t untilUs)
    {
        const std::int64_t step = clock.nowMicroseconds() + kPollStepUs;
        clock.sleepUntilUs(untilUs < step ? untilUs : step);
    }

    // A short name for developer logs ("sim", "library", ...).
    virtual QString name() const = 0;
};

}  // namespace tellvane
