#include "plot/ValueCsv.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <vector>

namespace tellvane::csv {

QByteArray field(const QString& name)
{
    QByteArray text = name.toUtf8();
    if (text.contains(',') || text.contains('"') || text.contains('\n') || text.contains('\r')) {
        text.replace("\"", "\"\"");
        text.prepend('"');
        text.append('"');
    }
    return text;
}

void appendTime(QByteArray& out, std::int64_t timeUs)
{
    char buffer[32];
    char* p = buffer;
    if (timeUs < 0) {
        *p++ = '-';
        timeUs = -timeUs;
    }
    p = std::to_chars(p, buffer + sizeof(buffer), timeUs / 1'000'000).ptr;
    *p++ = '.';
    std::int64_t fraction = timeUs % 1'000'000;
    for (int i = 5; i >= 0; --i) {
        p[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    p += 6;
    out.append(buffer, p - buffer);
}

void appendNumber(QByteArray& out, double value)
{
    if (!std::isfinite(value))
        return;
    if (value == 0.0)
        value = 0.0;  // no "-0"
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 15);
    out.append(buffer, result.ptr - buffer);
}

void appendRow(QByteArray& out, std::int64_t timeUs, const QByteArray& nameField, double raw, double value, bool hex)
{
    appendTime(out, timeUs);
    out.append(',');
    out.append(nameField);
    out.append(',');
    appendNumber(out, raw);
    out.append(',');
    if (hex && value >= 0 && value <= 4294967295.0)
        out.append(QByteArray::number(static_cast<qulonglong>(value), 16).toUpper());
    else
        appendNumber(out, value);
    out.append("\r\n", 2);
}

std::int64_t writeSeries(QIODevice& device, std::span<const Source> sources, std::int64_t fromUs, std::int64_t toUs)
{
    constexpr qsizetype kBlock = 1 << 16;
    QByteArray block;
    block.reserve(kBlock + 256);
    block.append(kHeader);
    auto flush = [&] {
        const bool written = device.write(block) == block.size();
        block.clear();
        return written;
    };
    std::vector<PlotSeries::Cursor> cursors;
    cursors.reserve(sources.size());
    for (const Source& s : sources)
        cursors.push_back(s.series->exactPoints(fromUs, toUs));
    std::int64_t rows = 0;
    for (;;) {
        std::size_t next = cursors.size();
        for (std::size_t i = 0; i < cursors.size(); ++i) {
            if (!cursors[i].atEnd() && (next == cursors.size() || cursors[i].point().timeUs < cursors[next].point().timeUs))
                next = i;
        }
        if (next == cursors.size())
            break;
        const PlotSeries::Point& p = cursors[next].point();
        const PlotSeries& series = *sources[next].series;
        appendRow(block, p.timeUs, sources[next].nameField, p.raw, series.valueOf(p.raw), series.isHex());
        ++rows;
        cursors[next].next();
        if (block.size() >= kBlock && !flush())
            return -1;
    }
    if (!flush())
        return -1;
    return rows;
}

}  // namespace tellvane::csv
