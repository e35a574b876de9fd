#pragma once

#include "trace/TraceFrame.h"

#include <QHash>

#include <cstdint>
#include <vector>

namespace tellvane {

// One row per identifier seen (standard and extended identifiers apart), in
// the order first seen: how often it came, how far apart, and its last data
// with the bytes that changed since the frame before it of that identifier.
class IdentifierStats {
public:
    struct Row {
        std::uint32_t id = 0;
        bool extended = true;
        bool sent = false;  // the last frame was the tool's own
        std::uint64_t count = 0;
        std::int64_t firstUs = 0;
        std::int64_t previousUs = 0;
        std::int64_t lastUs = 0;
        std::uint8_t length = 0;
        std::array<std::uint8_t, 8> data{};
        // Bit i set: byte i differs from the previous frame's (or it had none).
        // Nothing is marked for the first frame.
        std::uint8_t changedBytes = 0;

        // Milliseconds between the last two frames, and on average; 0 before the second.
        double lastPeriodMs() const { return count < 2 ? 0.0 : (lastUs - previousUs) / 1000.0; }
        double meanPeriodMs() const
        {
            return count < 2 ? 0.0 : (lastUs - firstUs) / 1000.0 / static_cast<double>(count - 1);
        }
        double msSinceLast(std::int64_t nowUs) const { return (nowUs - lastUs) / 1000.0; }
    };

    // A new identifier adds a row (and may allocate); a known one does not.
    void add(const TraceFrame& frame);
    void clear();

    const std::vector<Row>& rows() const { return m_rows; }
    // The row of an identifier, -1 when it has not been seen.
    int rowOf(std::uint32_t id, bool extended) const { return m_index.value(key(id, extended), -1); }

private:
    static std::uint32_t key(std::uint32_t id, bool extended) { return id | (extended ? 0x80000000u : 0u); }

    std::vector<Row> m_rows;
    QHash<std::uint32_t, int> m_index;
};

}  // namespace tellvane
