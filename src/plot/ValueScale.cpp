#include "plot/ValueScale.h"

#include "diagnostics/IndicatorInfo.h"
#include "diagnostics/Indicators.h"

#include <limits>

namespace tellvane {

ValueScale::ValueScale(Kind kind, float m, float b)
    : m_kind(kind), m_fileM(m), m_fileB(b), m_m(decimalOf(m)), m_b(decimalOf(b))
{
}

ValueScale ValueScale::of(const IndicatorInfo& indicator)
{
    const Kind kind = indicator.kind == IndicatorKind::Lamp ? Kind::Lamp
                      : indicator.hexDisplay                ? Kind::Hex
                                                            : Kind::Linear;
    return {kind, indicator.m, indicator.b};
}

ValueScale ValueScale::exact(Kind kind, double m, double b)
{
    ValueScale scale(kind, static_cast<float>(m), static_cast<float>(b));
    scale.m_m = m;
    scale.m_b = b;
    return scale;
}

double ValueScale::valueOf(double raw) const
{
    switch (m_kind) {
    case Kind::Lamp:
        return raw != 0.0 ? 1.0 : 0.0;
    case Kind::Hex: {
        bool tooLarge = false;
        const auto shown = decode::hexShown(decode::scaled(raw, m_fileM, m_fileB), tooLarge);
        return shown ? static_cast<double>(*shown) : std::numeric_limits<double>::quiet_NaN();
    }
    case Kind::Linear:
        break;
    }
    return raw * m_m + m_b;
}

}  // namespace tellvane
