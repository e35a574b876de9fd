#include "sim/SimBus.h"

#include "can/CanFrameBits.h"
#include "core/Clock.h"

#include <algorithm>

namespace tellvane {

namespace {
// Work done by one runUntilNow at most, so that a program that slept for a long
// time catches up over several polls instead of stalling one of them.
constexpr int kMaxEventsPerRun = 200000;
// Every event visits each node once or twice (who runs next, who receives):
// the work of a run is bounded in node visits too.
constexpr std::size_t kMaxNodeVisitsPerRun = 2000000;

constexpr std::uint32_t kStandardIdBits = 0x7FF;
constexpr std::int64_t kNsPerSecond = 1000000000;

// Stands for the tool as the sender of a frame: no node is it, and the tool's
// port does not hear its own frames.
const SimNode kTool{};

std::int64_t toNs(std::int64_t us)
{
    return us >= kNever / 1000 ? kNever : us * 1000;
}

// A frame has arrived in the first whole microsecond at or after its last bit.
std::int64_t ceilUs(std::int64_t ns)
{
    return ns / 1000 + (ns % 1000 > 0 ? 1 : 0);
}
}  // namespace

bool SimBus::LaterReady::operator()(const WireFrame& a, const WireFrame& b) const
{
    if (a.readyNs != b.readyNs)
        return a.readyNs > b.readyNs;
    if (a.key != b.key)
        return a.key > b.key;
    return a.sequence > b.sequence;
}

bool SimBus::LowerPriority::operator()(const WireFrame& a, const WireFrame& b) const
{
    return a.key != b.key ? a.key > b.key : a.sequence > b.sequence;
}

SimBus::SimBus(Clock& clock) : m_clock(clock), m_now(clock.nowMicroseconds()) {}

SimBus::~SimBus() = default;

SimNode& SimBus::addNode(std::unique_ptr<SimNode> node)
{
    node->m_bus = this;
    m_nodes.push_back(std::move(node));
    return *m_nodes.back();
}

void SimBus::setBitRate(int bitsPerSecond)
{
    const int rate = std::max(bitsPerSecond, 0);
    if (rate == m_bitRate)
        return;
    const int before = m_bitRate;
    m_bitRate = rate;
    m_runBits = 0;  // frames at the new rate are timed afresh
    if (before == 0) {
        // Frames sent but not yet arrived now take their turn on the wire.
        while (!m_pending.empty()) {
            const Pending p = m_pending.top();
            m_pending.pop();
            queueOnWire(p.frame, toNs(p.atUs), p.sender);
        }
    } else if (rate == 0) {
        // Back to arriving at once: the frame on the wire when its last bit is
        // sent, the waiting ones when they were ready.
        if (m_busy)
            m_pending.push(Pending{ceilUs(m_onWireEndNs), m_sequence++, m_onWire.frame, m_onWire.sender});
        m_busy = false;
        for (auto* heap : {&m_ready, &m_waiting}) {
            for (const WireFrame& w : *heap)
                m_pending.push(Pending{std::max(ceilUs(w.readyNs), m_now), m_sequence++, w.frame, w.sender});
            heap->clear();
        }
    }
}

void SimBus::transmit(const SimFrame& frame, std::int64_t atUs, const SimNode* sender)
{
    if (m_bitRate > 0) {
        queueOnWire(frame, toNs(std::max(atUs, m_now)), sender);
        return;
    }
    m_pending.push(Pending{std::max(atUs, m_now), m_sequence++, frame, sender});
}

bool SimBus::transmitFromTool(const SimFrame& frame)
{
    runUntilNow();
    if (m_bitRate > 0)
        return queueOnWire(frame, toNs(m_now), &kTool);
    ++m_framesCarried;
    for (auto& node : m_nodes)
        node->receive(frame, m_now);
    return true;
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
    if (m_port && pending.sender != &kTool)
        m_port->frameOnBus(pending.frame, pending.atUs);
}

bool SimBus::queueOnWire(const SimFrame& frame, std::int64_t readyNs, const SimNode* sender)
{
    if (framesWaiting() >= kMaxWaitingFrames) {
        ++m_framesDropped;
        return false;
    }
    const bool extended = sender == &kTool || frame.id > kStandardIdBits;
    WireFrame w{readyNs,
                m_sequence++,
                CanFrameBits::arbitrationKey(frame.id, extended),
                CanFrameBits::frameBits(frame.id, extended, frame.length, frame.data.data()),
                frame,
                sender};
    m_waiting.push_back(w);
    std::push_heap(m_waiting.begin(), m_waiting.end(), LaterReady{});
    return true;
}

std::int64_t SimBus::nextStartNs() const
{
    if (m_busy)
        return kNever;
    if (!m_ready.empty())
        return m_busFreeNs;
    if (!m_waiting.empty())
        return std::max(m_busFreeNs, m_waiting.front().readyNs);
    return kNever;
}

std::int64_t SimBus::endNs(std::int64_t startNs, int bits) const
{
    const bool backToBack = startNs == m_busFreeNs && m_runBits > 0;
    const std::uint64_t runBits = (backToBack ? m_runBits : 0) + static_cast<std::uint64_t>(bits);
    const auto rate = static_cast<std::uint64_t>(m_bitRate);
    const auto ns = static_cast<std::int64_t>(runBits / rate * kNsPerSecond + runBits % rate * kNsPerSecond / rate);
    return (backToBack ? m_runStartNs : startNs) + ns;
}

void SimBus::startFrame(std::int64_t startNs)
{
    while (!m_waiting.empty() && m_waiting.front().readyNs <= startNs) {
        std::pop_heap(m_waiting.begin(), m_waiting.end(), LaterReady{});
        m_ready.push_back(m_waiting.back());
        m_waiting.pop_back();
        std::push_heap(m_ready.begin(), m_ready.end(), LowerPriority{});
    }
    std::pop_heap(m_ready.begin(), m_ready.end(), LowerPriority{});
    m_onWire = m_ready.back();
    m_ready.pop_back();

    const std::int64_t end = endNs(startNs, m_onWire.bits);
    if (startNs == m_busFreeNs && m_runBits > 0) {
        m_runBits += static_cast<std::uint64_t>(m_onWire.bits);
    } else {
        m_runStartNs = startNs;
        m_runBits = static_cast<std::uint64_t>(m_onWire.bits);
    }
    m_busyNs += end - startNs;
    m_busyBits += static_cast<std::uint64_t>(m_onWire.bits);
    m_onWireEndNs = end;
    m_busFreeNs = end;
    m_busy = true;
}

void SimBus::finishFrame()
{
    m_busy = false;
    m_now = std::max(m_now, ceilUs(m_onWireEndNs));
    deliver(Pending{m_now, 0, m_onWire.frame, m_onWire.sender});
}

std::int64_t SimBus::nextEventUs() const
{
    std::int64_t next = kNever;
    if (m_bitRate == 0) {
        if (!m_pending.empty())
            next = m_pending.top().atUs;
    } else if (m_busy) {
        next = ceilUs(m_onWireEndNs);
    } else if (!m_ready.empty()) {
        next = ceilUs(m_busFreeNs);  // the next frame's turn has come
    } else if (!m_waiting.empty()) {
        // The bus is idle: of the frames ready first the lowest goes, and it
        // arrives when its bits are sent, unless a node wakes before.
        const WireFrame& first = m_waiting.front();
        next = first.readyNs < m_busFreeNs ? ceilUs(m_busFreeNs) : ceilUs(endNs(first.readyNs, first.bits));
    }
    for (const auto& node : m_nodes)
        next = std::min(next, node->nextWakeUs());
    return next;
}

int SimBus::maxEventsPerRun() const
{
    const std::size_t byNodes = kMaxNodeVisitsPerRun / std::max<std::size_t>(m_nodes.size(), 1);
    return static_cast<int>(std::clamp<std::size_t>(byNodes, 1, kMaxEventsPerRun));
}

void SimBus::runUntilNow()
{
    if (m_running || m_held)
        return;  // a node's reaction asked for the present while it is being played, or the bus is held
    m_running = true;
    const std::int64_t now = std::max(m_now, m_clock.nowMicroseconds());
    if (m_bitRate > 0)
        runWire(now);
    else
        runInstant(now);
    m_running = false;
}

SimNode* SimBus::earliestNode(std::int64_t& atUs) const
{
    SimNode* due = nullptr;
    atUs = kNever;
    for (const auto& node : m_nodes) {
        const std::int64_t t = node->nextWakeUs();
        if (t < atUs) {
            atUs = t;
            due = node.get();
        }
    }
    return due;
}

void SimBus::runInstant(std::int64_t now)
{
    bool caughtUp = false;
    const int maxEvents = maxEventsPerRun();
    for (int events = 0; events < maxEvents; ++events) {
        std::int64_t nodeTime = kNever;
        SimNode* due = earliestNode(nodeTime);
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
}

void SimBus::runWire(std::int64_t now)
{
    // In nanoseconds: a frame's last bit need not fall on a whole microsecond.
    // At one time a frame arrives first, then nodes run, then the bus is taken,
    // so that what they send at that time takes part.
    const std::int64_t nowNs = toNs(now);
    bool caughtUp = false;
    const int maxEvents = maxEventsPerRun();
    for (int events = 0; events < maxEvents; ++events) {
        std::int64_t nodeTime = kNever;
        SimNode* due = earliestNode(nodeTime);
        const std::int64_t nodeNs = toNs(nodeTime);
        const std::int64_t finishNs = m_busy ? m_onWireEndNs : kNever;
        const std::int64_t startNs = nextStartNs();
        const std::int64_t next = std::min({finishNs, nodeNs, startNs});
        if (next > nowNs) {
            caughtUp = true;
            break;
        }
        if (finishNs == next) {
            finishFrame();
        } else if (nodeNs == next) {
            m_now = std::max(m_now, nodeTime);
            due->wake(m_now);
        } else {
            startFrame(startNs);
        }
    }
    if (caughtUp)
        m_now = now;
}

}  // namespace tellvane
