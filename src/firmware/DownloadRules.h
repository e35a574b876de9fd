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

// The shape check of an S-record file: the number of lines, or kEmptyFile,
// kFileNotFound, kCorruptFile, kFileError. A line is bad when it does not
// start with S0, S1, S2, S3, S7, S8 or S9, or when its byte count (characters
// 3 and 4) is not (length / 2) - 2.
int checkS19File(const QString& fileName);
// The same check of what an open device holds (never kFileNotFound).
int checkS19Device(QIODevice& device);

}  // namespace tellvane::firmware
