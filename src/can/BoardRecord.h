#pragma once

#include "can/BoardWindowHandle.h"

#include <cstdint>

namespace tellvane {

// One slot of the board table.
struct BoardRecord {
    std::int16_t nodeAddress = -1;       // the board's address; -1 once its window has closed
    BoardWindowHandle* window = nullptr;  // cleared with the window, so it never dangles
    bool diagMode = false;
};

}  // namespace tellvane
