#include "app/SaveLogName.h"

#include <QFileInfo>
#include <QLocale>

namespace tellvane {

QString saveLogFileName(const QString& logFolder, const QDateTime& startTime)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return logFolder + english.toString(startTime, QStringLiteral("yyyy-MMM-dd_HHmmss")) + QStringLiteral(".txt");
}

QString recordingFileName(const QString& logFolder, const QDateTime& startTime, const QString& board)
{
    QString stem = saveLogFileName(logFolder, startTime);
    stem.chop(4);  // ".txt"
    stem += QLatin1Char('_') + board;
    for (int n = 1; n <= 99; ++n) {
        const QString name = stem + (n == 1 ? QString() : QLatin1Char('-') + QString::number(n)) + QStringLiteral(".csv");
        if (!QFileInfo::exists(name))
            return name;
    }
    return {};
}

}  // namespace tellvane
