#include "core/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

namespace tellvane {

namespace {

bool holdsConfiguration(const QDir& folder)
{
    return QFileInfo(folder.filePath(QStringLiteral("Configuration"))).isDir();
}

}  // namespace

QString programFilesFolder(const QString& executableFolder)
{
    const QDir beside(executableFolder);
    if (holdsConfiguration(beside))
        return executableFolder;
    const QDir installed(QDir::cleanPath(beside.filePath(QString::fromLatin1(kInstalledFilesFromExecutable))));
    if (holdsConfiguration(installed))
        return installed.path();
    return executableFolder;
}

}  // namespace tellvane
