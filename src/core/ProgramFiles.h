#pragma once

#include <QString>

namespace tellvane {

// The folder that holds the files shipped with the program (Configuration/ and
// help/), found from the folder of the running executable:
//   1. the executable's own folder, when a Configuration/ folder lies there
//      (a build tree, or the program copied together with its files);
//   2. ../share/tellvane from the executable's folder, when a Configuration/
//      folder lies there (the installed package: /usr/bin and
//      /usr/share/tellvane, or the same pair unpacked anywhere else);
//   3. otherwise the executable's own folder, so that what is missing is
//      reported where a build puts it.
// The result is absolute and clean when the executable's folder is.
QString programFilesFolder(const QString& executableFolder);

// Where the installed layout puts the shipped files, from the executable's
// folder; the install rules of the build use the same two folders.
inline constexpr const char* kInstalledFilesFromExecutable = "../share/tellvane";

}  // namespace tellvane
