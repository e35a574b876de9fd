#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tellvane {

// The time line a plot or a recording follows: the line of the first value it
// takes, the bus's or a played log's. Their times have nothing to do with one
// another, so the values of any other line are counted and left out.
class TimeLine {
public:
    // Whether a value of this line is taken; the first one sets the line.
    bool take(std::uint16_t line)
    {
        if (!m_line)
            m_line = line;
        if (*m_line == line)
            return true;
        ++(line == 0 ? m_leftOutFromBus : m_leftOutFromLogs);
        return false;
    }
    std::optional<std::uint16_t> followed() const { return m_line; }
    std::uint64_t leftOut() const { return m_leftOutFromBus + m_leftOutFromLogs; }
    // "3 values of a played log left out", "1 value from the bus left out";
    // empty while none is.
    QString leftOutText() const;
    // "the bus", "a played log".
    QString followedText() const;

private:
    std::optional<std::uint16_t> m_line;
    std::uint64_t m_leftOutFromBus = 0;
    std::uint64_t m_leftOutFromLogs = 0;
};

}  // namespace tellvane
