#pragma once

#include "trace/RingBuffer.h"
#include "logs/TraceFrame.h"

#include <cstddef>

namespace tellvane {

// The newest frames of the bus trace. Every frame keeps its sequence number
// (the count of frames recorded before it), so that views and searches can
// tell a frame that fell out of the ring from one that is still there.
class TraceRing {
public:
    static constexpr std::size_t kDefaultCapacity = 1'000'000;

    explicit TraceRing(std::size_t capacity = kDefaultCapacity) : m_frames(capacity) {}

    // Keeps the newest frames that fit; views rebuild() after it.
    void setCapacity(std::size_t capacity) { m_frames.setCapacity(capacity); }
    std::size_t capacity() const { return m_frames.capacity(); }

    void append(const TraceFrame& frame) { m_frames.push(frame); }
    void clear() { m_frames.clear(); }

    std::size_t size() const { return m_frames.size(); }
    std::uint64_t firstSequence() const { return m_frames.firstSequence(); }
    std::uint64_t endSequence() const { return m_frames.endSequence(); }
    bool holds(std::uint64_t seq) const { return m_frames.holds(seq); }
    const TraceFrame& bySequence(std::uint64_t seq) const { return m_frames.bySequence(seq); }

    std::size_t bytesReserved() const { return m_frames.bytesReserved(); }

private:
    RingBuffer<TraceFrame> m_frames;
};

}  // namespace tellvane
