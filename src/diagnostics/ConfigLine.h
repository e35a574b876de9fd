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

// A file's text as lines. Lines end in CR LF, LF or CR. Text that is not valid
// UTF-8 is read byte for byte (Latin-1), so no byte is ever lost.
QStringList splitLines(const QByteArray& bytes);

}  // namespace tellvane::config
