#pragma once

#include "sim/SimBus.h"

#include <cstdint>
#include <vector>

namespace tellvane::test {

// A listener on the simulated bus that keeps every frame the tool put on it
// (sender address 0xF9), so that a journey can tell what reached the boards.
class ToolFrames final : public SimNode {
public:
    struct Frame {
        SimFrame frame;
        std::int64_t atUs;
    };

    void receive(const SimFrame& frame, std::int64_t atUs) override
    {
        if ((frame.id & 0xFFu) == 0xF9u && frame.id > 0x7FFu)
            m_frames.push_back({frame, atUs});
    }

    const std::vector<Frame>& frames() const { return m_frames; }

private:
    std::vector<Frame> m_frames;
};

}  // namespace tellvane::test
