#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The numbers and area words that flash plans and tellvane-cli's options read
// alike, kept below both so a plan is read without the command line.
namespace tellvane::firmware {

// The range of a number as read; a board's bus address is one.
struct NumberRange {
    qint64 min;
    qint64 max;
};
// Bus addresses a board can be flashed at; 254 marks boards in address conflict.
inline constexpr NumberRange kBoardAddressRange{0, 253};
inline constexpr qint64 kConflictAddress = 254;

// A whole number exactly as typed: decimal digits ("033" is 33, never octal),
// or "0x" / "0X" and hexadecimal digits. No sign, no blanks, no fraction.
// None when the text is anything else or the value lies outside the range.
std::optional<qint64> wholeNumber(QStringView text, NumberRange range);

// The memory area a word of --area names: "0" to "3", or "boot", "sys",
// "pcode", "config" in any letter case (ASCII only), as the area IDs "0" to
// "3"; empty for anything else.
QString areaIdOfWord(QStringView word);
// The message for a word that names no area.
QString areaWordError(const QString& word);
// The keyword of an area's information line ("Boot:", ... "Config:"); empty
// for an unknown ID.
QString areaKeyword(const QString& areaId);

// The row of the board's information lines that holds the area: the first
// line whose area (firmware::areaOfLine) is that ID; -1 when none is.
int areaLine(const QStringList& info, const QString& areaId);

}  // namespace tellvane::firmware
