#include "FakeAdapter.h"

#include "can/AdapterRecord.h"

#include <cstdio>

namespace tellvane::test {

namespace {
std::string hex(std::uint32_t v)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", v);
    return buffer;
}
}  // namespace

void FakeAdapter::pushMessage(std::uint32_t id, std::vector<std::uint8_t> data, std::uint8_t status,
                              std::optional<std::uint32_t> ticks)
{
    records.push_back(encodeRecord(id, static_cast<std::uint8_t>(data.size()), data.data(), status, ticks));
}

std::vector<std::string> FakeAdapter::callsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const auto& c : calls) {
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    }
    return out;
}

void FakeAdapter::clearLog()
{
    calls.clear();
    sent.clear();
    getCalls = 0;
}

std::int16_t FakeAdapter::answer(const std::string& call)
{
    calls.push_back(call);
    if (!failingCall.empty() && call.rfind(failingCall, 0) == 0)
        return failResult;
    return 1;
}

std::int16_t FakeAdapter::resetInterface()
{
    return answer("ResetInterface");
}

std::int16_t FakeAdapter::clearCanMess()
{
    return answer("ClearCANMess");
}

std::int16_t FakeAdapter::setCanBaud(std::int32_t rateCode)
{
    return answer("SetCANBaud " + std::to_string(rateCode));
}

std::int16_t FakeAdapter::recCanMess(std::uint32_t mask, std::uint8_t selector)
{
    return answer("RecCANMess " + hex(mask) + " " + std::to_string(selector));
}

std::int16_t FakeAdapter::setFilters(std::uint8_t filter, std::uint32_t value)
{
    return answer("SetFilters " + std::to_string(filter) + " " + hex(value));
}

std::int16_t FakeAdapter::enableTs()
{
    return answer("EnableTS");
}

std::int16_t FakeAdapter::disableTs()
{
    return answer("DisableTS");
}

std::int16_t FakeAdapter::getCanMess(Record& record)
{
    ++getCalls;
    if (onGet)
        onGet(getCalls);
    if (records.empty())
        return 0;
    record = records.front();
    records.pop_front();
    return getResultOverride.value_or(1);
}

std::int16_t FakeAdapter::getNumCanMess()
{
    return queuedCount.value_or(static_cast<std::int16_t>(records.size()));
}

std::int16_t FakeAdapter::sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                                      const std::uint8_t* data)
{
    calls.push_back("SendCANMess " + hex(id) + " " + std::to_string(mode) + " " + std::to_string(length));
    sent.push_back(Sent{id, mode, length, std::vector<std::uint8_t>(data, data + length)});
    if (onSend)
        onSend(sent.back());
    if (!sendResults.empty()) {
        const std::int16_t r = sendResults.front();
        sendResults.pop_front();
        return r;
    }
    return sendResult;
}

std::int16_t FakeAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    calls.push_back("ReadReg " + std::to_string(reg) + " " + std::to_string(count));
    if (readRegFails)
        return 0;
    *buffer = errorRegister;
    return 1;
}

std::int16_t FakeAdapter::writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer)
{
    calls.push_back("WriteReg " + std::to_string(reg) + " " + std::to_string(count) + " "
                    + std::to_string(buffer[0]));
    errorRegister = buffer[0];
    return 1;
}

std::int16_t FakeAdapter::getInfo(char* buffer, std::int32_t size)
{
    if (size > 0)
        buffer[0] = '\0';
    return 1;
}

void FakeAdapter::waitForRecords(Clock& clock, std::int64_t untilUs)
{
    ++waitCalls;
    if (!records.empty())
        return;
    Adapter::waitForRecords(clock, untilUs);
    clock.sleepUntilUs(clock.nowMicroseconds() + waitOvershootUs);
}

}  // namespace tellvane::test
