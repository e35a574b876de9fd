#pragma once

#include <QIcon>

namespace tellvane {

// The program's icon, drawn in code: a board on a bus line.
QIcon appIcon();

}  // namespace tellvane
