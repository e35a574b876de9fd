// .log: candump's log lines, "(1700000000.123456) can0 18FEF121#0102030405060708",
// a standard identifier in three hex digits, an extended one in eight, "#R"
// for a remote frame (with its length after it, if any), an error frame as
// candump gives it: eight digits with 20000000 set. A last word " T" marks a
// frame the logging side sent.

#include "trace/TraceFormats.h"

namespace tellvane {

using namespace tracetext;

namespace {

constexpr std::uint32_t kErrorFlag = 0x20000000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A line as candump writes it, "(1700000000.123456) can0 18FEF121#0102 T",
// read in one pass: up to twelve whole digits and six decimals, a data frame
// or an error frame, at most " T" or " R" after it. False for anything else,
// remote frames included, which the word by word reading below then takes
// (and names what is wrong). What this reads, that reading reads alike.
bool parsePlainLine(std::string_view line, TraceFrame& frame)
{
    const char* p = line.data();
    const char* const end = p + line.size();
    while (p != end && isBlank(*p))
        ++p;
    if (p == end || *p != '(')
        return false;
    ++p;
    std::int64_t whole = 0;
    const char* const wholeStart = p;
    while (p != end && isDigit(*p) && p - wholeStart < 12)
        whole = whole * 10 + (*p++ - '0');
    if (p == wholeStart)
        return false;
    std::int64_t fraction = 0;
    int decimals = 0;
    if (p != end && *p == '.') {
        for (++p; p != end && isDigit(*p) && decimals < 6; ++p, ++decimals)
            fraction = fraction * 10 + (*p - '0');
    }
    for (int i = decimals; i < 6; ++i)
        fraction *= 10;
    if (p == end || *p != ')' || ++p == end || !isBlank(*p))
        return false;

    // The interface: any word.
    while (p != end && isBlank(*p))
        ++p;
    if (p == end)
        return false;
    while (p != end && !isBlank(*p))
        ++p;
    while (p != end && isBlank(*p))
        ++p;

    std::uint32_t id = 0;
    const char* const idStart = p;
    for (int d; p != end && (d = hexDigit(*p)) >= 0 && p - idStart < 8; ++p)
        id = id << 4 | static_cast<std::uint32_t>(d);
    const std::ptrdiff_t idDigits = p - idStart;
    if (p == end || *p != '#' || !(idDigits == 3 ? id <= 0x7FF : idDigits == 8 && !(id & ~(kErrorFlag | 0x1FFFFFFFu))))
        return false;
    ++p;

    int length = 0;
    for (;;) {
        if (p == end || isBlank(*p))
            break;
        if (length == 8 || end - p < 2)
            return false;
        const int high = hexDigit(p[0]);
        const int low = hexDigit(p[1]);
        if (high < 0 || low < 0)
            return false;
        frame.data[static_cast<std::size_t>(length++)] = static_cast<std::uint8_t>(high << 4 | low);
        p += 2;
    }

    std::uint8_t sent = 0;
    while (p != end && isBlank(*p))
        ++p;
    if (p != end) {
        if (*p == 'T' || *p == 't')
            sent = TraceFrame::Sent;
        else if (*p != 'R' && *p != 'r')
            return false;
        ++p;
        if (p != end && !isBlank(*p))
            return false;
        while (p != end && isBlank(*p))
            ++p;
        if (p != end)
            return false;
    }

    frame.timeUs = whole * 1'000'000 + fraction;
    frame.id = id & 0x1FFFFFFF;
    frame.length = static_cast<std::uint8_t>(length);
    frame.flags = static_cast<std::uint8_t>(sent | (idDigits == 8 ? TraceFrame::Extended : 0)
                                            | ((id & kErrorFlag) ? TraceFrame::Error : 0));
    return true;
}

}  // namespace

LineTraceReader::Line CandumpReader::parse(std::string_view line, TraceFrame& frame, QString& why)
{
    if (parsePlainLine(line, frame))
        return Line::Frame;
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
    frame.timeUs = *us;
    if (direction == "T" || direction == "t")
        frame.flags |= TraceFrame::Sent;
    else if (!direction.empty() && direction != "R" && direction != "r") {
        why = QStringLiteral("\"%1\" after the frame is neither T nor R").arg(QString::fromLatin1(direction.data(), static_cast<qsizetype>(direction.size())));
        return Line::Bad;
    }

    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) {
        why = QStringLiteral("no \"#\" between identifier and data");
        return Line::Bad;
    }
    std::string_view data = text.substr(hash + 1);
    if (!data.empty() && data.front() == '#') {
        why = QStringLiteral("a CAN FD frame (\"##\"), which the trace does not hold");
        return Line::Bad;
    }
    const std::string_view idText = text.substr(0, hash);
    const std::optional<std::uint32_t> id = hexNumber(idText);
    if (!id || (idText.size() != 3 && idText.size() != 8) || (idText.size() == 3 && *id > 0x7FF)
        || (*id & ~(kErrorFlag | 0x1FFFFFFFu))) {
        why = QStringLiteral("the identifier \"%1\" is neither three hex digits up to 7FF nor eight up to 1FFFFFFF")
                  .arg(QString::fromLatin1(idText.data(), static_cast<qsizetype>(idText.size())));
        return Line::Bad;
    }
    frame.id = *id & 0x1FFFFFFF;
    frame.flags = static_cast<std::uint8_t>((frame.flags & ~TraceFrame::Extended) | (idText.size() == 8 ? TraceFrame::Extended : 0)
                                            | ((*id & kErrorFlag) ? TraceFrame::Error : 0));

    if (!data.empty() && (data.front() == 'R' || data.front() == 'r')) {
        data.remove_prefix(1);
        const std::optional<std::uint32_t> length = data.empty() ? std::optional<std::uint32_t>(0) : decimalNumber(data);
        if (!length || *length > 8) {
            why = QStringLiteral("a remote frame's length is not 0 to 8");
            return Line::Bad;
        }
        frame.flags |= TraceFrame::Remote;
        frame.length = static_cast<std::uint8_t>(*length);
        return Line::Frame;
    }
    if (data.size() % 2 != 0 || data.size() > 16) {
        why = QStringLiteral("the data is not 0 to 8 bytes of two hex digits");
        return Line::Bad;
    }
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const int high = hexDigit(data[i]);
        const int low = hexDigit(data[i + 1]);
        if (high < 0 || low < 0) {
            why = QStringLiteral("data byte %1 is not two hex digits").arg(i / 2 + 1);
            return Line::Bad;
        }
        frame.data[i / 2] = static_cast<std::uint8_t>(high << 4 | low);
    }
    frame.length = static_cast<std::uint8_t>(data.size() / 2);
    return Line::Frame;
}

void CandumpWriter::append(QByteArray& out, const TraceFrame& frame)
{
    LineText line;
    line.put('(');
    appendSeconds(line, frame.timeUs);
    line.put(") can0 ", 7);
    if (frame.flags & TraceFrame::Error)
        appendHex(line, kErrorFlag | frame.id, 8);
    else
        appendHex(line, frame.id, frame.extended() ? 8 : 3);
    line.put('#');
    if (frame.flags & TraceFrame::Remote) {
        line.put('R');
        if (frame.length > 0)
            appendDecimal(line, frame.length);
    } else {
        for (int i = 0; i < frame.length && i < 8; ++i)
            appendHexByte(line, frame.data[static_cast<std::size_t>(i)]);
    }
    if (frame.sent())
        line.put(" T", 2);
    line.put('\n');
    line.appendTo(out);
}

}  // namespace tellvane
