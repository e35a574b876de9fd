#include "core/DataFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace tellvane {

QString dataFolderFrom(const QString& localDataBase)
{
    QString base = localDataBase;
    if (base.isEmpty())
        base = QDir::homePath();
    if (base.isEmpty())
        base = QDir::tempPath();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("Velmarco/");
}

QString getDataFolder()
{
    return dataFolderFrom(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

}  // namespace tellvane
