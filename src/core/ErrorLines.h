#pragma once

#include <QString>
#include <QStringList>

namespace tellvane {

// Cuts an error-list message into list lines: up to 65 characters on the first
// line; every following line starts "-->" with up to 65 more, except that a
// rest of 66 to 75 characters stays on one last line.
//   65 characters  -> one line
//   66 characters  -> 65, then "-->" + the last one
//   140 characters -> 65, then "-->" + 75
//   141 characters -> 65, "-->" + 65, "-->" + 11
QStringList splitErrorMessage(const QString& message);

}  // namespace tellvane
