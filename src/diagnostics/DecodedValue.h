#pragma once

#include "can/CanMessage.h"

#include <cstdint>

namespace tellvane {

struct ScreenDefinition;

// One indicator's value as a diagnostic frame gave it: the lamp or value box
// (its number in the screen's control table), the raw number taken from the
// frame (a lamp's byte AND its mask), the value (raw x M + B; a lamp 1 when
// lit, else 0) and the frame's time on its time line (the bus's session time,
// or a played log's).
struct DecodedValue {
    std::int16_t cntrlIndex = 0;
    double raw = 0.0;
    double value = 0.0;
    LineTime time;
};

// Sees every value a diagnostic screen decodes, in the order the screen
// updates its indicators. While none is attached the screen pays one check of
// a pointer for each indicator it updates.
class DecodedValueObserver {
public:
    virtual ~DecodedValueObserver() = default;
    virtual void valueDecoded(const DecodedValue& value) = 0;
    // The screen's controls are gone (diagnostic mode left, another screen
    // built, the window closed): the observer is detached and hears nothing
    // more. It must not reach for the window from here: the window may be
    // half destroyed.
    virtual void screenClosed() = 0;
    // The same screen was built again from its changed files: the observer
    // stays, and hears the values of the new controls from now on.
    virtual void screenRebuilt(const ScreenDefinition& before, const ScreenDefinition& after) = 0;
};

}  // namespace tellvane
