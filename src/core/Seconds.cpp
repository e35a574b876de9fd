#include "core/Seconds.h"

#include <cstddef>

namespace tellvane {

namespace {
// A hundred thousand years of microseconds, far within an int64.
constexpr std::uint64_t kMaxUs = 3'155'760'000'000'000'000ull;

std::uint64_t powerOfTen(int n)
{
    std::uint64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}
}  // namespace

std::optional<std::int64_t> secondsToUs(std::string_view text)
{
    const char* const end = text.data() + text.size();
    std::int64_t plain = 0;
    if (const char* stop = readPlainSeconds(text.data(), end, plain); stop == end && stop != text.data())
        return plain;
    std::uint64_t mantissa = 0;
    int significant = 0;
    int exponent = 0;  // of the mantissa's last digit
    int digits = 0;
    std::size_t i = 0;
    auto takeDigits = [&](bool fraction) {
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
            if (significant < 18) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[i] - '0');
                significant += mantissa != 0;
                exponent -= fraction;
            } else if (!fraction) {
                ++exponent;  // a digit beyond what can count
            }
        }
    };
    takeDigits(false);
    if (i < text.size() && text[i] == '.') {
        ++i;
        takeDigits(true);
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        int value = 0;
        int expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && expDigits < 4; ++i, ++expDigits)
            value = value * 10 + (text[i] - '0');
        if (expDigits == 0)
            return std::nullopt;
        exponent += negative ? -value : value;
    }
    if (i != text.size())
        return std::nullopt;
    const int shift = exponent + 6;
    if (mantissa == 0)
        return 0;
    if (shift >= 0) {
        if (shift > 19 || mantissa > kMaxUs / powerOfTen(shift))
            return std::nullopt;
        return static_cast<std::int64_t>(mantissa * powerOfTen(shift));
    }
    if (-shift > 19)
        return 0;
    const std::uint64_t divisor = powerOfTen(-shift);
    const std::uint64_t whole = mantissa / divisor;
    const std::uint64_t rest = mantissa % divisor;
    return static_cast<std::int64_t>(whole + (rest >= divisor - rest ? 1 : 0));
}

}  // namespace tellvane
