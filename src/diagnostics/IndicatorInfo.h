#pragma once

#include "diagnostics/ScreenDefinition.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tellvane {

enum class IndicatorKind : std::uint8_t { Lamp, Value, BitField };

// What a plot or a recording says of an indicator of a screen: what it is
// called on the screen and in which units its value comes.
struct IndicatorInfo {
    std::int16_t cntrlIndex = -1;
    IndicatorKind kind = IndicatorKind::Value;
    // The label beside it on the screen, else its tip, else the control's name.
    QString caption;
    // The literal text that follows the number in its display pattern
    // ("0.0\" bar\"" -> "bar"); empty when there is none.
    QString unit;
    QString controlName;
    bool isSigned = false;
    float m = 1.0f;
    float b = 0.0f;
    // The box shows its value in hexadecimal.
    bool hexDisplay = false;
};

// Every lamp, value box and bit-field box of a screen whose control was
// made, in the order of the control table.
std::vector<IndicatorInfo> screenIndicators(const ScreenDefinition& definition);
// The indicator whose control has this number; none for any other control.
std::optional<IndicatorInfo> indicatorOf(const ScreenDefinition& definition, int cntrlIndex);

// Where each indicator of a screen is on the screen built again from its
// changed files; -1 where it is gone. An indicator is known by its caption and
// kind (the k-th of a caption is the k-th again), not by its control's name,
// which comes from its place in the file: a line added above would rename it.
// One found whose value is read otherwise (signedness, M, B, hexadecimal) is
// gone too: its values before and after would not be on one scale.
std::vector<int> indicatorsAfterRebuild(const std::vector<IndicatorInfo>& before, const std::vector<IndicatorInfo>& after);

// The unit a display pattern writes after the number of its first section.
// A percent sign outside quotes scales the number by 100, so the value itself
// has no unit then.
QString patternUnit(const QString& pattern);

// M or B as the decimal number the file wrote (0.01, not the 0.00999999977648258
// its 32-bit float holds), for values that leave the screen with all their digits.
double decimalOf(float number);

}  // namespace tellvane
