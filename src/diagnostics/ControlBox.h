#pragma once

#include "diagnostics/ScreenDefinition.h"

namespace tellvane {

// Where a control lies, in twips.
struct ControlBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
};

inline ControlBox boxOf(const ControlDefinition& c)
{
    return {c.value(Property::Left).toInt(), c.value(Property::Top).toInt(), c.value(Property::Width).toInt(),
            c.value(Property::Height).toInt()};
}

}  // namespace tellvane
