#include "diagnostics/ConfigLine.h"

#include "core/Failure.h"

#include <QStringDecoder>

namespace tellvane::config {

namespace {
QString trimSpaces(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}
}  // namespace

QString stringTrim(const QString& text)
{
    QString cleaned = text;
    cleaned.remove(QLatin1Char('\t'));
    return trimSpaces(cleaned);
}

bool isCommentOrEmpty(const QString& cleaned)
{
    return cleaned.isEmpty() || cleaned.at(0) == QLatin1Char('\'');
}

QString getNextLineItem(int& stringPnt, const QString& line)
{
    const qsizetype from = stringPnt - 1;
    if (from < 0 || from >= line.size())
        return QString();
    const qsizetype comma = line.indexOf(QLatin1Char(','), from);
    QString item;
    if (comma >= 0) {
        item = line.mid(from, comma - from);
        stringPnt = static_cast<int>(comma) + 2;
    } else {
        item = line.mid(from);
        stringPnt = static_cast<int>(line.size()) + 1;
    }
    return trimSpaces(item);
}

QStringList readConfigLine(const QString& line)
{
    QStringList items;
    int stringPnt = 1;
    while (stringPnt <= line.size()) {
        QString item = getNextLineItem(stringPnt, line);
        if (item.isEmpty())
            continue;
        if (items.size() >= 32767)
            throw Failure(FailureCode::Overflow);
        items.append(std::move(item));
    }
    return items;
}

QString decodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        // Not UTF-8 after all, though it may have been marked so: the mark
        // is not text in any other reading either.
        const QByteArrayView mark("\xEF\xBB\xBF");
        text = QString::fromLatin1(bytes.startsWith(mark) ? QByteArrayView(bytes).sliced(mark.size()) : QByteArrayView(bytes));
    }
    return text;
}

QStringList splitLines(const QByteArray& bytes)
{
    QStringList lines;
    forEachLine(decodeText(bytes), [&](const QString& line) { lines.append(line); });
    return lines;
}

}  // namespace tellvane::config
