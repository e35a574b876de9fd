#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace tellvane {

// Reads the leading number of a text the lenient way the configuration files,
// settings and log lines rely on:
//   "  12.5 V"  -> 12.5      blanks, tabs and line feeds anywhere are ignored
//   "1 000"     -> 1000
//   "-3e2"      -> -300      exponent with E (or D)
//   "&HFF"      -> 255       hexadecimal; "&O17" -> 15 octal
//   "&HFFFFFFFF"-> -1        eight hex digits wrap to a signed 32-bit value
//   "abc", ""   -> 0         no leading number reads as 0
// A magnitude beyond a double throws Failure(Overflow).
double leadingNumber(QStringView text);

// The value of a digit in a radix up to 16 ('7' -> 7, 'f' and 'F' -> 15); -1 for
// anything else, the digits of a larger radix included.
int digitValue(QChar c, int radix);

// Round-half-even conversions ("2.5" -> 2, "3.5" -> 4). Out of range, or not a
// number, throws Failure(Overflow).
std::int16_t toInt16(double value);
std::int32_t toInt32(double value);
std::uint8_t toByte(double value);

// Shorthands: leading number, then the rounding conversion.
inline std::int16_t textToInt16(QStringView text) { return toInt16(leadingNumber(text)); }
inline std::int32_t textToInt32(QStringView text) { return toInt32(leadingNumber(text)); }

// Value of a hexadecimal text of one to four digits ("1f" -> 31, "FFFF" -> 65535);
// any other length gives 0. A character that is not a hexadecimal digit adds nothing
// unless it is a decimal digit.
std::int32_t hexToLong(QStringView text);

// Value of the leading hexadecimal digits of a text ("1A*" -> 26, "zz" -> 0), taken
// as a 32-bit two's-complement value; used to read identifiers and data bytes
// back from log lines.
std::int32_t leadingHex(QStringView text);

}  // namespace tellvane
