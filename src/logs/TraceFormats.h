#pragma once

// The readers and writers of each log format, made by the factory of TraceLog.h.

#include "can/TurnCounter.h"
#include "logs/LogText.h"
#include "logs/TraceLog.h"
#include "monitor/LogReader.h"

#include <string_view>

namespace tellvane {

// The formats read line by line from a LineSource: each says what a line holds.
class LineTraceReader : public TraceLogReader {
public:
    enum class Line { Frame, Ignored, Bad };

    LineTraceReader() { m_source.setCheck(&m_check); }
    bool open(const QString& fileName) override;
    bool next(TraceFrame& frame) override;
    std::int64_t bytesRead() const override { return m_source.bytesRead(); }

protected:
    // Fills the frame, or says why the line is no frame (in why).
    virtual Line parse(std::string_view line, TraceFrame& frame, QString& why) = 0;

private:
    tracetext::LineSource m_source;
};

class MessageLineReader final : public LineTraceReader {
public:
    bool open(const QString& fileName) override;

protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;

private:
    std::int64_t m_lastTimeUs = 0;
    TurnCounter m_turns;  // the adapter's restarts, from the lines that have a time
};

// The frame's message line as formatMessageLine() writes it, at the time
// given (its identifier as sent), the same 45 characters made on bytes: the
// pace of a long conversion. True when the time field holds the time to the
// microsecond (times from 100 s on keep fewer decimals).
bool appendMessageLine(tracetext::LineText& out, const TraceFrame& frame, std::int64_t timeUs);

// A candump line is read in two ways, and the reader takes the first that can.
namespace candump {
// A line as candump writes it, "(1700000000.123456) can0 18FEF121#0102 T", in
// one pass: up to twelve whole digits and six decimals in the time, a data or
// an error frame, at most " T" or " R" after it. False for anything else, a
// remote frame too; the frame is then left half filled.
bool readPlainLine(std::string_view line, TraceFrame& frame);
// Any line, word by word, and what is wrong with one that is no frame. Every
// line that readPlainLine() reads, this reads alike.
LineTraceReader::Line readLine(std::string_view line, TraceFrame& frame, QString& why);
}  // namespace candump

class CandumpReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;
};

class AscReader final : public LineTraceReader {
public:
    bool open(const QString& fileName) override;

protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;

private:
    int m_base = 16;
    bool m_relative = false;  // each event's time counts from the event before
    std::int64_t m_eventUs = 0;  // the time of the last event, when relative
};

class CsvReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;
};

class MessageLineWriter final : public TraceLogWriter {
public:
    QString refusal(const TraceFrame& frame) const override;
    // How many 11-bit identifiers became 29-bit ones, how many times the
    // time field could not hold to the microsecond, and how many it could not
    // hold at all (cut to its largest).
    QStringList notes() const override;

protected:
    void begin(QByteArray&, const TraceFrame* first) override;
    void append(QByteArray& out, const TraceFrame& frame) override;

private:
    std::int64_t m_originUs = 0;
    std::int64_t m_standardIds = 0;
    std::int64_t m_roundedTimes = 0;
    std::int64_t m_cutTimes = 0;
};

class CandumpWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray&, const TraceFrame*) override {}
    void append(QByteArray& out, const TraceFrame& frame) override;
};

class AscWriter final : public TraceLogWriter {
public:
    void setRecordingStart(const QDateTime& timeZero) override { m_timeZero = timeZero; }

protected:
    void begin(QByteArray& out, const TraceFrame* first) override;
    void append(QByteArray& out, const TraceFrame& frame) override;
    void end(QByteArray& out) override;

private:
    QDateTime m_timeZero;
    std::int64_t m_originUs = 0;
};

class CsvWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray& out, const TraceFrame*) override;
    void append(QByteArray& out, const TraceFrame& frame) override;
};

}  // namespace tellvane
