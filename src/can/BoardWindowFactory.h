#pragma once

#include "can/BoardWindowHandle.h"

namespace tellvane {

// Makes board windows (CreateNewForm's window).
class BoardWindowFactory {
public:
    virtual ~BoardWindowFactory() = default;
    virtual BoardWindowHandle* makeBoardWindow() = 0;
};

}  // namespace tellvane
