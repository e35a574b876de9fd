#include "core/Numbers.h"

#include "core/Failure.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tellvane {

int digitValue(QChar c, int radix)
{
    const char16_t u = c.unicode();
    int v = -1;
    if (u >= u'0' && u <= u'9')
        v = u - u'0';
    else if (u >= u'a' && u <= u'f')
        v = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        v = u - u'A' + 10;
    return v < radix ? v : -1;
}

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Reads "&H..." or "&O..." digits; the text is already free of blanks.
double radixNumber(const std::u16string& s, std::size_t pos, int radix)
{
    std::uint64_t value = 0;
    bool huge = false;
    double asDouble = 0.0;
    for (; pos < s.size(); ++pos) {
        const int d = digitValue(QChar(s[pos]), radix);
        if (d < 0)
            break;
        asDouble = asDouble * radix + d;
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4))
            huge = true;
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
    }
    if (huge || value > 0xFFFFFFFFull) {
        if (!std::isfinite(asDouble))
            throw Failure(FailureCode::Overflow);
        return asDouble;
    }
    if (value > 0x7FFFFFFFull)
        return static_cast<double>(static_cast<std::int64_t>(value) - 0x100000000ll);
    return static_cast<double>(value);
}

}  // namespace

double leadingNumber(QStringView text)
{
    std::u16string s;
    s.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        if (!isBlank(c))
            s.push_back(c.unicode());
    }
    if (s.size() >= 2 && s[0] == u'&') {
        const char16_t kind = s[1];
        if (kind == u'H' || kind == u'h')
            return radixNumber(s, 2, 16);
        if (kind == u'O' || kind == u'o')
            return radixNumber(s, 2, 8);
        return 0.0;
    }

    // Collect the longest prefix of the form [sign] digits [. digits] [exponent].
    std::string number;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    bool mantissaDigits = false;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
        number.push_back(static_cast<char>(s[i++]));
        mantissaDigits = true;
    }
    if (i < s.size() && s[i] == u'.') {
        number.push_back('.');
        ++i;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
            number.push_back(static_cast<char>(s[i++]));
            mantissaDigits = true;
        }
    }
    if (!mantissaDigits)
        return 0.0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent.push_back(static_cast<char>(s[j++]));
        bool expDigits = false;
        while (j < s.size() && s[j] >= u'0' && s[j] <= u'9') {
            exponent.push_back(static_cast<char>(s[j++]));
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }

    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars reports both directions; only a huge magnitude is a failure.
        const auto e = number.find('e');
        const bool tiny = e != std::string::npos && e + 1 < number.size() && number[e + 1] == '-';
        if (!tiny)
            throw Failure(FailureCode::Overflow);
        value = 0.0;
    }
    return negative ? -value : value;
}

namespace {
template <typename Int>
Int roundedTo(double value)
{
    if (std::isnan(value))
        throw Failure(FailureCode::Overflow);
    const double r = std::nearbyint(value);  // default mode: halves to even
    if (r < static_cast<double>(std::numeric_limits<Int>::min())
        || r > static_cast<double>(std::numeric_limits<Int>::max()))
        throw Failure(FailureCode::Overflow);
    return static_cast<Int>(r);
}
}  // namespace

std::int16_t toInt16(double value)
{
    return roundedTo<std::int16_t>(value);
}

std::int32_t toInt32(double value)
{
    return roundedTo<std::int32_t>(value);
}

std::uint8_t toByte(double value)
{
    return roundedTo<std::uint8_t>(value);
}

std::int32_t hexToLong(QStringView text)
{
    const QString upper = text.toString().toUpper();
    const auto n = upper.size();
    if (n < 1 || n > 4)
        return 0;
    std::int32_t place = 1 << (4 * (n - 1));
    std::int32_t sum = 0;
    for (QChar c : upper) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'F')
            sum += (u - 55) * place;
        else if (u >= u'0' && u <= u'9')
            sum += (u - u'0') * place;
        place /= 16;  // 1/16 rounds to 0, so the last digit is the units
    }
    return sum;
}

std::int32_t leadingHex(QStringView text)
{
    std::uint32_t value = 0;
    for (QChar c : text) {
        const int d = digitValue(c, 16);
        if (d < 0)
            break;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace tellvane
