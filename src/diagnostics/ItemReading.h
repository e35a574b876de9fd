#pragma once

#include <QString>

#include <cstdint>

namespace tellvane::config {

// The ways a configuration item is read.
//   number   "3600 twips" -> 3600, "abc" -> 0 (the leading number, never fails)
//   byte     a number rounded half-even into 0..255; "300", "-1" fail with Overflow
//   whole    the whole item must be a number ("18", " 18 ", "&H12", "1e2");
//            "18a", "", "abc" fail with TypeMismatch, beyond 32 bits with Overflow
//   strict   the whole item a number, fractions kept: "12.5" -> 12.5, "x" fails
double readNumber(const QString& item);
std::uint8_t readByte(const QString& item);
std::int32_t readWholeStrict(const QString& item);
double readStrictNumber(const QString& item);

// A colour: a two-letter code (LG DG LY DY LR DR LE DE BL WH, any case) or a
// number taken as a 32-bit 0x00BBGGRR value ("XX" gives 0, black).
std::int32_t colourFromCode(const QString& code);

}  // namespace tellvane::config
