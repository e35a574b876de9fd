#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tellvane::config {

// The line syntax of configuration and group files:
//
//   "\tLABEL ,  Speed,, 3600,120 "   cleans to "LABEL ,  Speed,, 3600,120"
//                                    and splits to LABEL | Speed | 3600 | 120
//   "   ' a note"                    is a comment; so is a line of blanks or tabs
//
// Clean-up removes every tab, then the spaces at both ends. Items are split at
// every comma, lose their end spaces, and empty items are dropped. There is no
// quoting: no item can hold a comma.

// StringTrim: every tab removed, then the spaces (only spaces) at both ends.
QString stringTrim(const QString& text);

// A cleaned line that carries no command.
bool isCommentOrEmpty(const QString& cleaned);

// GetNextLineItem: the item from position stringPnt (1-based) up to the next
// comma, or to the end of the line; stringPnt moves past it. Past the end of
// the line the item is empty and stringPnt stays.
QString getNextLineItem(int& stringPnt, const QString& line);

// ReadConfigLine: the line's non-empty items. Throws Failure(Overflow) beyond
// 32767 items (the item count is a 16-bit number).
QStringList readConfigLine(const QString& line);

// A file's text: text that is not valid UTF-8 is read byte for byte
// (Latin-1), so no byte is ever lost.
QString decodeText(const QByteArray& bytes);

// Each line of a text in turn, without a list of them all. Lines end in
// CR LF, LF or CR.
template <typename Visit>
void forEachLine(const QString& text, Visit visit)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        visit(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        visit(text.mid(start));
}

// The lines of a file's bytes, decoded as decodeText does.
QStringList splitLines(const QByteArray& bytes);

}  // namespace tellvane::config
