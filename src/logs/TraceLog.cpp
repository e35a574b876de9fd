#include "logs/TraceLog.h"

#include "logs/AscReader.h"
#include "logs/AscWriter.h"
#include "logs/CandumpReader.h"
#include "logs/CandumpWriter.h"
#include "logs/CsvReader.h"
#include "logs/CsvWriter.h"
#include "logs/MessageLineReader.h"
#include "logs/MessageLineWriter.h"

#include <QFileInfo>

namespace tellvane {

namespace {
constexpr qint64 kReadBlockBytes = 1 << 20;
constexpr qsizetype kWriteBlock = 1 << 20;
// Room past the block for the line that fills it, so the buffer never grows.
constexpr qsizetype kWriteSlack = 4096;
}

TraceLogFormat traceLogFormatOf(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("txt"))
        return TraceLogFormat::MessageLines;
    if (suffix == QLatin1String("log"))
        return TraceLogFormat::Candump;
    if (suffix == QLatin1String("asc"))
        return TraceLogFormat::Asc;
    if (suffix == QLatin1String("csv"))
        return TraceLogFormat::Csv;
    return TraceLogFormat::Unknown;
}

std::vector<TraceLogWarning> TraceLogReader::takeWarnings()
{
    std::vector<TraceLogWarning> taken;
    taken.swap(m_warnings);
    return taken;
}

void TraceLogReader::warn(std::int64_t line, const QString& text)
{
    if (m_warnings.size() < kMaxPendingWarnings)
        m_warnings.push_back({line, text});
    else
        ++m_dropped;
}

void TraceLogReader::skipLine(std::int64_t line, const QString& why)
{
    ++m_bad;
    warn(line, why + QStringLiteral("; line skipped"));
}

void TraceLogReader::acceptFrame(std::int64_t line, TraceFrame& frame)
{
    ++m_good;
    m_line = line;
    if (m_anyFrame && frame.timeUs < m_lastTimeUs) {
        warn(line, QStringLiteral("the time goes back from %1 to %2; the frame keeps %1")
                       .arg(logtext::secondsText(m_lastTimeUs), logtext::secondsText(frame.timeUs)));
        frame.timeUs = m_lastTimeUs;
    }
    m_lastTimeUs = frame.timeUs;
    m_anyFrame = true;
}

void TraceLogReader::reset()
{
    m_error.clear();
    m_line = m_good = m_bad = m_dropped = m_lastTimeUs = 0;
    m_anyFrame = m_paused = false;
    m_warnings.clear();
}

bool LineTraceReader::open(const QString& fileName)
{
    reset();
    m_source.setBlockBytes(kReadBlockBytes);
    m_source.setLineLimit(kMaxLineBytes);
    if (QFileInfo(fileName).isDir() || !m_source.open(fileName, TextLineReader::Start::TextOnly)) {
        m_error = QFileInfo(fileName).isDir() ? QStringLiteral("is a folder") : m_source.errorString();
        return false;
    }
    return true;
}

bool LineTraceReader::next(TraceFrame& frame)
{
    std::string_view line;
    bool tooLong = false;
    m_source.allow(m_readSlice > 0 ? m_readSlice : -1);
    m_paused = false;
    while (m_source.next(line, tooLong)) {
        const std::int64_t number = m_source.lineNumber();
        if (tooLong) {
            skipLine(number, QStringLiteral("longer than %1 characters").arg(kMaxLineBytes));
            continue;
        }
        frame = TraceFrame{};
        QString why;
        switch (parse(line, frame, why)) {
        case Line::Frame:
            acceptFrame(number, frame);
            return true;
        case Line::Ignored:
            break;
        case Line::Bad:
            skipLine(number, why);
            break;
        }
    }
    m_paused = m_source.paused();
    if (m_source.failed())
        m_error = QStringLiteral("cannot be read after line %1: %2").arg(m_source.lineNumber()).arg(m_source.errorString());
    return false;
}

bool TraceLogWriter::open(const QString& fileName)
{
    m_buffer.resize(0);
    m_buffer.reserve(kWriteBlock + kWriteSlack);
    m_begun = false;
    return m_file.openFile(fileName);
}

bool TraceLogWriter::openDescriptor(int descriptor)
{
    m_buffer.resize(0);
    m_buffer.reserve(kWriteBlock + kWriteSlack);
    m_begun = false;
    return m_file.openDescriptor(descriptor);
}

QString TraceLogWriter::refusal(const TraceFrame& frame) const
{
    if (frame.length > 8)
        return QStringLiteral("a frame of %1 bytes").arg(frame.length);
    return QString();
}

