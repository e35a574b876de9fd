#pragma once

#include "can/CanMessage.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace tellvane {

// The one text form of a CAN message: 45 characters, fields separated by single
// spaces, written to the monitor list and to log files and read back from them.
//
//   01.500000 00000123 3 41 20 7E                ("01.500000" time in seconds,
//   ^time     ^id      ^length, then 8 byte slots of "XX " or "   ")
//   00.000000 00000000 0                         (a probe: no data)
//   00.000000 98EF21F9 1 05                      (a sent message: time 0, id as sent)
//   134.20000 18EFFF21 8 10 00 12 34 00 00 00 01 (from 100 s on, five decimals keep 45)
//
// Positions (1-based): time 1-9, identifier 11-18, length 20, byte i at 22+3i.
// In a log file each line ends in CR LF, so every record takes 47 bytes.
namespace messageline {
inline constexpr int kLength = 45;
inline constexpr int kRecordBytes = 47;
inline constexpr int kLengthColumn = 20;  // 1-based
}  // namespace messageline

// The decimal separator of the time field: the user's locale's, when it is a
// single ASCII character (so that records stay 47 bytes), else ".".
QChar timeDecimalSeparator();

// Throws Failure(SubscriptOutOfRange) for a data length above 8.
QString formatMessageLine(const CanMessage& message, QChar decimalSeparator = QLatin1Char('.'));
// The time field alone (nine characters for times below 10,000,000 s).
QString formatTimeField(double seconds, QChar decimalSeparator = QLatin1Char('.'));
// The same characters into out, which has room for kTimeFieldRoom; how many
// were written, and in decimalsKept (when given) how many decimals they hold.
inline constexpr int kTimeFieldRoom = 24;
int writeTimeField(char* out, double seconds, char decimalSeparator = '.', int* decimalsKept = nullptr);

// The data bytes as characters: 32 to 126 as themselves, anything else "*".
QString asciiText(const CanMessage& message);

// A list item of the live monitor: the line, five spaces, the ASCII text.
QString monitorListItem(const QString& line, const QString& ascii);

enum class LineParse {
    Empty,                // nothing to do
    WrongLength,          // fewer than 20 characters
    IncorrectDataLength,  // the length column promises more bytes than the line holds
    Message,
};

struct ParsedLine {
    LineParse status = LineParse::Empty;
    CanMessage message;  // time 0; the line's time stamp is not read back
};

// Reads a message line (or a log record) back. The length column reads as its
// digit, anything else as 0; the identifier and bytes as their leading hex digits.
ParsedLine parseMessageLine(QStringView line);

// A line of a log file taken as a message line the strict way a conversion
// takes it: laid out as the monitor writes it, field by field, and then read
// as parseMessageLine() reads it. problem says in words what keeps it from
// being a message line (one as long as a record of LogReader is cut to, too);
// empty when it is one.
struct CheckedLine {
    ParsedLine parsed;
    std::int64_t timeUs = 0;  // the time field's
    QString problem;
};
CheckedLine checkMessageLine(QStringView line);

// The time field of a line in seconds: digits with at most one "." or ","
// before the first space ("01.500000" 1.5, "134,20000" 134.2). None for a
// line whose first word is anything else.
std::optional<double> messageLineTime(QStringView line);

}  // namespace tellvane
