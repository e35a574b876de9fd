#include "sim/SimBus.h"

#include "core/Clock.h"

#include <algorithm>

namespace tellvane {

namespace {
// Work done by one runUntilNow at most, so that a program that slept for a long
// time catches up over several polls instead of stalling one of them.
constexpr int kMaxEventsPerRun = 200000;
}  // namespace

SimBus::SimBus(Clock& clock) : m_clock(clock), m_now(clock.nowMicroseconds()) {}

SimBus::~SimBus() = default;

SimNode& SimBus::addNode(std::unique_ptr<SimNode> node)
{
    node->m_bus = this;
    m_nodes.push_back(std::move(node));
    return *m_nodes.back();
}

void SimBus::transmit(const SimFrame& frame, std::int64_t atUs, const SimNode* sender)
{
    m_pending.push(Pending{std::max(atUs, m_now), m_sequence++, frame, sender});
}

void SimBus::transmitFromTool(const SimFrame& frame)
{
    runUntilNow();
    ++m_framesCarried;
    for (auto& node : m_nodes)
        node->receive(frame, m_now);
}

void SimBus::toolJoined()
{
    runUntilNow();
    for (auto& node : m_nodes)
        node->toolJoined(m_now);
}

void SimBus::deliver(const Pending& pending)
{
    ++m_framesCarried;
    for (auto& node : m_nodes) {
        if (node.get() != pending.sender)
            node->receive(pending.frame, pending.atUs);
    }
    if (m_port)
        m_port->frameOnBus(pending.frame, pending.atUs);
}

std::int64_t SimBus::nextEventUs() const
{
    std::int64_t next = m_pending.empty() ? kNever : m_pending.top().atUs;
    for (const auto& node : m_nodes)
        next = std::min(next, node->nextWakeUs());
    return next;
}

void SimBus::runUntilNow()
{
    if (m_running)
        return;  // a node's reaction asked for the present while it is being played
    m_running = true;
    const std::int64_t now = std::max(m_now, m_clock.nowMicroseconds());
    bool caughtUp = false;
    for (int events = 0; events < kMaxEventsPerRun; ++events) {
        std::int64_t nodeTime = kNever;
        SimNode* due = nullptr;
        for (auto& node : m_nodes) {
            const std::int64_t t = node->nextWakeUs();
            if (t < nodeTime) {
                nodeTime = t;
                due = node.get();
            }
        }
        const std::int64_t frameTime = m_pending.empty() ? kNever : m_pending.top().atUs;
        const std::int64_t next = std::min(nodeTime, frameTime);
        if (next > now) {
            caughtUp = true;
            break;
        }
        m_now = std::max(m_now, next);
        if (frameTime <= nodeTime) {
            const Pending pending = m_pending.top();
            m_pending.pop();
            deliver(pending);
        } else {
            due->wake(m_now);
        }
    }
    if (caughtUp)
        m_now = now;
    m_running = false;
}

}  // namespace tellvane
