#pragma once

#include <QString>

namespace tellvane {

// The per-user data folder of the program, ending in "/": the platform's
// per-user local data folder followed by "Velmarco/". When the platform names
// none, the home folder takes its place.
QString getDataFolder();

// The same rule for a given base folder; an empty base takes the fallback.
QString dataFolderFrom(const QString& localDataBase);

// The folder of this run's log files below the data folder.
inline QString logFolderOf(const QString& dataFolder) { return dataFolder + QStringLiteral("Tellvane/"); }

}  // namespace tellvane
