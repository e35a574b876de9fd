#pragma once

#include <QDateTime>
#include <QString>

namespace tellvane {

// The run's save log: the log folder, then the start time as
// "yyyy-MMM-dd_hhmmss" with English month names, then ".txt"
// (for example 2011-Feb-03_140509.txt), whatever the user's locale.
QString saveLogFileName(const QString& logFolder, const QDateTime& startTime);

}  // namespace tellvane
