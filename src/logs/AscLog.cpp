// .asc: Vector's ASCII log as python-can and can-utils' log2asc and asc2log
// write it. A header (date, base and time kind, internal events), then frame
// lines with seconds since the first frame:
//
//   date Tue Nov 14 10:13:20.123 pm 2023
//   base hex  timestamps absolute
//   internal events logged
//   Begin Triggerblock Tue Nov 14 10:13:20.123 pm 2023
//      0.000000 Start of measurement
//      0.001234 1  18FEF121x       Rx   d 8 01 02 03 04 05 06 07 08
//      0.002000 1  123             Tx   r 0
//      0.003000 1  ErrorFrame
//   End TriggerBlock
//
// Lines of other events (statistics, chip states, comments) are passed over.
// With "timestamps relative" in the header each event's time counts from the
// event before it, whatever the event.

#include "logs/AscReader.h"
#include "logs/AscWriter.h"
#include "logs/LogText.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>

namespace tellvane {

using namespace logtext;

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != prefix[i])
            return false;
    }
    return true;
}

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

std::optional<std::uint32_t> numberIn(std::string_view text, int base)
{
    return base == 16 ? hexNumber(text) : decimalNumber(text);
}

// A hundred thousand years: relative times add up to no more.
constexpr std::int64_t kLongestUs = 3'155'760'000'000'000'000;

}  // namespace

bool AscReader::open(const QString& fileName)
{
    m_base = 16;
    m_relative = false;
    m_eventUs = 0;
    return LineTraceReader::open(fileName);
}

LineTraceReader::Line AscReader::parse(std::string_view line, TraceFrame& frame, QString& why)
{
    std::string_view rest = line;
    const std::string_view first = nextWord(rest);
    const std::string_view text = first.empty() ? first : line.substr(static_cast<std::size_t>(first.data() - line.data()));
    for (const std::string_view header : {"//", "date ", "internal events logged", "no internal events logged",
                                          "begin triggerblock", "end triggerblock"}) {
        if (startsWithNoCase(text, header))
            return Line::Ignored;
    }
    if (first.empty())
        return Line::Ignored;
    if (startsWithNoCase(first, "base")) {
        const std::string_view base = nextWord(rest);
        if (startsWithNoCase(base, "dec") || startsWithNoCase(base, "hex")) {
            m_base = startsWithNoCase(base, "dec") ? 10 : 16;
            const std::string_view timestamps = nextWord(rest);
            m_relative = startsWithNoCase(timestamps, "timestamps") && startsWithNoCase(nextWord(rest), "relative");
            return Line::Ignored;
        }
        why = QStringLiteral("the base \"%1\" is neither hex nor dec").arg(latin1(base));
        return Line::Bad;
    }
    const std::optional<std::int64_t> us = secondsToUs(first);
    if (!us) {
        why = QStringLiteral("neither a header line nor a frame line with its seconds first");
        return Line::Bad;
    }
    if (m_relative)
        m_eventUs = std::min(m_eventUs + *us, kLongestUs);
    const std::string_view channel = nextWord(rest);
    if (startsWithNoCase(channel, "canfd")) {
        why = QStringLiteral("a CAN FD frame, which the trace does not hold");
        return Line::Bad;
    }
    const std::string_view idText = nextWord(rest);
    if (!decimalNumber(channel) || startsWithNoCase(idText, "statistic:"))
        return Line::Ignored;  // an event of the measurement, not a frame
    frame.timeUs = m_relative ? m_eventUs : *us;
    if (startsWithNoCase(idText, "errorframe")) {
        frame.flags = TraceFrame::Error;
        frame.id = kBusErrorClass;
        return Line::Frame;
    }
    const bool extended = !idText.empty() && (idText.back() == 'x' || idText.back() == 'X');
    const std::optional<std::uint32_t> id = numberIn(extended ? idText.substr(0, idText.size() - 1) : idText, m_base);
    if (!id || *id > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
        why = QStringLiteral("the identifier \"%1\" is not one of %2 bits").arg(latin1(idText)).arg(extended ? 29 : 11);
        return Line::Bad;
    }
    frame.id = *id;
    frame.flags = extended ? TraceFrame::Extended : 0;
    const std::string_view direction = nextWord(rest);
    if (direction == "Tx")
        frame.flags |= TraceFrame::Sent;
    else if (direction != "Rx") {
        why = QStringLiteral("\"%1\" where Rx or Tx belongs").arg(latin1(direction));
        return Line::Bad;
    }
    const std::string_view kind = nextWord(rest);
    const std::string_view lengthText = nextWord(rest);
    const std::optional<std::uint32_t> length = lengthText.empty() && kind == "r" ? 0 : numberIn(lengthText, m_base);
    if ((kind != "d" && kind != "r") || !length || *length > 8) {
        why = QStringLiteral("not \"d LENGTH BYTES\" or \"r LENGTH\" with a length of 0 to 8");
        return Line::Bad;
    }
    frame.length = static_cast<std::uint8_t>(*length);
    if (kind == "r") {
        frame.flags |= TraceFrame::Remote;
        return Line::Frame;
    }
    // What follows the bytes (CANoe's lengths and bit counts) is not read.
    for (std::size_t i = 0; i < *length; ++i) {
        const std::string_view byteText = nextWord(rest);
        const std::optional<std::uint32_t> byte = numberIn(byteText, m_base);
        if (!byte || *byte > 0xFF || (m_base == 16 && byteText.size() != 2)) {
            why = QStringLiteral("data byte %1 \"%2\" is not a byte").arg(i + 1).arg(latin1(byteText));
            return Line::Bad;
        }
        frame.data[i] = static_cast<std::uint8_t>(*byte);
    }
    return Line::Frame;
}

