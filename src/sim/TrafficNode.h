#pragma once

#include "sim/SimBus.h"

#include <cstdint>
#include <vector>

namespace tellvane {

// A scripted source of traffic: frames repeated at fixed periods, optionally
// with one data byte counting up at every repetition so that the values move.
class TrafficNode final : public SimNode {
public:
    struct Stream {
        SimFrame frame;
        std::int64_t periodUs = 100000;
        std::int64_t nextUs = 0;
        int countingByte = -1;  // index of a byte incremented after each send; -1: none
    };

    void addStream(const SimFrame& frame, std::int64_t periodUs, std::int64_t firstUs, int countingByte = -1);
    const std::vector<Stream>& streams() const { return m_streams; }

    std::int64_t nextWakeUs() const override;
    void wake(std::int64_t nowUs) override;

private:
    std::vector<Stream> m_streams;
};

// A frame from a 29-bit identifier and its data bytes.
SimFrame makeFrame(std::uint32_t id, std::initializer_list<std::uint8_t> bytes);

// A small bench of background traffic for the monitor.
void addDemoTraffic(SimBus& bus);

}  // namespace tellvane
