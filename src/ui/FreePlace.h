#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace tellvane {

// The room a window keeps from the next one placed beside or below it.
inline constexpr int kFreePlaceGap = 6;

// Where a new window of this size goes in the frame's area, among windows
// already there (their outer rectangles): the highest, then leftmost, place
// where it covers none of them; when none is free, the place in the area that
// hides the fewest title bars (titleBarHeight high), then the least of the
// other windows. None when the window is larger than the area.
std::optional<QPoint> freePlace(const QRect& area, const QList<QRect>& windows, const QSize& size, int titleBarHeight);

// The index'th place of a cascade for a window larger than the area: within
// the area as far as the size allows.
QPoint cascadePlace(const QRect& area, const QSize& size, int index);

// A size the frame shows whole: at most the frame, at least the minimum.
QSize fitToFrame(const QSize& size, const QSize& frame, const QSize& minimum);

}  // namespace tellvane
