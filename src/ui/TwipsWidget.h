#pragma once

#include <QWidget>

namespace tellvane {

// What of a child window's title bar must be in view for a hand to take it:
// its height in pixels, as the windows of this program are drawn.
inline constexpr int kTitleBarPixels = 24;

// Places a child at a position given in twips, relative to its parent.
void placeTwips(QWidget* widget, int left, int top, int width, int height);
int toPixelsX(const QWidget* widget, int twips);
int toPixelsY(const QWidget* widget, int twips);
int toTwipsX(const QWidget* widget, int pixels);
int toTwipsY(const QWidget* widget, int pixels);

}  // namespace tellvane
