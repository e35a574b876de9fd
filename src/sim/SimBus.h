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

// A frame on the simulated bus: an identifier and up to eight data bytes. On
// the wire a node's frame is an extended one when its identifier needs more
// than 11 bits, a standard one otherwise; the tool sends extended frames only.
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
//
// Without a bit rate every frame arrives the moment it is sent. With one the
// bus is a wire: a frame waits until the bus is idle, of the frames ready then
// the one with the lowest arbitration field goes, it occupies the bus for its
// bits (stuff bits and intermission included) and reaches every other
// participant when its last bit is sent.
class SimBus {
public:
    // Frames waiting for the bus at most; a frame beyond them is lost (the
    // tool's send fails), as when a controller's transmit buffers are full.
    static constexpr std::size_t kMaxWaitingFrames = 4096;

    explicit SimBus(Clock& clock);
    ~SimBus();

    // While one lives the bus stays at its present: runUntilNow() plays
    // nothing, and what the tool sends or a reset takes effect at the bus's
    // time. A caller that moves many frames in a row plays the bus once for
    // them all rather than before each one.
    class Hold {
    public:
        explicit Hold(SimBus& bus) : m_bus(bus), m_was(bus.m_held) { bus.m_held = true; }
        ~Hold() { m_bus.m_held = m_was; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        SimBus& m_bus;
        bool m_was;
    };

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

    // 0 (the default): frames arrive the moment they are sent. Otherwise the
    // bus's bit rate in bits per second; frames already waiting keep their turn.
    void setBitRate(int bitsPerSecond);
    int bitRate() const { return m_bitRate; }

    // Puts a frame on the bus at a time not before the bus's present; every
    // other participant (the tool included) sees it then, or on a wire when
    // its transmission ends.
    void transmit(const SimFrame& frame, std::int64_t atUs, const SimNode* sender);
    // A frame from the tool, seen by every node at once, or on a wire when its
    // transmission ends. False when no more frames can wait for the bus.
    bool transmitFromTool(const SimFrame& frame);
    // The tool's adapter was reset.
    void toolJoined();

    // Plays what is due, at most so much work a call (events times the nodes
    // each one visits): a bus of many boards, or one that fell far behind,
    // catches up over several calls instead of stalling one.
    void runUntilNow();
    std::int64_t nowUs() const { return m_now; }
    // When the next frame reaches the bus or the next participant runs; kNever
    // when nothing is due.
    std::int64_t nextEventUs() const;
    Clock& clock() { return m_clock; }

    std::uint64_t framesCarried() const { return m_framesCarried; }
    // On a wire: the time frames occupied the bus, their bits, and the frames
    // lost because too many were waiting.
    std::int64_t busyNs() const { return m_busyNs; }
    std::uint64_t busyBits() const { return m_busyBits; }
    std::uint64_t framesDropped() const { return m_framesDropped; }
    std::size_t framesWaiting() const { return m_waiting.size() + m_ready.size(); }

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

    // A frame on the wire: ready from readyNs; of frames ready together the
    // lower key, then the earlier sent, goes first.
    struct WireFrame {
        std::int64_t readyNs;
        std::uint64_t sequence;
        std::uint32_t key;
        int bits;
        SimFrame frame;
        const SimNode* sender;
    };
    struct LaterReady {
        bool operator()(const WireFrame& a, const WireFrame& b) const;
    };
    struct LowerPriority {
        bool operator()(const WireFrame& a, const WireFrame& b) const;
    };

    void deliver(const Pending& pending);
    int maxEventsPerRun() const;
    // The participant that runs next and when (kNever: none).
    SimNode* earliestNode(std::int64_t& atUs) const;
    void runInstant(std::int64_t now);
    void runWire(std::int64_t now);
    bool queueOnWire(const SimFrame& frame, std::int64_t readyNs, const SimNode* sender);
    // When the next frame starts: the bus idle and a frame ready; kNever for none.
    std::int64_t nextStartNs() const;
    // When a frame of so many bits that starts at startNs ends.
    std::int64_t endNs(std::int64_t startNs, int bits) const;
    void startFrame(std::int64_t startNs);
    void finishFrame();

    Clock& m_clock;
    SimPort* m_port = nullptr;
    std::vector<std::unique_ptr<SimNode>> m_nodes;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> m_pending;
    std::uint64_t m_sequence = 0;
    std::int64_t m_now = 0;
    std::uint64_t m_framesCarried = 0;
    bool m_running = false;
    bool m_held = false;

    int m_bitRate = 0;
    std::vector<WireFrame> m_waiting;  // heap: not yet ready when the bus was last taken
    std::vector<WireFrame> m_ready;    // heap: lost arbitration, waiting for the bus
    WireFrame m_onWire{};
    bool m_busy = false;
    std::int64_t m_onWireEndNs = 0;
    std::int64_t m_busFreeNs = 0;
    // Frames sent back to back are timed from the start of their run, so that
    // a bit time that is not a whole number of nanoseconds does not drift.
    std::int64_t m_runStartNs = 0;
    std::uint64_t m_runBits = 0;
    std::int64_t m_busyNs = 0;
    std::uint64_t m_busyBits = 0;
    std::uint64_t m_framesDropped = 0;
};

}  // namespace tellvane
