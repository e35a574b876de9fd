// .txt: the tool's own message lines, read line by line with the monitor's
// rules for a line and written as its save log writes them.

#include "core/Failure.h"
#include "logs/LogText.h"
#include "logs/MessageLineReader.h"
#include "logs/MessageLineWriter.h"
#include "monitor/MessageLine.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tellvane {

namespace {

constexpr std::uint32_t kIdBits = 0x1FFFFFFF;
constexpr std::uint32_t kSentBit = can::kExtendedFrame;
// The time field's nine characters hold times below this (9999999.9 s).
constexpr std::int64_t kLongestTimeUs = 9'999'999'900'000;
// From here on a time is cut to that largest one, not rounded to it.
constexpr std::int64_t kCutTimeUs = 9'999'999'950'000;
// The adapter counts 8 us ticks in 24 bits: its seconds start again after this.

}  // namespace

bool MessageLineReader::open(const QString& fileName)
{
    m_lastTimeUs = 0;
    m_turns.reset();
    return LineTraceReader::open(fileName);
}

LineTraceReader::Line MessageLineReader::parse(std::string_view line, TraceFrame& frame, QString& why)
{
    const QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    if (text.trimmed().isEmpty())
        return Line::Ignored;
    const CheckedLine checked = checkMessageLine(text);
    if (!checked.problem.isEmpty()) {
        why = checked.problem;
        return Line::Bad;
    }
    const ParsedLine& parsed = checked.parsed;
    const std::int64_t timeUs = checked.timeUs;
    const auto id = static_cast<std::uint32_t>(parsed.message.id);
    if (id & ~(kIdBits | kSentBit)) {
        why = QStringLiteral("the identifier %1 has more than 29 bits")
                  .arg(QString::number(id, 16).rightJustified(8, QLatin1Char('0')).toUpper());
        return Line::Bad;
    }
    // Sent and replayed lines carry no time: they take the one before them.
    // A time far below the one before is the adapter's count starting again,
    // not the time going back.
    frame.timeUs = timeUs == 0 ? m_lastTimeUs : m_turns.unwrapUs(timeUs);
    frame.id = id & kIdBits;
    frame.flags = TraceFrame::Extended | ((id & kSentBit) ? TraceFrame::Sent : 0);
    frame.length = parsed.message.length;
    std::copy_n(parsed.message.data.begin(), frame.length, frame.data.begin());
    m_lastTimeUs = frame.timeUs;
    return Line::Frame;
}

QString MessageLineWriter::refusal(const TraceFrame& frame) const
{
    if (frame.flags & TraceFrame::Remote)
        return QStringLiteral("a remote frame");
    if (frame.flags & TraceFrame::Error)
        return QStringLiteral("an error frame");
    return TraceLogWriter::refusal(frame);
}

void MessageLineWriter::begin(QByteArray&, const TraceFrame* first)
{
    // Times that the time field cannot hold (the epoch times of other tools'
    // logs) count from the first frame, as a recording of the monitor does.
    m_originUs = first && first->timeUs > kLongestTimeUs ? first->timeUs : 0;
    m_standardIds = m_roundedTimes = m_cutTimes = 0;
}

void MessageLineWriter::append(QByteArray& out, const TraceFrame& frame)
{
    logtext::LineText line;
    const std::int64_t timeUs = frame.timeUs - m_originUs;
    const bool exact = appendMessageLine(line, frame, timeUs);
    if (timeUs >= kCutTimeUs)
        ++m_cutTimes;
    else
        m_roundedTimes += !exact;
    m_standardIds += !frame.extended();
    line.put("\r\n", 2);
    line.appendTo(out);
}

QStringList MessageLineWriter::notes() const
{
    QStringList notes;
    if (m_standardIds == 1)
        notes << QStringLiteral("1 frame with an 11-bit identifier written as a 29-bit one");
    else if (m_standardIds > 1)
        notes << QStringLiteral("%1 frames with 11-bit identifiers written as 29-bit ones").arg(m_standardIds);
    if (m_roundedTimes > 0)
        notes << (m_roundedTimes == 1 ? QStringLiteral("1 time") : QStringLiteral("%1 times").arg(m_roundedTimes))
                     + QStringLiteral(" rounded to fit the time field's nine characters (from 100 s on it keeps "
                                      "fewer than six decimals)");
    if (m_cutTimes > 0)
        notes << (m_cutTimes == 1 ? QStringLiteral("1 time") : QStringLiteral("%1 times").arg(m_cutTimes))
                     + QStringLiteral(" past 9999999.9 s, the most the time field holds, written as 9999999.9");
    return notes;
}

namespace {

// The time field as formatTimeField() writes it, on bytes; the common case
// by hand. Whether it holds the time to the microsecond.
bool appendTimeField(logtext::LineText& out, std::int64_t us)
{
    if (us >= 0 && us < 100'000'000) {
        // The common case: six decimals.
        const auto fraction = static_cast<int>(us % 1'000'000);
        logtext::appendTwoDigits(out, static_cast<int>(us / 1'000'000));
        out.put('.');
        logtext::appendTwoDigits(out, fraction / 10'000);
        logtext::appendTwoDigits(out, fraction / 100 % 100);
        logtext::appendTwoDigits(out, fraction % 100);
        return true;
    }
    const double seconds = us < 0 ? 0.0 : static_cast<double>(us) / 1e6;  // the field holds no time below 0
    int decimals = 0;
    out.size += writeTimeField(out.text + out.size, seconds, '.', &decimals);
    static constexpr std::array<long long, 7> kFactors = {1, 10, 100, 1'000, 10'000, 100'000, 1'000'000};
    if (seconds >= 9999999.95)
        return false;  // cut to the field's largest time
    return std::llround(seconds * static_cast<double>(kFactors[static_cast<std::size_t>(decimals)]))
               * kFactors[static_cast<std::size_t>(6 - decimals)]
        == us;
}

}  // namespace

bool appendMessageLine(logtext::LineText& out, const TraceFrame& frame, std::int64_t timeUs)
{
    const int start = out.size;
    const bool exact = appendTimeField(out, timeUs);
    out.put(' ');
    logtext::appendHex(out, frame.id | (frame.sent() ? kSentBit : 0), 8);
    out.put(' ');
    const int length = std::min<int>(frame.length, 8);
    out.put(static_cast<char>('0' + length));
    for (int i = 0; i < length; ++i) {
        out.put(' ');
        logtext::appendHexByte(out, frame.data[static_cast<std::size_t>(i)]);
    }
    out.pad(start + messageline::kLength - out.size);
    return exact;
}

}  // namespace tellvane
