// Display patterns come from configuration files: any text must either be
// refused or format any value without a crash; a refused pattern is refused
// the same way every time.

#include "FuzzSupport.h"

#include "diagnostics/DisplayFormat.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

using namespace tellvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    double value = 123.456;
    if (size >= sizeof(double)) {
        std::memcpy(&value, data, sizeof(double));
        data += sizeof(double);
        size -= sizeof(double);
    }
    if (!std::isfinite(value) || std::fabs(value) > 1e30)
        value = 123.456;  // scaled values stay far below this
    const QString pattern = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto compiled = display::DisplayPattern::compile(pattern);
    FUZZ_CHECK(compiled.has_value() == display::formatPattern(123.456, pattern).has_value());
    if (compiled) {
        for (double v : {value, -value, 0.0, 0.5, -0.5, 1e15, 2147483648.0})
            (void)compiled->format(v);
    }
    (void)display::plainDecimal(value);
    return 0;
}
