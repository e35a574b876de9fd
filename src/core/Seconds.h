#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tellvane {

// "12", "12.5", "1700000000.123456", "1e-06", "0.0" as whole microseconds,
// rounded half up; none for anything else, a sign, or more than a few
// hundred thousand years.
std::optional<std::int64_t> secondsToUs(std::string_view text);
// The seconds at p as candump, python-can and the writers here give them, a
// quicker way for the common case: one to twelve whole digits, maybe a point
// and up to six decimals, which count exactly. Where the reading stopped
// (p itself when no digit came first), the microseconds in us. Inline: the
// readers call it on every line.
inline const char* readPlainSeconds(const char* p, const char* end, std::int64_t& us)
{
    auto digits = [&](std::ptrdiff_t most, std::int64_t& value) {
        const char* const limit = end - p > most ? p + most : end;
        for (; p != limit && static_cast<unsigned char>(*p - '0') < 10; ++p)
            value = value * 10 + (*p - '0');
    };
    const char* const start = p;
    std::int64_t whole = 0;
    digits(12, whole);
    if (p == start)
        return p;
    std::int64_t fraction = 0;
    if (p != end && *p == '.') {
        const char* const decimals = ++p;
        digits(6, fraction);
        for (std::ptrdiff_t i = p - decimals; i < 6; ++i)
            fraction *= 10;
    }
    us = whole * 1'000'000 + fraction;
    return p;
}

}  // namespace tellvane
