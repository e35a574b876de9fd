#pragma once

#include <QPixmap>

namespace tellvane {

// The two 45 x 30 pictures of the monitor's mode switch, drawn in code.
QPixmap liveModeImage();
QPixmap fileModeImage();

}  // namespace tellvane
