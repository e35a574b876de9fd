#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <queue>
#include <vector>

namespace tellvane {

class Clock;
class SimBus;

// A frame on the simulated bus: 29-bit identifier (or 11-bit for the tool's
// probe), up to eight data bytes.
struct SimFrame {
    std::uint32_t id = 0;
    std::uint8_t length = 0;
    std::array<std::uint8_t, 8> data{};
};

inline constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// A participant of the simulated bus: a board, a traffic source.
class SimNode {
public:
    virtual ~SimNode() = default;

    // A frame another participant put on the bus.
    virtual void receive(const SimFrame& /*frame*/, std::int64_t /*atUs*/) {}
    // When the node wants to run next; kNever for not at all.
    virtual std::int64_t nextWakeUs() const { return kNever; }
    // Runs the node at the time it asked for.
    virtual void wake(std::int64_t /*nowUs*/) {}
    // The tool's adapter was reset, as when it is plugged into the bus.
    virtual void toolJoined(std::int64_t /*nowUs*/) {}

protected:
    friend class SimBus;
    SimBus* bus() const { return m_bus; }

private:
    SimBus* m_bus = nullptr;
};

// The tool's side of the bus: the adapter that receives every frame.
class SimPort {
public:
    virtual ~SimPort() = default;
    virtual void frameOnBus(const SimFrame& frame, std::int64_t atUs) = 0;
};

// A virtual CAN bus in the process. Time is pulled, not pushed: each call of
// runUntilNow() plays every frame and node wake-up due up to the clock's
// present, in time order, so the bus needs neither threads nor timers and runs
// in no real time under a fake clock.
class SimBus {
public:
    explicit SimBus(Clock& clock);
    ~SimBus();

    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    template <typename Node, typename... Args>
    Node& emplaceNode(Args&&... args)
    {
        auto node = std::make_unique<Node>(std::forward<Args>(args)...);
        Node& ref = *node;
        addNode(std::move(node));
        return ref;
    }
    SimNode& addNode(std::unique_ptr<SimNode> node);
    const std::vector<std::unique_ptr<SimNode>>& nodes() const { return m_nodes; }

    void setToolPort(SimPort* port) { m_port = port; }

    // Puts a frame on the bus at a time not before the bus's present; every
    // other participant (the tool included) sees it then.
    void transmit(const SimFrame& frame, std::int64_t atUs, const SimNode* sender);
    // A frame from the tool, seen by every node at once.
    void transmitFromTool(const SimFrame& frame);
    // The tool's adapter was reset.
    void toolJoined();

    void runUntilNow();
    std::int64_t nowUs() const { return m_now; }
    // When the next frame reaches the bus or the next participant runs; kNever
    // when nothing is due.
    std::int64_t nextEventUs() const;
    Clock& clock() { return m_clock; }

    std::uint64_t framesCarried() const { return m_framesCarried; }

private:
    struct Pending {
        std::int64_t atUs;
        std::uint64_t sequence;
        SimFrame frame;
        const SimNode* sender;
        bool operator>(const Pending& other) const
        {
            return atUs != other.atUs ? atUs > other.atUs : sequence > other.sequence;
        }
    };

    void deliver(const Pending& pending);

    Clock& m_clock;
    SimPort* m_port = nullptr;
    std::vector<std::unique_ptr<SimNode>> m_nodes;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> m_pending;
    std::uint64_t m_sequence = 0;
    std::int64_t m_now = 0;
    std::uint64_t m_framesCarried = 0;
    bool m_running = false;
};

}  // namespace tellvane