namespace {

void appendRelativeTime(LineText& out, std::int64_t us) { appendSeconds(out, us < 0 ? 0 : us, 11); }

}  // namespace

void AscWriter::begin(QByteArray& out, const TraceFrame* first)
{
    // Without a start named, the date of the first frame: its time since 1970
    // (the log's own start when the times count from the recording's start).
    // In local time, as other tools write it.
    m_originUs = m_timeZero.isValid() || !first ? 0 : first->timeUs;
    const QDateTime dated = m_timeZero.isValid() ? m_timeZero.toLocalTime()
                                                 : QDateTime::fromMSecsSinceEpoch(m_originUs / 1000, Qt::LocalTime);
    const QByteArray date =
        QLocale::c().toString(dated, QStringLiteral("ddd MMM dd hh:mm:ss.zzz ap yyyy")).toLatin1();
    out.append("date " + date + "\nbase hex  timestamps absolute\ninternal events logged\nBegin Triggerblock " + date
               + '\n');
    LineText start;
    appendRelativeTime(start, 0);
    start.appendTo(out);
    out.append(" Start of measurement\n");
}

void AscWriter::append(QByteArray& out, const TraceFrame& frame)
{
    LineText line;
    appendRelativeTime(line, frame.timeUs - m_originUs);
    if (frame.flags & TraceFrame::Error) {
        line.put(" 1  ErrorFrame\n", 15);
        line.appendTo(out);
        return;
    }
    line.put(" 1  ", 4);
    const int idStart = line.size;
    appendHex(line, frame.id, 1);
    if (frame.extended())
        line.put('x');
    line.pad(std::max(1, 16 - (line.size - idStart)));
    line.put(frame.sent() ? "Tx   " : "Rx   ", 5);
    line.put(frame.flags & TraceFrame::Remote ? "r " : "d ", 2);
    appendHex(line, frame.length, 1);
    if (!(frame.flags & TraceFrame::Remote)) {
        for (int i = 0; i < frame.length && i < 8; ++i) {
            line.put(' ');
            appendHexByte(line, frame.data[static_cast<std::size_t>(i)]);
        }
    }
    line.put('\n');
    line.appendTo(out);
}

void AscWriter::end(QByteArray& out) { out.append("End TriggerBlock\n"); }

}  // namespace tellvane
