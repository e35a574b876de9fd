#include "app/SaveLogName.h"

#include <QLocale>

namespace tellvane {

QString saveLogFileName(const QString& logFolder, const QDateTime& startTime)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return logFolder + english.toString(startTime, QStringLiteral("yyyy-MMM-dd_HHmmss")) + QStringLiteral(".txt");
}

}  // namespace tellvane
