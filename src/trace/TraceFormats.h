#pragma once

// The readers and writers of each log format, made by the factory of TraceLog.h.

#include "monitor/LogReader.h"
#include "trace/TraceLog.h"
#include "trace/LogText.h"

#include <string_view>

namespace tellvane {

// The formats read line by line from a LineSource: each says what a line holds.
class LineTraceReader : public TraceLogReader {
public:
    bool open(const QString& fileName) override;
    bool next(TraceFrame& frame) override;

protected:
    enum class Line { Frame, Ignored, Bad };
    // Fills the frame, or says why the line is no frame (in why).
    virtual Line parse(std::string_view line, TraceFrame& frame, QString& why) = 0;

private:
    tracetext::LineSource m_source;
};

class MessageLineReader final : public TraceLogReader {
public:
    bool open(const QString& fileName) override;
    bool next(TraceFrame& frame) override;

private:
    LogReader m_reader;
    std::int64_t m_record = 0;
    std::int64_t m_lastTimeUs = 0;
};

class CandumpReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;
};

class AscReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;

private:
    int m_base = 16;
};

class CsvReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;
};

class MessageLineWriter final : public TraceLogWriter {
public:
    QString refusal(const TraceFrame& frame) const override;

protected:
    void begin(QByteArray&, const TraceFrame* first) override;
    void append(QByteArray& out, const TraceFrame& frame) override;

private:
    std::int64_t m_originUs = 0;
};

class CandumpWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray&, const TraceFrame*) override {}
    void append(QByteArray& out, const TraceFrame& frame) override;
};

class AscWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray& out, const TraceFrame* first) override;
    void append(QByteArray& out, const TraceFrame& frame) override;
    void end(QByteArray& out) override;

private:
    std::int64_t m_originUs = 0;
};

class CsvWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray& out, const TraceFrame*) override;
    void append(QByteArray& out, const TraceFrame& frame) override;
};

}  // namespace tellvane
