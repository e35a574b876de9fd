#include "monitor/MessageLine.h"

#include "core/Failure.h"
#include "core/Numbers.h"
#include "core/Seconds.h"
#include "monitor/LogReader.h"

#include <QLocale>

#include <array>
#include <cmath>
#include <string_view>

namespace tellvane {

namespace {
constexpr char16_t kHex[] = u"0123456789ABCDEF";

void putHexByte(QChar*& out, std::uint8_t b)
{
    *out++ = QChar(kHex[b >> 4]);
    *out++ = QChar(kHex[b & 0x0F]);
}

bool isHex(QChar c) { return digitValue(c, 16) >= 0; }

// The line laid out as the monitor writes it, field by field; parseMessageLine()
// itself takes any characters in the identifier and byte columns.
QString layoutProblem(QStringView line, std::int64_t& timeUs)
{
    const qsizetype space = line.indexOf(u' ');
    if (space < 9)
        return QStringLiteral("no time field of nine characters");
    QByteArray time = line.first(space).toLatin1();
    time.replace(',', '.');
    const std::optional<std::int64_t> us = secondsToUs(std::string_view(time.constData(), static_cast<std::size_t>(time.size())));
    if (!us || time.count('.') > 1)
        return QStringLiteral("the time \"%1\" is no number of seconds").arg(line.first(space));
    timeUs = *us;
    const QStringView rest = line.sliced(space - 9);
    if (rest.size() < 20 || rest.at(18) != u' ')
        return QStringLiteral("no identifier and length after the time");
    for (const QChar c : rest.sliced(10, 8)) {
        if (!isHex(c))
            return QStringLiteral("the identifier \"%1\" is not eight hexadecimal digits").arg(rest.sliced(10, 8));
    }
    const QChar lengthChar = rest.at(19);
    if (lengthChar < u'0' || lengthChar > u'8')
        return QStringLiteral("the length \"%1\" is not 0 to 8").arg(lengthChar);
    const int length = lengthChar.unicode() - u'0';
    for (int i = 0; i < length; ++i) {
        const qsizetype at = 21 + 3 * i;
        if (rest.size() < at + 2)
            return QStringLiteral("%1 data bytes promised, %2 given").arg(length).arg(i);
        if (rest.at(at - 1) != u' ' || !isHex(rest.at(at)) || !isHex(rest.at(at + 1)))
            return QStringLiteral("data byte %1 \"%2\" is not two hexadecimal digits").arg(i + 1).arg(rest.sliced(at - 1, 3).trimmed());
    }
    if (!rest.sliced(20 + 3 * length).trimmed().isEmpty())
        return QStringLiteral("more than the %1 data bytes the length gives").arg(length);
    return QString();
}

}  // namespace

QChar timeDecimalSeparator()
{
    const QString dp = QLocale().decimalPoint();
    if (dp.size() == 1 && dp.at(0).unicode() >= 0x20 && dp.at(0).unicode() < 0x7F)
        return dp.at(0);
    return QLatin1Char('.');
}

int writeTimeField(char* out, double seconds, char decimalSeparator, int* decimalsKept)
{
    // Nine characters: at least two integer digits, and as many of the six
    // decimals as still fit, so a line keeps its 45 characters.
    static constexpr std::array<double, 7> kFactors = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
    if (!(seconds >= 0.0))
        seconds = 0.0;
    if (seconds >= 9999999.95)
        seconds = 9999999.9;
    int decimals = 6;
    long long scaled = 0;
    long long whole = 0;
    for (;;) {
        scaled = std::llround(seconds * kFactors[static_cast<std::size_t>(decimals)]);
        whole = scaled / static_cast<long long>(kFactors[static_cast<std::size_t>(decimals)]);
        int wholeDigits = 2;
        for (long long rest = whole / 100; rest > 0; rest /= 10)
            ++wholeDigits;
        if (wholeDigits + decimals <= 8 || decimals == 0)
            break;
        --decimals;
    }
    const long long fraction = scaled - whole * static_cast<long long>(kFactors[static_cast<std::size_t>(decimals)]);
    char digits[24];
    int count = 0;
    for (long long rest = whole; rest > 0 || count < 2; rest /= 10)
        digits[count++] = static_cast<char>('0' + rest % 10);
    int size = 0;
    while (count > 0)
        out[size++] = digits[--count];
    if (decimals > 0) {
        out[size++] = decimalSeparator;
        long long rest = fraction;
        for (int i = decimals - 1; i >= 0; --i, rest /= 10)
            out[size + i] = static_cast<char>('0' + rest % 10);
        size += decimals;
    }
    if (decimalsKept)
        *decimalsKept = decimals;
    return size;
}

QString formatTimeField(double seconds, QChar decimalSeparator)
{
    char text[kTimeFieldRoom];
    const char separator = decimalSeparator.unicode() < 0x80 ? static_cast<char>(decimalSeparator.unicode()) : '.';
    return QString::fromLatin1(text, writeTimeField(text, seconds, separator));
}

QString formatMessageLine(const CanMessage& message, QChar decimalSeparator)
{
    if (message.length > 8)
        throw Failure(FailureCode::SubscriptOutOfRange);
    QString line(messageline::kLength, QLatin1Char(' '));
    QChar* out = line.data();

    // The common case, written by hand: it runs for every message on the bus.
    const long long us = message.time >= 0.0 && message.time < 100.0 ? std::llround(message.time * 1e6) : -1;
    if (us >= 0 && us < 100000000) {
        const long long whole = us / 1000000;
        long long fraction = us % 1000000;
        *out++ = QChar(u'0' + static_cast<char16_t>(whole / 10));
        *out++ = QChar(u'0' + static_cast<char16_t>(whole % 10));
        *out++ = decimalSeparator;
        for (int i = 5; i >= 0; --i) {
            out[i] = QChar(u'0' + static_cast<char16_t>(fraction % 10));
            fraction /= 10;
        }
        out += 6;
    } else {
        const QString time = formatTimeField(message.time, decimalSeparator);
        for (QChar c : time)
            *out++ = c;
    }
    ++out;  // space

    const auto id = static_cast<std::uint32_t>(message.id);
    for (int shift = 28; shift >= 0; shift -= 4)
        *out++ = QChar(kHex[(id >> shift) & 0x0F]);
    ++out;
    *out++ = QChar(u'0' + message.length);
    ++out;
    for (int i = 0; i < message.length; ++i) {
        putHexByte(out, message.data[static_cast<std::size_t>(i)]);
        ++out;
    }
    return line;
}

QString asciiText(const CanMessage& message)
{
    QString text;
    text.reserve(message.length);
    for (int i = 0; i < message.length && i < 9; ++i) {
        const std::uint8_t b = message.data[static_cast<std::size_t>(i)];
        text += (b >= 32 && b <= 126) ? QChar(b) : QLatin1Char('*');
    }
    return text;
}

QString monitorListItem(const QString& line, const QString& ascii)
{
    QString item;
    item.reserve(line.size() + 5 + ascii.size());
    item += line;
    item += QLatin1String("     ");
    item += ascii;
    return item;
}

namespace {

// Older writers gave time stamps from 100 s on six decimals too
// ("100.250000"), so every later field of such a line stands that much further
// on. A time field is digits and at most one separator before the first space.
qsizetype timeFieldOverrun(QStringView line)
{
    constexpr qsizetype kTimeField = 9;
    const qsizetype space = line.indexOf(u' ');
    if (space <= kTimeField)
        return 0;
    int separators = 0;
    for (const QChar c : line.first(space)) {
        if (c == u'.' || c == u',')
            ++separators;
        else if (c < u'0' || c > u'9')
            return 0;
    }
    return separators <= 1 ? space - kTimeField : 0;
}

}  // namespace

std::optional<double> messageLineTime(QStringView line)
{
    const qsizetype space = line.indexOf(u' ');
    const QStringView field = line.first(space < 0 ? line.size() : space);
    constexpr qsizetype kLongest = 20;
    if (field.isEmpty() || field.size() > kLongest)
        return std::nullopt;
    double whole = 0.0;
    double fraction = 0.0;
    double scale = 1.0;
    bool separator = false;
    bool digits = false;
    for (const QChar c : field) {
        if (c == u'.' || c == u',') {
            if (separator)
                return std::nullopt;
            separator = true;
        } else if (c >= u'0' && c <= u'9') {
            digits = true;
            if (separator) {
                scale /= 10.0;
                fraction += (c.unicode() - u'0') * scale;
            } else {
                whole = whole * 10.0 + (c.unicode() - u'0');
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    return whole + fraction;
}

ParsedLine parseMessageLine(QStringView line)
{
    ParsedLine parsed;
    if (line.isEmpty())
        return parsed;
    line = line.sliced(timeFieldOverrun(line));
    if (line.size() < messageline::kLengthColumn) {
        parsed.status = LineParse::WrongLength;
        return parsed;
    }
    const QChar lengthChar = line.at(messageline::kLengthColumn - 1);
    const int length = lengthChar.isDigit() && lengthChar.unicode() <= u'9' ? lengthChar.unicode() - u'0' : 0;
    if (length * 3 + 20 > line.size()) {
        parsed.status = LineParse::IncorrectDataLength;
        return parsed;
    }
    parsed.status = LineParse::Message;
    parsed.message.id = leadingHex(line.mid(10, 8));
    // A "9" in the length column reads nine bytes, the most the message holds.
    parsed.message.length = static_cast<std::uint8_t>(length);
    for (int i = 0; i < length; ++i)
        parsed.message.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(leadingHex(line.mid(21 + 3 * i, 2)));
    return parsed;
}

CheckedLine checkMessageLine(QStringView line)
{
    CheckedLine checked;
    if (line.size() >= LogReader::kMaxRecordChars) {
        checked.problem = QStringLiteral("longer than a message line");
        return checked;
    }
    checked.problem = layoutProblem(line, checked.timeUs);
    checked.parsed = parseMessageLine(line);
    if (checked.problem.isEmpty() && checked.parsed.status != LineParse::Message)
        checked.problem = QStringLiteral("not a message line");
    return checked;
}

}  // namespace tellvane
