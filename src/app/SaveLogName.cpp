#include "app/SaveLogName.h"

#include <QLocale>

namespace tellvane {

QString saveLogFileName(const QString& logFolder, const QDateTime& startTime)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return logFolder + english.toString(startTime, QStringLiteral("yyyy-MMM-dd_HHmmss")) + QStringLiteral(".txt");
}

QString recordingFileName(const QString& logFolder, const QDateTime& startTime, const QString& board)
{
    QString name = saveLogFileName(logFolder, startTime);
    name.chop(4);  // ".txt"
    return name + QLatin1Char('_') + board + QStringLiteral(".csv");
}

}  // namespace tellvane
