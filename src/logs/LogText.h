#pragma once

// What the log formats share underneath: numbers read and written on bytes
// (no QString per line: a million lines a second is the pace).

#include "core/Seconds.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace tellvane::logtext {

// The seconds read on bytes, here with the rest.
using tellvane::readPlainSeconds;
using tellvane::secondsToUs;

// The hex digit's value, or -1. A table: the readers look at every digit of
// every line.
inline int hexDigit(char c);
// All of the text as hexadecimal digits; none when empty, longer than 8 or not hex.
inline std::optional<std::uint32_t> hexNumber(std::string_view text);
inline std::optional<std::uint32_t> decimalNumber(std::string_view text);

// What stands between words: blanks and tabs.
inline bool isBlank(char c);
// Splits off the next word.
inline std::string_view nextWord(std::string_view& rest);

// One line being written, on the stack: the writers append it to their
// buffer whole, one copy a line.
struct LineText {
    char text[256];
    int size = 0;
    void put(char c) { text[size++] = c; }
    void put(const char* chars, int count)
    {
        std::memcpy(text + size, chars, static_cast<std::size_t>(count));
        size += count;
    }
    void pad(int count, char c = ' ')
    {
        while (count-- > 0)
            text[size++] = c;
    }
    void appendTo(QByteArray& out) const { out.append(text, size); }
};

// "1700000000.123456": whole seconds, six decimals; with blanks before it up
// to `width` characters.
void appendSeconds(LineText& out, std::int64_t us, int width = 0);
inline void appendHexByte(LineText& out, std::uint8_t byte);
// 0 to 99 as two digits.
inline void appendTwoDigits(LineText& out, int value);
// Upper-case hex, at least `width` digits.
inline void appendHex(LineText& out, std::uint32_t value, int width);
void appendDecimal(LineText& out, std::int64_t value);

QString secondsText(std::int64_t us);

// Inline, as they are called a few times a line.

namespace detail {
inline constexpr std::array<std::int8_t, 256> kHexValues = [] {
    std::array<std::int8_t, 256> values{};
    for (int c = 0; c < 256; ++c) {
        values[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c >= '0' && c <= '9'   ? c - '0'
                                                                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                                                : -1);
    }
    return values;
}();
inline constexpr char kHexDigits[] = "0123456789ABCDEF";
// "00" to "99": the numbers written two digits a step.
inline constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();
}  // namespace detail

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

inline int hexDigit(char c) { return detail::kHexValues[static_cast<unsigned char>(c)]; }

inline std::optional<std::uint32_t> hexNumber(std::string_view text)
{
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return value;
}

inline std::optional<std::uint32_t> decimalNumber(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

inline std::string_view nextWord(std::string_view& rest)
{
    const char* p = rest.data();
    const char* const end = p + rest.size();
    while (p != end && isBlank(*p))
        ++p;
    const char* const start = p;
    while (p != end && !isBlank(*p))
        ++p;
    rest = std::string_view(p, static_cast<std::size_t>(end - p));
    return std::string_view(start, static_cast<std::size_t>(p - start));
}

inline void appendHexByte(LineText& out, std::uint8_t byte)
{
    out.text[out.size] = detail::kHexDigits[byte >> 4];
    out.text[out.size + 1] = detail::kHexDigits[byte & 0x0F];
    out.size += 2;
}

inline void appendTwoDigits(LineText& out, int value)
{
    std::memcpy(out.text + out.size, detail::kDigitPairs.data() + 2 * value, 2);
    out.size += 2;
}

inline void appendHex(LineText& out, std::uint32_t value, int width)
{
    int n = 1;
    while (n < 8 && (value >> (4 * n)) != 0)
        ++n;
    if (n < width)
        n = width < 8 ? width : 8;
    for (int i = n - 1; i >= 0; --i, value >>= 4)
        out.text[out.size + i] = detail::kHexDigits[value & 0x0F];
    out.size += n;
}

}  // namespace tellvane::logtext
