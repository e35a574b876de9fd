#pragma once

#include <cstdint>

namespace tellvane {

struct IndicatorInfo;

// How a plotted or recorded value comes from the raw number of an indicator,
// as its screen shows it: a lamp 1 for a raw number other than 0, else 0; a
// value box shown in hexadecimal the number its text shows (the screen's own
// arithmetic, in the 32-bit M and B, through decode::hexShown); any other
// value raw x M + B with M and B as the decimals the file wrote (decimalOf),
// so that it leaves with the digits the author wrote.
class ValueScale {
public:
    enum class Kind : std::uint8_t { Linear, Lamp, Hex };

    ValueScale() = default;
    ValueScale(Kind kind, float m, float b);
    static ValueScale of(const IndicatorInfo& indicator);
    // raw x m + b, or a lamp, with m and b as given (a database signal's factor and offset).
    static ValueScale exact(Kind kind, double m, double b);

    Kind kind() const { return m_kind; }
    // Not a number where the screen shows none.
    double valueOf(double raw) const;
    bool operator==(const ValueScale&) const = default;

private:
    Kind m_kind = Kind::Linear;
    float m_fileM = 1.0f;  // as the screen holds them
    float m_fileB = 0.0f;
    double m_m = 1.0;  // as the file wrote them
    double m_b = 0.0;
};

}  // namespace tellvane
