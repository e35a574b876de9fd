#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace tellvane::display {

// A number through a display pattern, the conventional numeric picture:
//   0      a digit, or 0 where the number has none     "000"      7 -> "007"
//   #      a digit, or nothing                          "#.##"   1.5 -> "1.5"
//   .      the decimal point (always shown)             "0.00"  10   -> "10.00"
//   ,      thousands grouping in the whole part         "#,##0" 12345 -> "12,345"
//   %      the number times 100, and a percent sign     "0%"   0.25 -> "25%"
//   E+0 E-0  scientific notation                        "0.00E+00" 123.456 -> "1.23E+02"
//   "text" and \c  literal text; other characters stand for themselves
//   ;      sections: positive;negative;zero
// The decimal point and the grouping follow the user's locale. A pattern the
// formatter cannot handle (an open quote, a trailing backslash, two decimal
// points in a section, an exponent without digits, more than four sections)
// gives no text.
std::optional<QString> formatPattern(double value, const QString& pattern);

// A pattern read once and used for every value of a box. The empty pattern
// gives the plain decimal form.
class DisplayPattern {
public:
    static std::optional<DisplayPattern> compile(const QString& pattern);
    QString format(double value) const;

private:
    struct Compiled;
    std::shared_ptr<const Compiled> m_compiled;
};

// The plain decimal form: up to 15 significant digits, no grouping
// (10.0000001490116, -40, 1E+16).
QString plainDecimal(double value);

// The number hexText writes for a value: rounded half-even, a negative one as
// two's complement over 16 bits (from -32768) or 32 bits; none below
// -2147483648 or above 4294967295.
std::optional<std::uint32_t> hexNumber(double value);

// Upper-case hexadecimal of hexNumber, without prefix or leading zeros.
// Throws Failure(Overflow) where there is none.
QString hexText(double value);

}  // namespace tellvane::display