bool TraceLogWriter::write(const TraceFrame& frame)
{
    if (!m_file.isOpen())
        return false;
    if (!m_begun) {
        begin(m_buffer, &frame);
        m_begun = true;
    }
    append(m_buffer, frame);
    return m_buffer.size() < kWriteBlock || flush();
}

bool TraceLogWriter::close()
{
    if (!m_file.isOpen())
        return !m_file.failed();
    if (!m_begun)
        begin(m_buffer, nullptr);
    end(m_buffer);
    m_begun = false;
    flush();
    return m_file.commit();
}

void TraceLogWriter::cancel()
{
    m_buffer.resize(0);
    m_begun = false;
    m_file.cancel();
}

bool TraceLogWriter::flush()
{
    if (m_buffer.isEmpty())
        return !m_file.failed();
    const bool written = m_file.write(m_buffer) == m_buffer.size();
    // Emptied, not freed: a block taken anew each time is a megabyte of fresh
    // pages the kernel has to fault in.
    m_buffer.resize(0);
    return written;
}

namespace {
// The one place that pairs an extension's format with its classes.
template <typename Base, typename MessageLines, typename Candump, typename Asc, typename Csv>
std::unique_ptr<Base> make(TraceLogFormat format)
{
    switch (format) {
    case TraceLogFormat::MessageLines:
        return std::make_unique<MessageLines>();
    case TraceLogFormat::Candump:
        return std::make_unique<Candump>();
    case TraceLogFormat::Asc:
        return std::make_unique<Asc>();
    case TraceLogFormat::Csv:
        return std::make_unique<Csv>();
    case TraceLogFormat::Unknown:
        break;
    }
    return nullptr;
}
}  // namespace

std::unique_ptr<TraceLogReader> makeTraceLogReader(TraceLogFormat format)
{
    return make<TraceLogReader, MessageLineReader, CandumpReader, AscReader, CsvReader>(format);
}

std::unique_ptr<TraceLogWriter> makeTraceLogWriter(TraceLogFormat format)
{
    return make<TraceLogWriter, MessageLineWriter, CandumpWriter, AscWriter, CsvWriter>(format);
}

ConvertResult convertLog(const QString& input, const QString& output,
                         const std::function<void(const TraceLogWarning&)>& onWarning,
                         const std::function<bool(std::int64_t bytes, std::int64_t frames)>& check)
{
    ConvertResult result;
    const std::unique_ptr<TraceLogReader> reader = makeTraceLogReader(traceLogFormatOf(input));
    const std::unique_ptr<TraceLogWriter> writer = makeTraceLogWriter(traceLogFormatOf(output));
    if (!reader || !writer) {
        result.error = QStringLiteral("%1 is no log of a known kind (.txt, .log, .asc, .csv)").arg(reader ? output : input);
        return result;
    }
    if (!reader->open(input)) {
        result.error = QStringLiteral("cannot open %1: %2").arg(input, reader->errorString());
        return result;
    }
    if (!writer->open(output)) {
        result.error = QStringLiteral("cannot write %1: %2").arg(output, writer->errorString());
        return result;
    }
    auto report = [&](const TraceLogWarning& warning) {
        ++result.warnings;
        if (onWarning)
            onWarning(warning);
    };
    auto passWarnings = [&] {
        for (const TraceLogWarning& warning : reader->takeWarnings())
            report(warning);
    };
    if (check) {
        // Warnings of lines that are no frame pass on as the file is read, not at the next frame.
        reader->setCheck([&] {
            passWarnings();
            return check(reader->bytesRead(), result.frames);
        });
    }
    TraceFrame frame;
    while (reader->next(frame)) {
        passWarnings();
        const QString refusal = writer->refusal(frame);
        if (!refusal.isEmpty()) {
            ++result.skipped;
            report({reader->lineNumber(), QStringLiteral("%1 has no place in %2; frame skipped").arg(refusal, output)});
            continue;
        }
        if (!writer->write(frame)) {
            result.error = QStringLiteral("cannot write %1: %2").arg(output, writer->errorString());
            break;
        }
        ++result.frames;
    }
    passWarnings();
    result.skipped += reader->badLines();
    result.unnamedWarnings = reader->droppedWarnings();
    result.warnings += result.unnamedWarnings;
    result.notes = writer->notes();
    for (const QString& note : std::as_const(result.notes))
        report({0, note});
    if (result.error.isEmpty() && !reader->errorString().isEmpty())
        result.error = QStringLiteral("%1 %2").arg(input, reader->errorString());
    // A half log does not take the place of the one that was there.
    if (!result.error.isEmpty())
        writer->cancel();
    else if (!writer->close())
        result.error = QStringLiteral("cannot write %1: %2").arg(output, writer->errorString());
    return result;
}

}  // namespace tellvane
