#include "logs/TraceFrame.h"

#include "can/CanMessage.h"

#include <algorithm>
#include <cmath>

namespace tellvane {

TraceFrame traceFrameOf(const CanMessage& message, bool sent)
{
    const auto id = static_cast<std::uint32_t>(message.id);
    TraceFrame frame;
    // Received messages are extended frames but for a replayed log's standard
    // ones; the tool sends standard ones (the link probe) without the extended bit.
    const bool extended = sent ? (id & can::kExtendedFrame) != 0 : !message.standard;
    frame.id = id & (extended ? 0x1FFFFFFFu : 0x7FFu);
    frame.flags = static_cast<std::uint8_t>((extended ? TraceFrame::Extended : 0) | (sent ? TraceFrame::Sent : 0));
    frame.length = std::min<std::uint8_t>(message.length, 8);
    std::copy_n(message.data.begin(), frame.length, frame.data.begin());
    frame.line = message.line;
    frame.timeUs = message.line == 0 && message.sessionUs >= 0 ? message.sessionUs : std::llround(message.time * 1e6);
    return frame;
}

}  // namespace tellvane
