#pragma once

#include "sim/SimAnimation.h"

#include <QString>

namespace tellvane {

class Adapter;
struct ScreenDefinition;

// The messages a screen decodes, each with the fields its value boxes and bit
// fields read and the bits its lamps watch: what a simulated board sends to
// make every indicator of the screen move.
SimAnimation animationOf(const ScreenDefinition& screen);

// Gives each simulated board that is to animate its screen the animation of
// the screen of its P-code in the program's Configuration folder (found from
// the program's folder as programFilesFolder finds it; or of
// previewFile, when one is given). Nothing for an adapter that is not the
// simulated bench; a board without a screen keeps its own messages.
void animateBench(Adapter& adapter, const QString& programFolder, const QString& previewFile = {});

}  // namespace tellvane
