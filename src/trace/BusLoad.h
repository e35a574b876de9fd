#pragma once

#include "logs/TraceFrame.h"

#include <array>
#include <cstdint>

namespace tellvane {

// Frames a second and the load of the bus over the last second, from the
// length each frame takes on the wire (stuff bits counted). The second is kept
// as 100 slices of 10 ms that slide with the time of the frames and with the
// clock (advanceTo(), so a silent bus comes down to 0), so the figures cost
// the same at any rate and never allocate. A frame earlier than the newest
// counts in its own slice while that is within the second, and not at all
// once it is older; however the frames come, the load shown never passes
// what the bit rate carries. Errors (error frames, and the controller's
// error states as they come up) and overflows are counted as they are
// reported.
class BusLoad {
public:
    static constexpr int kBitRate = 250'000;
    static constexpr std::int64_t kSliceUs = 10'000;
    static constexpr int kSlices = 100;

    void add(const TraceFrame& frame);
    // A frame of `bits` on the wire that ended at timeUs.
    void addBits(std::int64_t timeUs, int bits);
    // Lets the second slide on when nothing arrives. Time never goes back:
    // an earlier time counts as the latest.
    void advanceTo(std::int64_t nowUs);

    int framesPerSecond() const { return m_frames; }
    // At most the bit rate.
    std::int64_t bitsPerSecond() const { return m_bits < kBitRate ? m_bits : kBitRate; }
    double loadPercent() const { return 100.0 * static_cast<double>(bitsPerSecond()) / kBitRate; }

    void noteError() { ++m_errors; }
    void noteOverflow() { ++m_overflows; }
    std::uint64_t errors() const { return m_errors; }
    std::uint64_t overflows() const { return m_overflows; }

    void clear() { *this = BusLoad(); }

private:
    struct Slice {
        int frames = 0;
        std::int64_t bits = 0;
    };
    std::array<Slice, kSlices> m_slices{};
    std::int64_t m_slice = 0;  // the newest slice's number (time / kSliceUs)
    bool m_started = false;
    int m_frames = 0;
    std::int64_t m_bits = 0;
    std::uint64_t m_errors = 0;
    std::uint64_t m_overflows = 0;
};

}  // namespace tellvane
