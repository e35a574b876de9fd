#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

class QIODevice;

namespace tellvane::firmware {

// Result codes of the download dialogue; the transport's -104, -105 and -107
// pass through unchanged.
inline constexpr std::int16_t kSuccess = 1;
inline constexpr std::int16_t kEmptyFile = -100;
inline constexpr std::int16_t kFileNotFound = -101;
inline constexpr std::int16_t kCorruptFile = -102;
inline constexpr std::int16_t kFileError = -103;
inline constexpr std::int16_t kNoResponse = -104;
inline constexpr std::int16_t kAckTimeout = -105;
inline constexpr std::int16_t kUnexpectedMessage = -106;
inline constexpr std::int16_t kWrongFile = -108;
inline constexpr std::int16_t kNoDataAfterZ = -109;
inline constexpr std::int16_t kNoAckForZ = -110;
inline constexpr std::int16_t kNoPasswordPrompt = -111;
inline constexpr std::int16_t kPasswordRefused = -112;
inline constexpr std::int16_t kNotErased = -113;
inline constexpr std::int16_t kNoDataAfterM = -114;
inline constexpr std::int16_t kNoAckForM = -115;
inline constexpr std::int16_t kNotMigrated = -116;
// The downloader was closed while a stage ran (the board started again).
inline constexpr std::int16_t kClosed = -120;


// The message a result shows; some end in the board's reply.
QString resultMessage(std::int16_t code, const QString& reply);

// The memory area an information line names: "0" boot, "1" system,
// "2" program code, "3" configuration; empty when none. "Boot:" is tested
// first, then "Sys:", "pCode:" and "Config:".
QString areaOfLine(const QString& line);

// The file dialog's filter for an area (files of either letter case);
// empty for an unknown area.
QString fileFilterForArea(const QString& areaId);

// The password in a "Board:" line: from after the first colon to the first
// space at least two characters after it, trimmed; without such a space, to
// the end of the line.
QString passwordFromBoardLine(const QString& line);

// The information reply cut into lines at CR (an LF after a CR is dropped):
// the non-empty lines, and what follows the last CR.
struct ReplyLines {
    QStringList lines;
    QString rest;
};
ReplyLines replyLines(const QString& reply);

// The longest line an S-record can be: "S", its type, then 255 bytes (the
// most its byte count can say, the count itself first) as hex digits.
inline constexpr qsizetype kMaxS19LineChars = 4 + 2 * 255;

// The check of an S-record file before anything is sent: the number of
// lines, or kEmptyFile, kFileNotFound, kCorruptFile, kFileError. A line is
// bad unless it is a record of type S0, S1, S2, S3, S7, S8 or S9 made of hex
// digits, whose byte count (characters 3 and 4) is (length / 2) - 2 and
// covers the type's address (2 bytes for S0, S1, S9; 3 for S2, S8; 4 for S3,
// S7) and the checksum, and whose checksum is right; an end record (S7, S8,
// S9) holds its address only. A line longer than kMaxS19LineChars is bad as
// soon as that much of it is read. The check ends at the first bad line;
// badLine, when given, gets its number (from 1), or 0 when there is none.
int checkS19File(const QString& fileName, int* badLine = nullptr);
// The same check of what an open device holds (never kFileNotFound).
int checkS19Device(QIODevice& device, int* badLine = nullptr);
// One line as the check sees it.
bool isS19Record(const QByteArray& line);

// The check's result as a command line or a plan shows it: the message,
// and for a corrupt file the line at fault.
QString fileCheckMessage(int code, int badLine);

}  // namespace tellvane::firmware
