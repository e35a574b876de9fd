#pragma once

#include "logs/TraceFrame.h"

#include <QHash>

#include <array>
#include <cstdint>
#include <vector>

namespace tellvane {

// One row per identifier seen (standard and extended identifiers apart, and
// the bus apart from each replayed log, whose times are of another time
// line), in the order first seen: how often it came, how far apart, how many
// in the last second, and its last data with the bytes that changed since
// the frame before it of that identifier.
class IdentifierStats {
public:
    // The frames a second are those of the last whole second, counted in
    // slices of 100 ms: the ten before the slice before the one now under
    // way, so that a frame drained up to 100 ms after its time is never
    // missed.
    static constexpr std::int64_t kRateSliceUs = 100'000;
    static constexpr int kRateSlices = 12;

    struct Row {
        std::uint32_t id = 0;
        bool extended = true;
        bool sent = false;  // the last frame was the tool's own
        std::uint16_t line = 0;  // the time line: 0 the bus, k the k-th replayed log
        std::uint64_t count = 0;
        std::int64_t firstUs = 0;
        std::int64_t previousUs = 0;
        std::int64_t lastUs = 0;
        std::uint8_t length = 0;
        std::array<std::uint8_t, 8> data{};
        // Bit i set: byte i differs from the previous frame's (or it had none).
        // Nothing is marked for the first frame.
        std::uint8_t changedBytes = 0;
        // Frames in each 100 ms slice of the last second it was seen in.
        std::array<std::uint32_t, kRateSlices> slices{};
        std::int64_t newestSlice = 0;

        // A period is known from the second frame on.
        bool periodKnown() const { return count >= 2; }
        // Milliseconds between the last two frames, and on average; 0 before the second.
        double lastPeriodMs() const { return count < 2 ? 0.0 : (lastUs - previousUs) / 1000.0; }
        double meanPeriodMs() const
        {
            return count < 2 ? 0.0 : (lastUs - firstUs) / 1000.0 / static_cast<double>(count - 1);
        }
        // Since the last frame, at a time of its time line; never below 0.
        double msSinceLast(std::int64_t nowUs) const { return nowUs > lastUs ? (nowUs - lastUs) / 1000.0 : 0.0; }
        // Frames a second at a time of its time line.
        std::uint64_t framesPerSecond(std::int64_t nowUs) const;
    };

    // A new identifier adds a row (and may allocate); a known one does not.
    void add(const TraceFrame& frame);
    void clear();

    const std::vector<Row>& rows() const { return m_rows; }
    // The row of an identifier, -1 when it has not been seen.
    int rowOf(std::uint32_t id, bool extended, std::uint16_t line = 0) const
    {
        return m_index.value(key(id, extended, line), -1);
    }

private:
    static quint64 key(std::uint32_t id, bool extended, std::uint16_t line)
    {
        return id | (extended ? 0x80000000ull : 0ull) | (quint64{line} << 32);
    }

    std::vector<Row> m_rows;
    QHash<quint64, int> m_index;
};

}  // namespace tellvane
