// Numbers are read leniently from configuration files, settings and log lines,
// all of them text the user can edit: any text must give a number or the
// Overflow failure, never a crash or a value the callers cannot use.

#include "FuzzSupport.h"

#include "core/Failure.h"
#include "core/Numbers.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

using namespace tellvane;

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u <= u'9')
        return u - u'0';
    return (u | 0x20) - u'a' + 10;
}

std::optional<double> readNumber(QStringView text)
{
    try {
        const double v = leadingNumber(text);
        // A magnitude beyond a double is the Overflow failure, not infinity.
        FUZZ_CHECK(std::isfinite(v));
        return v;
    } catch (const Failure& f) {
        FUZZ_CHECK(f.code() == FailureCode::Overflow);
        return std::nullopt;
    }
}

// Round half to even, or the Overflow failure out of range.
template <typename Int, typename Convert>
void checkRounding(double value, Convert convert)
{
    const double low = std::numeric_limits<Int>::min();
    const double high = std::numeric_limits<Int>::max();
    const double floorValue = std::floor(value);
    const double diff = value - floorValue;
    double expected = diff < 0.5 ? floorValue : floorValue + 1.0;
    if (diff == 0.5 && std::fmod(floorValue, 2.0) == 0.0)
        expected = floorValue;
    const bool inRange = expected >= low && expected <= high;
    try {
        const Int r = convert(value);
        FUZZ_CHECK(inRange);
        FUZZ_CHECK(static_cast<double>(r) == expected);
    } catch (const Failure& f) {
        FUZZ_CHECK(f.code() == FailureCode::Overflow);
        FUZZ_CHECK(!inRange);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const std::optional<double> value = readNumber(text);
    if (value) {
        checkRounding<std::int16_t>(*value, [](double v) { return toInt16(v); });
        checkRounding<std::int32_t>(*value, [](double v) { return toInt32(v); });
        checkRounding<std::uint8_t>(*value, [](double v) { return toByte(v); });
    }

    // Blanks anywhere are ignored: one more in the middle changes nothing.
    QString spaced = text;
    spaced.insert(text.size() / 2, QLatin1Char(' '));
    const std::optional<double> spacedValue = readNumber(spaced);
    FUZZ_CHECK(value.has_value() == spacedValue.has_value());
    if (value)
        FUZZ_CHECK(*value == *spacedValue);

    // "&H" and up to eight hexadecimal digits: the 32-bit two's-complement value.
    if (text.size() >= 3 && text.size() <= 10 && text.startsWith(QLatin1String("&H"))) {
        bool allHex = true;
        std::uint32_t bits = 0;
        for (QChar c : QStringView(text).mid(2)) {
            allHex = allHex && isHexDigit(c);
            if (allHex)
                bits = (bits << 4) | static_cast<std::uint32_t>(hexValue(c));
        }
        if (allHex)
            FUZZ_CHECK(value && *value == static_cast<double>(static_cast<std::int32_t>(bits)));
    }

    // hexToLong reads at most four digits, so its value always fits 16 bits;
    // four or fewer plain hexadecimal digits give their value.
    const std::int32_t shortHex = hexToLong(text);
    FUZZ_CHECK(shortHex >= 0 && shortHex <= 0xFFFF);
    if (text.size() >= 1 && text.size() <= 4) {
        bool allHex = true;
        std::int32_t expected = 0;
        for (QChar c : text) {
            allHex = allHex && isHexDigit(c);
            if (allHex)
                expected = expected * 16 + hexValue(c);
        }
        if (allHex)
            FUZZ_CHECK(shortHex == expected);
    }

    // leadingHex: the low 32 bits of the leading hexadecimal digits.
    std::uint32_t bits = 0;
    for (QChar c : text) {
        if (!isHexDigit(c))
            break;
        bits = (bits << 4) | static_cast<std::uint32_t>(hexValue(c));
    }
    FUZZ_CHECK(leadingHex(text) == static_cast<std::int32_t>(bits));
    return 0;
}
