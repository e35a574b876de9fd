#include "sim/BenchBridge.h"

#include "can/AcceptanceFilter.h"
#include "can/AdapterRecord.h"
#include "core/Failure.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

namespace tellvane {

namespace {
constexpr std::uint32_t kExtended = 0x80000000u;
}

BenchBridge::BenchBridge(SimAdapter& bench, Adapter& outside) : m_bench(bench), m_outside(outside) {}

std::int16_t BenchBridge::start()
{
    const std::int16_t results[] = {
        m_outside.resetInterface(),
        m_outside.clearCanMess(),
        m_outside.setCanBaud(Adapter::kBaud250k),
        m_outside.recCanMess(AcceptanceFilter::kOpen, Adapter::kMaskSelector0),
        m_outside.setFilters(0, AcceptanceFilter::kOpen),
    };
    for (const std::int16_t r : results) {
        if (r != 1)
            return r;
    }
    m_outside.disableTs();
    if (!m_started) {
        m_started = true;
        m_bench.resetInterface();  // the boards announce themselves
    }
    return 1;
}

int BenchBridge::pump()
{
    SimBus& bus = m_bench.bus();
    Adapter::Record record{};
    int in = 0;
    bus.runUntilNow();
    {
        // The outside bus to the boards.
        const SimBus::Hold hold(bus);
        while (in < kMaxFramesPerPump && m_outside.getCanMess(record) == 1) {
            ++in;
            ++m_framesIn;
            CanMessage message;
            try {
                message = decodeRecord(record);
            } catch (const Failure&) {
                continue;  // not a frame a CAN bus carries
            }
            if (message.id == 0 && message.length == 0) {
                bus.toolJoined();
                continue;
            }
            m_bench.sendCanMess(static_cast<std::uint32_t>(message.id) | kExtended, Adapter::kSendMode, message.length,
                                message.data.data());
        }
    }
    noticeFlashes();
    bus.runUntilNow();  // what the boards answered to it
    int out = 0;
    {
        // The boards to the outside bus.
        const SimBus::Hold hold(bus);
        while (out < kMaxFramesPerPump && m_bench.getCanMess(record) == 1) {
            ++out;
            const CanMessage message = decodeRecord(record);
            m_lastSendResult = m_outside.sendCanMess(static_cast<std::uint32_t>(message.id) | kExtended,
                                                     Adapter::kSendMode, message.length, message.data.data());
            if (m_lastSendResult == 1)
                ++m_framesOut;
            else
                ++m_sendFailures;
        }
    }
    m_backlog = in == kMaxFramesPerPump || out == kMaxFramesPerPump;
    return in + out;
}

void BenchBridge::noticeFlashes()
{
    const auto& nodes = m_bench.bus().nodes();
    m_migrations.resize(nodes.size(), 0);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        auto* board = dynamic_cast<SimBoard*>(nodes[i].get());
        if (!board)
            continue;
        const int migrations = board->bootLoader().migrations();
        if (migrations != m_migrations[i]) {
            m_migrations[i] = migrations;
            if (m_flashObserver)
                m_flashObserver(*board);
        }
    }
}

}  // namespace tellvane
