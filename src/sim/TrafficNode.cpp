#include "sim/TrafficNode.h"

#include <algorithm>

namespace tellvane {

void TrafficNode::addStream(const SimFrame& frame, std::int64_t periodUs, std::int64_t firstUs, int countingByte)
{
    Stream s;
    s.frame = frame;
    s.periodUs = std::max<std::int64_t>(periodUs, 1);
    s.nextUs = firstUs;
    s.countingByte = countingByte >= 0 && countingByte < frame.length ? countingByte : -1;
    m_streams.push_back(s);
}

std::int64_t TrafficNode::nextWakeUs() const
{
    std::int64_t next = kNever;
    for (const Stream& s : m_streams)
        next = std::min(next, s.nextUs);
    return next;
}

void TrafficNode::wake(std::int64_t nowUs)
{
    for (Stream& s : m_streams) {
        if (s.nextUs > nowUs)
            continue;
        bus()->transmit(s.frame, s.nextUs, this);
        if (s.countingByte >= 0)
            ++s.frame.data[static_cast<std::size_t>(s.countingByte)];
        s.nextUs += s.periodUs;
    }
}

SimFrame makeFrame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes)
{
    SimFrame f;
    f.id = id;
    for (std::uint8_t b : bytes) {
        if (f.length >= 8)
            break;
        f.data[f.length++] = b;
    }
    return f;
}

void addDemoTraffic(SimBus& bus)
{
    auto& node = bus.emplaceNode<TrafficNode>();
    // Proprietary broadcasts of two boards, with a moving counter.
    node.addStream(makeFrame(0x18EFFF21, {0x10, 0x00, 0x12, 0x34, 0x00, 0x00, 0x00, 0x01}), 100000, 5000, 4);
    node.addStream(makeFrame(0x18EFFF22, {0x20, 0x01, 0x00, 0xC8, 0x0F, 0xA0}), 250000, 17000, 3);
    // A J1939 broadcast the boards share, and a short text.
    node.addStream(makeFrame(0x18FEF121, {0xFF, 0x40, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 500000, 31000, 2);
    node.addStream(makeFrame(0x18EFFF23, {'T', 'e', 'l', 'l', 'v', 'a', 'n', 'e'}), 1000000, 47000);
}

}  // namespace tellvane
