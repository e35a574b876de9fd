// Message lines come back from log files the user picks, so parseMessageLine
// sees arbitrary text; and every message the tool shows or saves goes through
// formatMessageLine, whose output must read back as the same message, and
// which the .txt log writer's line on bytes must equal.

#include "FuzzSupport.h"

#include "core/Failure.h"
#include "logs/MessageLineWriter.h"
#include "monitor/MessageLine.h"
#include "trace/TraceRecorder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <cstring>

using namespace tellvane;

namespace {

// A time field longer than nine characters (digits and at most one '.' or
// ',' before the first space) moves the line's other fields along with it.
QString withoutLongTime(const QString& text)
{
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (space <= 9)
        return text;
    int separators = 0;
    for (qsizetype i = 0; i < space; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.') || c == QLatin1Char(','))
            ++separators;
        else if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return text;
    }
    return separators <= 1 ? text.mid(space - 9) : text;
}

void checkParse(const QString& line)
{
    const ParsedLine parsed = parseMessageLine(line);
    const QString text = withoutLongTime(line);
    if (text.isEmpty()) {
        FUZZ_CHECK(parsed.status == LineParse::Empty);
        return;
    }
    if (text.size() < messageline::kLengthColumn) {
        FUZZ_CHECK(parsed.status == LineParse::WrongLength);
        return;
    }
    const QChar column = text.at(messageline::kLengthColumn - 1);
    const int promised = column >= QLatin1Char('0') && column <= QLatin1Char('9') ? column.unicode() - u'0' : 0;
    if (20 + 3 * promised > text.size()) {
        FUZZ_CHECK(parsed.status == LineParse::IncorrectDataLength);
        return;
    }
    FUZZ_CHECK(parsed.status == LineParse::Message);
    FUZZ_CHECK(parsed.message.length == promised);
    FUZZ_CHECK(parsed.message.time == 0.0);
}

// The time a plot takes from a line: a number of seconds, or none.
void checkTime(const QString& line)
{
    const std::optional<double> time = messageLineTime(line);
    FUZZ_CHECK(!time || (std::isfinite(*time) && *time >= 0.0));
}

// The time field: nine characters of digits around one separator.
bool wellFormedTime(QStringView field, QChar separator)
{
    if (field.size() != 9)
        return false;
    int separators = 0;
    for (QChar c : field) {
        if (c == separator)
            ++separators;
        else if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return separators == 1 && field.front() != separator && field.back() != separator;
}

// Input: 4 bytes identifier, 1 byte length, 8 bytes data, 8 bytes time, 1 byte separator choice.
void checkRoundTrip(const std::uint8_t* data, std::size_t size)
{
    if (size < 22)
        return;
    CanMessage m;
    std::uint32_t id = 0;
    std::memcpy(&id, data, 4);
    m.id = static_cast<std::int32_t>(id);
    m.length = data[4];
    std::memcpy(m.data.data(), data + 5, 8);
    std::memcpy(&m.time, data + 13, 8);
    const QChar separator = (data[21] & 1) ? QLatin1Char(',') : QLatin1Char('.');

    if (m.length > 8) {
        bool failed = false;
        try {
            (void)formatMessageLine(m, separator);
        } catch (const Failure& f) {
            failed = f.code() == FailureCode::SubscriptOutOfRange;
        }
        FUZZ_CHECK(failed);
        return;
    }

    const QString line = formatMessageLine(m, separator);
    FUZZ_CHECK(line.size() == messageline::kLength);
    // Time stamps below 10,000,000 s keep the field's nine characters.
    if (m.time >= 0.0 && m.time < 1e7)
        FUZZ_CHECK(wellFormedTime(QStringView(line).left(9), separator));
    FUZZ_CHECK(line.at(9) == QLatin1Char(' ') && line.at(18) == QLatin1Char(' ') && line.at(20) == QLatin1Char(' '));

    const ParsedLine parsed = parseMessageLine(line);
    FUZZ_CHECK(parsed.status == LineParse::Message);
    FUZZ_CHECK(parsed.message.id == m.id);
    if (m.time >= 0.0 && m.time < 1e7)
        FUZZ_CHECK(std::abs(messageLineTime(line).value_or(-1.0) - m.time) <= std::max(1e-6, m.time * 1e-7));
    FUZZ_CHECK(parsed.message.length == m.length);
    for (int i = 0; i < m.length; ++i)
        FUZZ_CHECK(parsed.message.data[static_cast<std::size_t>(i)] == m.data[static_cast<std::size_t>(i)]);

    // The same line as a log record, with its CR LF, reads back the same.
    const ParsedLine fromRecord = parseMessageLine(QString(line + QLatin1String("\r\n")));
    FUZZ_CHECK(fromRecord.status == LineParse::Message && fromRecord.message.id == m.id
               && fromRecord.message.data == parsed.message.data);

    // The ASCII column has one character per data byte.
    FUZZ_CHECK(asciiText(m).size() == m.length);
}

// The .txt log writer makes the same line on bytes, for any frame at any
// time, and knows when the time field holds its time to the microsecond.
// Input: as for checkRoundTrip, the time as whole microseconds.
void checkLogLine(const std::uint8_t* data, std::size_t size)
{
    if (size < 22)
        return;
    TraceFrame frame;
    std::memcpy(&frame.id, data, 4);
    frame.id &= 0x1FFFFFFF;
    frame.length = data[4] % 9;
    std::memcpy(frame.data.data(), data + 5, 8);
    std::memcpy(&frame.timeUs, data + 13, 8);
    frame.flags = data[21];
    logtext::LineText line;
    const bool exact = appendMessageLine(line, frame, frame.timeUs);
    const QByteArray bytes(line.text, line.size);
    FUZZ_CHECK(bytes == formatMessageLine(TraceRecorder::messageOf(frame)).toLatin1());
    FUZZ_CHECK(exact == (logtext::secondsToUs(std::string_view(line.text, 9)) == frame.timeUs));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkParse(text);
    checkTime(text);
    checkRoundTrip(data, size);
    checkLogLine(data, size);
    return 0;
}
