#pragma once

#include "core/OutputFile.h"
#include "logs/TraceFrame.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tellvane {

// Logs of frames that other CAN tools read and write too, chosen by the file's
// extension:
//
//   .txt  the tool's own message lines, 47-byte records (48-byte ones of old
//         logs read too); identifiers are always 29-bit, bit 31 marks a sent
//         frame, a time of 0 means "no time" (sent and replayed lines); the
//         times are the adapter's, which start again every 134.217728 s, and
//         are read on across those restarts
//   .log  candump's log lines: (1700000000.123456) can0 18FEF121#0102...
//         times are kept as written (epoch or not); " T" after a frame marks
//         it sent, " R" received
//   .asc  Vector ASC: a header, then frame lines with times since the first
//         frame (or since the event before, in a log of relative times),
//         "Rx" or "Tx", "d" data or "r" remote
//   .csv  timestamp,arbitration_id,extended,remote,error,dlc,data (the data
//         in base64) with that header row; no direction
//
// Reading goes line by line and never holds a file whole. A line that is no
// frame is skipped with a warning naming its line; a time before the one of
// the frame before it is raised to that time, also with a warning.
// An error frame's identifier holds its error class bits as candump logs them;
// formats that log no class give this one, the bus error.
inline constexpr std::uint32_t kBusErrorClass = 0x80;

enum class TraceLogFormat { Unknown, MessageLines, Candump, Asc, Csv };

// By the extension, in any letter case; Unknown for any other.
TraceLogFormat traceLogFormatOf(const QString& fileName);

struct TraceLogWarning {
    std::int64_t line = 0;  // 1-based; 0: about the whole output of a conversion
    QString text;
};

class TraceLogReader {
public:
    // A line longer than this is no frame of any of the formats; it is
    // skipped without being kept.
    static constexpr qsizetype kMaxLineBytes = 4096;
    // Warnings not yet taken beyond this are only counted.
    static constexpr std::size_t kMaxPendingWarnings = 1000;

    virtual ~TraceLogReader() = default;

    // False, with errorString(), when the file cannot be opened.
    virtual bool open(const QString& fileName) = 0;
    // The next frame; false at the end of the file or when it cannot be read
    // on (then errorString() is set).
    virtual bool next(TraceFrame& frame) = 0;

    // How many bytes of the file one next() may read: with them read and no
    // frame found, it gives false with paused() set, and goes on when called
    // again (a window's turn stays short over a stretch of no frames). 0: no bound.
    void setReadSlice(qint64 bytes) { m_readSlice = bytes; }
    bool paused() const { return m_paused; }

    QString errorString() const { return m_error; }
    // The line of the frame next() gave last.
    std::int64_t lineNumber() const { return m_line; }
    std::int64_t goodLines() const { return m_good; }
    std::int64_t badLines() const { return m_bad; }
    // The warnings since the last call, oldest first.
    std::vector<TraceLogWarning> takeWarnings();
    std::int64_t droppedWarnings() const { return m_dropped; }

    // Asked before each megabyte of the file is read, also while lines that
    // are no frame go by: false ends the reading there, as at the end of the
    // file. For a command that says how far it is and stops at Ctrl+C.
    void setCheck(std::function<bool()> check) { m_check = std::move(check); }
    // The bytes of the file read so far.
    virtual std::int64_t bytesRead() const { return 0; }

protected:
    std::function<bool()> m_check;
    void warn(std::int64_t line, const QString& text);
    // A line that is no frame: counted, and warned about.
    void skipLine(std::int64_t line, const QString& why);
    // A frame read from a line: counted, and its time kept from going back.
    void acceptFrame(std::int64_t line, TraceFrame& frame);
    void reset();

    QString m_error;
    std::int64_t m_line = 0;
    qint64 m_readSlice = 0;
    bool m_paused = false;

private:
    std::int64_t m_good = 0;
    std::int64_t m_bad = 0;
    std::int64_t m_dropped = 0;
    std::int64_t m_lastTimeUs = 0;
    bool m_anyFrame = false;
    std::vector<TraceLogWarning> m_warnings;
};

class TraceLogWriter {
public:
    virtual ~TraceLogWriter() = default;

    // Writes the file beside its place; close() puts it there, complete.
    // False, with errorString(), when it cannot be made.
    bool open(const QString& fileName);
    // An open file descriptor instead (the standard output of a command),
    // left open by close().
    bool openDescriptor(int descriptor);
    // Why the format cannot hold the frame; empty when it can.
    virtual QString refusal(const TraceFrame& frame) const;
    // What the format changed in the frames written so far, one line a kind
    // of change with how often (said once for the whole file, not a frame).
    virtual QStringList notes() const { return {}; }
    // The wall-clock date and time of time 0, for a format that writes a
    // date (ASC): the frames' times are then written as given, from there.
    // Without it such a log counts from its first frame and dates itself by
    // that frame's time. Before the first write.
    virtual void setRecordingStart(const QDateTime&) {}
    // Appends a frame the format can hold. False when the file cannot take it.
    bool write(const TraceFrame& frame);
    // Ends the log (a footer where the format has one) and closes the file.
    bool close();
    // Drops the file being written: one that was there before stays.
    void cancel();
    QString errorString() const { return m_file.failure(); }
    // Writes what is buffered now (a console wants each poll's lines at once).
    bool flush();

protected:
    virtual void begin(QByteArray& out, const TraceFrame* first) = 0;  // null: a log without frames
    virtual void append(QByteArray& out, const TraceFrame& frame) = 0;
    virtual void end(QByteArray&) {}

private:
    OutputFile m_file;
    QByteArray m_buffer;
    bool m_begun = false;
};

std::unique_ptr<TraceLogReader> makeTraceLogReader(TraceLogFormat format);
std::unique_ptr<TraceLogWriter> makeTraceLogWriter(TraceLogFormat format);

struct ConvertResult {
    QString error;  // why nothing or not all was converted (a file that cannot be opened or written)
    std::int64_t frames = 0;   // written
    std::int64_t skipped = 0;  // lines that were no frame, and frames the output cannot hold
    std::int64_t warnings = 0;
    std::int64_t unnamedWarnings = 0;  // of those, the ones past the reader's limit: only counted
    QStringList notes;  // what the output changed, each about the whole file
    bool ok() const { return error.isEmpty(); }
};

// Reads one log and writes the other as it goes, each by its extension.
// Warnings name the input's line; the output's notes come last, as warnings
// of line 0.
// With check, it is asked before each megabyte of the input (after the
// warnings so far were passed on), with the bytes read and the frames
// written: false ends the conversion there, the output closed as at the end.
ConvertResult convertLog(const QString& input, const QString& output,
                         const std::function<void(const TraceLogWarning&)>& onWarning,
                         const std::function<bool(std::int64_t bytes, std::int64_t frames)>& check = {});

}  // namespace tellvane
