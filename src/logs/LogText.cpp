#include "logs/LogText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace tellvane::logtext {

namespace {
using detail::kDigitPairs;
}  // namespace

void appendDecimal(LineText& out, std::int64_t value)
{
    const auto result = std::to_chars(out.text + out.size, out.text + sizeof out.text, value);
    out.size = static_cast<int>(result.ptr - out.text);
}

void appendSeconds(LineText& out, std::int64_t us, int width)
{
    // Built from its end: two decimals a step, then the whole seconds.
    char text[32];
    char* p = text + sizeof text;
    const bool negative = us < 0;
    if (negative)
        us = us == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max() : -us;
    std::int64_t whole = us / 1000000;
    std::int64_t fraction = us % 1000000;
    for (int i = 0; i < 3; ++i, fraction /= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs.data() + 2 * (fraction % 100), 2);
    }
    *--p = '.';
    for (; whole >= 100; whole /= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs.data() + 2 * (whole % 100), 2);
    }
    if (whole >= 10) {
        p -= 2;
        std::memcpy(p, kDigitPairs.data() + 2 * whole, 2);
    } else {
        *--p = static_cast<char>('0' + whole);
    }
    if (negative)
        *--p = '-';
    const int size = static_cast<int>(text + sizeof text - p);
    out.pad(width - size);
    out.put(p, size);
}

QString secondsText(std::int64_t us)
{
    LineText text;
    appendSeconds(text, us);
    return QString::fromLatin1(text.text, text.size) + QStringLiteral(" s");
}

}  // namespace tellvane::logtext
