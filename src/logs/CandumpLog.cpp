// .log: candump's log lines, "(1700000000.123456) can0 18FEF121#0102030405060708",
// a standard identifier in three hex digits, an extended one in eight, "#R"
// for a remote frame (with its length after it, if any), an error frame as
// candump gives it: eight digits with 20000000 set. A last word " T" marks a
// frame the logging side sent.

#include "logs/CandumpReader.h"
#include "logs/CandumpWriter.h"
#include "logs/FrameText.h"
#include "logs/LogText.h"

namespace tellvane {

using namespace logtext;

namespace {

constexpr std::uint32_t kErrorFlag = 0x20000000;

// The text from p on to the first blank (or the end), at most `most` long.
const char* wordEnd(const char* p, const char* end, std::ptrdiff_t most)
{
    const char* const limit = end - p > most ? p + most : end;
    while (p != limit && !isBlank(*p))
        ++p;
    return p;
}

const char* skipBlanks(const char* p, const char* end)
{
    while (p != end && isBlank(*p))
        ++p;
    return p;
}

}  // namespace

namespace candump {

bool readPlainLine(std::string_view line, TraceFrame& frame)
{
    const char* const end = line.data() + line.size();
    const char* p = skipBlanks(line.data(), end);
    if (p == end || *p != '(')
        return false;

    std::int64_t us = 0;
    const char* const seconds = p + 1;
    p = readPlainSeconds(seconds, end, us);
    if (p == seconds || end - p < 2 || p[0] != ')' || !isBlank(p[1]))
        return false;

    // The interface: any word.
    p = skipBlanks(p + 2, end);
    const char* const interfaceEnd = wordEnd(p, end, end - p);
    if (interfaceEnd == p)
        return false;
    p = skipBlanks(interfaceEnd, end);

    std::uint32_t id = 0;
    const char* const idStart = p;
    const char* const idLimit = end - p > 8 ? p + 8 : end;
    for (int d; p != idLimit && (d = hexDigit(*p)) >= 0; ++p)
        id = id << 4 | static_cast<std::uint32_t>(d);
    const std::ptrdiff_t idDigits = p - idStart;
    if (p == end || *p != '#' || !(idDigits == 3 ? id <= 0x7FF : idDigits == 8 && !(id & ~(kErrorFlag | 0x1FFFFFFFu))))
        return false;

    // The data: up to 8 bytes of two hex digits (a word is looked at no
    // further than the 17th character, which is one too many).
    const char* const data = p + 1;
    p = wordEnd(data, end, 17);
    const std::ptrdiff_t digits = p - data;
    if (digits % 2 != 0 || digits > 16)
        return false;
    frame.data = {};
    for (std::ptrdiff_t i = 0; i < digits; i += 2) {
        const int high = hexDigit(data[i]);
        const int low = hexDigit(data[i + 1]);
        if ((high | low) < 0)
            return false;
        frame.data[static_cast<std::size_t>(i / 2)] = static_cast<std::uint8_t>(high << 4 | low);
    }

    // At most a direction: one letter.
    std::uint8_t sent = 0;
    p = skipBlanks(p, end);
    if (p != end) {
        if (*p == 'T' || *p == 't')
            sent = TraceFrame::Sent;
        else if (*p != 'R' && *p != 'r')
            return false;
        if (skipBlanks(p + 1, end) != end)
            return false;
    }

    frame.timeUs = us;
    frame.id = id & 0x1FFFFFFF;
    frame.length = static_cast<std::uint8_t>(digits / 2);
    frame.flags = static_cast<std::uint8_t>(sent | (idDigits == 8 ? TraceFrame::Extended : 0)
                                            | ((id & kErrorFlag) ? TraceFrame::Error : 0));
    return true;
}

LineTraceReader::Line readLine(std::string_view line, TraceFrame& frame, QString& why)
{
    using Line = LineTraceReader::Line;
    frame = TraceFrame{};
    std::string_view rest = line;
    const std::string_view time = nextWord(rest);
    if (time.empty())
        return Line::Ignored;
    nextWord(rest);  // the interface: any name
    const std::string_view text = nextWord(rest);
    const std::string_view direction = nextWord(rest);
    if (!nextWord(rest).empty() || text.empty()) {
        why = QStringLiteral("not \"(SECONDS) INTERFACE ID#DATA\"");
        return Line::Bad;
    }
    std::optional<std::int64_t> us;
    if (time.size() >= 3 && time.front() == '(' && time.back() == ')')
        us = secondsToUs(time.substr(1, time.size() - 2));
    if (!us) {
        why = QStringLiteral("the time %1 is not \"(SECONDS)\"").arg(QString::fromLatin1(time.data(), static_cast<qsizetype>(time.size())));
        return Line::Bad;
    }
    if (direction == "T" || direction == "t")
        frame.flags |= TraceFrame::Sent;
    else if (!direction.empty() && direction != "R" && direction != "r") {
        why = QStringLiteral("\"%1\" after the frame is neither T nor R").arg(QString::fromLatin1(direction.data(), static_cast<qsizetype>(direction.size())));
        return Line::Bad;
    }

    const std::uint8_t sent = frame.flags & TraceFrame::Sent;
    if (!frametext::read(text, frame, why))
        return Line::Bad;
    frame.timeUs = *us;
    frame.flags |= sent;
    return Line::Frame;
}

}  // namespace candump

LineTraceReader::Line CandumpReader::parse(std::string_view line, TraceFrame& frame, QString& why)
{
    return candump::readPlainLine(line, frame) ? Line::Frame : candump::readLine(line, frame, why);
}

void CandumpWriter::append(QByteArray& out, const TraceFrame& frame)
{
    LineText line;
    line.put('(');
    appendSeconds(line, frame.timeUs);
    line.put(") can0 ", 7);
    frametext::append(line, frame);
    if (frame.sent())
        line.put(" T", 2);
    line.put('\n');
    line.appendTo(out);
}

}  // namespace tellvane
