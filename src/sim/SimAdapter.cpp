#include "sim/SimAdapter.h"

#include "can/AdapterRecord.h"
#include "core/Clock.h"

#include <algorithm>
#include <cstring>

namespace tellvane {

namespace {
constexpr std::uint32_t kIdBits = 0x1FFFFFFFu;
constexpr std::int16_t kNoConnection = -1;
}  // namespace

SimAdapter::SimAdapter(Clock& clock) : m_bus(std::make_unique<SimBus>(clock))
{
    m_bus->setToolPort(this);
}

SimAdapter::~SimAdapter()
{
    m_bus->setToolPort(nullptr);
}

std::int16_t SimAdapter::resetInterface()
{
    if (!m_plugged)
        return kAdapterMissing;
    m_queue.clear();
    m_overflowed = false;
    m_errorFlags &= static_cast<std::uint8_t>(~(kFlagBuffer0 | kFlagBuffer1));
    m_filter.reset();
    m_bus->toolJoined();
    return 1;
}

std::int16_t SimAdapter::clearCanMess()
{
    if (!m_plugged)
        return kAdapterMissing;
    m_bus->runUntilNow();
    m_queue.clear();
    m_overflowed = false;
    return 1;
}

std::int16_t SimAdapter::setCanBaud(std::int32_t rateCode)
{
    if (!m_plugged)
        return kAdapterMissing;
    return rateCode == kBaud250k ? 1 : 0;
}

std::int16_t SimAdapter::recCanMess(std::uint32_t mask, std::uint8_t selector)
{
    if (!m_plugged)
        return kAdapterMissing;
    return m_filter.setMask(selector, mask) ? 1 : 0;
}

std::int16_t SimAdapter::setFilters(std::uint8_t filter, std::uint32_t value)
{
    if (!m_plugged)
        return kAdapterMissing;
    return m_filter.setFilter(filter, value) ? 1 : 0;
}

std::int16_t SimAdapter::enableTs()
{
    m_timeStamps = true;
    return m_plugged ? 1 : kAdapterMissing;
}

std::int16_t SimAdapter::disableTs()
{
    m_timeStamps = false;
    return m_plugged ? 1 : kAdapterMissing;
}

void SimAdapter::frameOnBus(const SimFrame& frame, std::int64_t atUs)
{
    if (!m_plugged || !m_busConnected)
        return;
    const auto buffer = acceptingBuffer(frame.id);
    if (!buffer)
        return;
    if (m_queue.size() >= kQueueCapacity) {
        ++m_dropped;
        m_overflowed = true;
        m_errorFlags |= AcceptanceFilter::overflowFlag(*buffer);
        return;
    }
    m_queue.push_back(Entry{frame, atUs});
}

std::int16_t SimAdapter::getCanMess(Record& record)
{
    if (!m_plugged)
        return 0;
    m_bus->runUntilNow();
    if (m_queue.empty())
        return 0;
    const Entry entry = m_queue.front();
    m_queue.pop_front();
    std::optional<std::uint32_t> ticks;
    if (m_timeStamps)
        ticks = static_cast<std::uint32_t>(entry.atUs / 8);
    record = encodeRecord(entry.frame.id & kIdBits, entry.frame.length, entry.frame.data.data(),
                          m_overflowed ? record::kStatusOverflow : 0, ticks);
    return 1;
}

std::int16_t SimAdapter::getNumCanMess()
{
    if (!m_plugged)
        return 0;
    m_bus->runUntilNow();
    return static_cast<std::int16_t>(m_queue.size());
}

std::int16_t SimAdapter::sendCanMess(std::uint32_t id, std::uint8_t /*mode*/, std::uint8_t length,
                                     const std::uint8_t* data)
{
    if (!m_plugged)
        return kAdapterMissing;
    if (!m_busConnected)
        return kNoConnection;
    if (length > 8)
        return 0;
    SimFrame frame;
    frame.id = id & kIdBits;
    frame.length = length;
    if (data && length > 0)
        std::memcpy(frame.data.data(), data, length);
    // On a wire the frame waits for the bus; the adapter takes it at once
    // unless its transmit queue is full.
    if (!m_bus->transmitFromTool(frame))
        return kSendFailed;
    return m_reportSendFailure ? kSendFailed : 1;
}

void SimAdapter::waitForRecords(Clock& clock, std::int64_t untilUs)
{
    if (!m_plugged)
        return Adapter::waitForRecords(clock, untilUs);
    m_bus->runUntilNow();
    if (!m_queue.empty())
        return;
    // Whatever comes next may be filtered out; the caller then waits again.
    clock.sleepUntilUs(std::min(untilUs, std::max(m_bus->nextEventUs(), clock.nowMicroseconds())));
}

std::int16_t SimAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    if (!m_plugged)
        return kAdapterMissing;
    if (reg != kErrorFlagRegister || count != 1 || !buffer)
        return 0;
    m_bus->runUntilNow();
    *buffer = m_errorFlags;
    return 1;
}

std::int16_t SimAdapter::writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer)
{
    if (!m_plugged)
        return kAdapterMissing;
    if (reg != kErrorFlagRegister || count != 1 || !buffer)
        return 0;
    m_errorFlags = *buffer;
    return 1;
}

std::int16_t SimAdapter::getInfo(char* buffer, std::int32_t size)
{
    static const char kInfo[] = "Tellvane simulated bench";
    if (!buffer || size <= 0)
        return 0;
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(size) - 1, sizeof kInfo - 1);
    std::memcpy(buffer, kInfo, n);
    buffer[n] = '\0';
    return 1;
}

}  // namespace tellvane
