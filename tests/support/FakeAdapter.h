#pragma once

#include "can/Adapter.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tellvane::test {

// An adapter for tests: records every configuration call in order, hands out
// queued records, and has switches that fail on purpose.
class FakeAdapter final : public Adapter {
public:
    struct Sent {
        std::uint32_t id;
        std::uint8_t mode;
        std::uint8_t length;
        std::vector<std::uint8_t> data;
    };

    // Calls in order, as text: "ResetInterface", "SetCANBaud 250",
    // "RecCANMess 80000000 13", "SetFilters 1 98EFFE00", "SendCANMess 0 7 0",
    // "ReadReg 45 1", "WriteReg 45 1 0", "EnableTS", "ClearCANMess".
    // GetCANMess is only counted.
    std::vector<std::string> calls;
    std::vector<Sent> sent;
    int getCalls = 0;

    // Switches.
    std::deque<std::int16_t> sendResults;  // consumed one per send; then sendResult
    std::int16_t sendResult = 1;
    std::string failingCall;            // a call whose text starts with this answers failResult
    std::int16_t failResult = 0;
    bool readRegFails = false;
    std::uint8_t errorRegister = 0;
    std::optional<std::int16_t> queuedCount;  // what GetNumCANMess answers; default: records left
    std::optional<std::int16_t> getResultOverride;  // answered instead of 1 for a record

    std::deque<Record> records;

    // Reactions: a board answering what it was sent, something arriving on a drain.
    std::function<void(const Sent&)> onSend;
    std::function<void(int getCall)> onGet;

    // Queues a received message; ticks: time stamp in 8 us ticks, none without.
    void pushMessage(std::uint32_t id, std::vector<std::uint8_t> data, std::uint8_t status = 0,
                     std::optional<std::uint32_t> ticks = std::nullopt);
    void pushRecord(const Record& record) { records.push_back(record); }

    // Calls whose text starts with prefix.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    void clearLog();

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
    // Returns at once while records are queued, else the polling default.
    void waitForRecords(Clock& clock, std::int64_t untilUs) override;
    int waitCalls = 0;
    std::int64_t waitOvershootUs = 0;  // a busy machine: every wait returns this much late
    QString name() const override { return adapterName; }
    QString adapterName = QStringLiteral("fake");

private:
    std::int16_t answer(const std::string& call);
};

}  // namespace tellvane::test
