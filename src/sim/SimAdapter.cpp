#include "sim/SimAdapter.h"

#include "core/Clock.h"

#include <algorithm>
#include <cstring>

namespace tellvane {

SimAdapter::SimAdapter(Clock& clock)
    : QueuedAdapter(Arrivals::InCallingThread), m_bus(std::make_unique<SimBus>(clock))
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
    resetQueue();
    m_bus->toolJoined();
    return 1;
}

std::int16_t SimAdapter::setCanBaud(std::int32_t rateCode)
{
    if (!m_plugged)
        return kAdapterMissing;
    return rateCode == kBaud250k ? 1 : 0;
}

void SimAdapter::frameOnBus(const SimFrame& frame, std::int64_t atUs)
{
    if (!m_plugged || !m_busConnected)
        return;
    Intake(*this).message(frame.id, frame.length, frame.data.data(), atUs);
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
    frame.id = id & AcceptanceFilter::kIdBits;
    frame.length = length;
    if (data && length > 0)
        std::memcpy(frame.data.data(), data, length);
    // On a wire the frame waits for the bus; the adapter takes it at once
    // unless its transmit queue is full.
    if (!m_bus->transmitFromTool(frame))
        return kSendFailed;
    return m_reportSendFailure ? kSendFailed : 1;
}

void SimAdapter::waitForNext(Clock& clock, std::int64_t untilUs)
{
    // Whatever comes next may be filtered out; the caller then waits again.
    clock.sleepUntilUs(std::min(untilUs, std::max(m_bus->nextEventUs(), clock.nowMicroseconds())));
}

}  // namespace tellvane
