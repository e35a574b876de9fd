#pragma once

// The body of the trace log targets, one a format: any bytes as a log of that
// format must read without a crash or a hang, give frames that fit the trace
// (at most 8 bytes, identifiers of 11 or 29 bits, times that never go back),
// count every line that is not ignored as good or bad, and what is read must
// come back alike when written in the same format and read again.

#include "FuzzSupport.h"

#include "logs/TraceLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace tellvane::fuzz {

inline std::vector<TraceFrame> readAll(const QString& fileName, std::int64_t& good, std::int64_t& bad)
{
    const auto reader = makeTraceLogReader(traceLogFormatOf(fileName));
    FUZZ_CHECK(reader);
    std::vector<TraceFrame> frames;
    good = bad = 0;
    if (!reader->open(fileName)) {
        // UTF-16 text (or NUL bytes in the first line) is refused as a whole.
        FUZZ_CHECK(reader->errorString().contains(QLatin1String("UTF-16")));
        return frames;
    }
    TraceFrame frame;
    while (reader->next(frame)) {
        FUZZ_CHECK(frame.length <= 8);
        FUZZ_CHECK(frame.id <= (frame.extended() ? 0x1FFFFFFFu : 0x7FFu));
        FUZZ_CHECK(frame.timeUs >= 0);
        FUZZ_CHECK(frames.empty() || frame.timeUs >= frames.back().timeUs);
        frames.push_back(frame);
        reader->takeWarnings();
    }
    FUZZ_CHECK(reader->errorString().isEmpty());
    good = reader->goodLines();
    bad = reader->badLines();
    FUZZ_CHECK(good == static_cast<std::int64_t>(frames.size()));
    return frames;
}

inline int fuzzTraceLog(const char* extension, const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    const QString input = dir.filePath(QStringLiteral("in.") + QLatin1String(extension));
    const QString output = dir.filePath(QStringLiteral("out.") + QLatin1String(extension));
    {
        QFile::remove(input);
        QFile file(input);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) == static_cast<qint64>(size));
    }
    std::int64_t good = 0;
    std::int64_t bad = 0;
    const std::vector<TraceFrame> frames = readAll(input, good, bad);
    std::int64_t lines = 0;
    for (std::size_t i = 0; i < size; ++i)
        lines += data[i] == '\n' || data[i] == '\r';
    FUZZ_CHECK(good + bad <= lines + 1);

    QFile::remove(output);
    const auto writer = makeTraceLogWriter(traceLogFormatOf(output));
    FUZZ_CHECK(writer && writer->open(output));
    for (const TraceFrame& frame : frames) {
        FUZZ_CHECK(writer->refusal(frame).isEmpty() || traceLogFormatOf(output) == TraceLogFormat::MessageLines);
        if (writer->refusal(frame).isEmpty())
            FUZZ_CHECK(writer->write(frame));
    }
    FUZZ_CHECK(writer->close());
    std::int64_t againGood = 0;
    std::int64_t againBad = 0;
    const std::vector<TraceFrame> again = readAll(output, againGood, againBad);
    FUZZ_CHECK(againBad == 0);
    FUZZ_CHECK(again.size() == frames.size());
    const bool relative = traceLogFormatOf(output) == TraceLogFormat::Asc;
    const bool messageLines = traceLogFormatOf(output) == TraceLogFormat::MessageLines;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        TraceFrame expected = frames[i];
        if (relative)
            expected.timeUs -= frames.front().timeUs;
        if (messageLines) {
            // Times of 100 s and more keep fewer decimals in the nine characters.
            FUZZ_CHECK(again[i].timeUs == expected.timeUs || expected.timeUs >= 100'000'000);
            expected.timeUs = again[i].timeUs;
        }
        FUZZ_CHECK(again[i] == expected);
    }
    return 0;
}

}  // namespace tellvane::fuzz
