#pragma once

#include <QDateTime>
#include <QString>

namespace tellvane {

// The run's save log: the log folder, then the start time as
// "yyyy-MMM-dd_hhmmss" with English month names, then ".txt"
// (for example 2011-Feb-03_140509.txt), whatever the user's locale. The log
// takes "_2", "_3" ... before ".txt" when another instance has the name.
QString saveLogFileName(const QString& logFolder, const QDateTime& startTime);

// A recording of a board's values, named like the save log after the time it
// starts, with the board and ".csv" (2011-Feb-03_140509_1201-0003_33.csv).
// The recorder makes it, or one with "-2", "-3" ... before ".csv" when that
// name is taken.
QString recordingFileName(const QString& logFolder, const QDateTime& startTime, const QString& board);

}  // namespace tellvane
