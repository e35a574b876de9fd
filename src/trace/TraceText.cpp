#include "trace/TraceText.h"

#include "monitor/MessageLine.h"

#include <algorithm>

namespace tellvane::tracetext {

QString time(std::int64_t timeUs)
{
    return QString::number(static_cast<double>(timeUs) / 1e6, 'f', 6);
}

QString identifier(std::uint32_t id, bool extended)
{
    return hex(id, extended ? 8 : 3);
}

QString hex(std::uint32_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString dataBytes(const std::array<std::uint8_t, 8>& data, int length)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString text;
    const int n = std::clamp(length, 0, 8);
    text.reserve(n * 3);
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        const std::uint8_t b = data[static_cast<std::size_t>(i)];
        text += QLatin1Char(kDigits[b >> 4]);
        text += QLatin1Char(kDigits[b & 0xF]);
    }
    return text;
}

QString ascii(const std::array<std::uint8_t, 8>& data, int length)
{
    CanMessage message;
    message.length = static_cast<std::uint8_t>(std::clamp(length, 0, 8));
    std::copy(data.begin(), data.end(), message.data.begin());
    return asciiText(message);
}

QString milliseconds(double ms)
{
    return QString::number(ms, 'f', 1);
}

QString direction(bool sent, std::uint16_t line)
{
    if (line != 0)
        return QStringLiteral("Replay %1").arg(line);
    return sent ? QStringLiteral("Tx") : QStringLiteral("Rx");
}

}  // namespace tellvane::tracetext
