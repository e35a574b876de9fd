#pragma once

#include "ui/TwipsWidget.h"

#include <QPoint>
#include <QSize>
#include <QWidget>

class QMdiSubWindow;

namespace tellvane {

// The content of a child window of the main window. Sizes and positions of the
// window are its outer ones (frame and title included), in twips, as the
// windows of this program keep them.
class MdiChild : public QWidget {
    Q_OBJECT

public:
    explicit MdiChild(QWidget* parent = nullptr);

    QMdiSubWindow* subWindow() const;

    // A size the window keeps: it cannot be resized or maximised.
    void setOuterSizeTwips(int width, int height);
    // A size to start with, at most the frame's; the user may resize and
    // maximise the window, down to `minimum` pixels.
    void setResizableOuterSizeTwips(int width, int height, QSize minimum);
    int outerWidthTwips() const;
    int outerHeightTwips() const;
    int outerTopTwips() const;
    int outerLeftTwips() const;
    void moveOuterTwips(int top, int left);
    // Puts the window at a place kept from an earlier run (twips), when that
    // place is a number a window can take and leaves its title bar within
    // reach; false, and the window stays where it is, otherwise.
    bool moveToKeptPlaceTwips(double top, double left);
    // Whether the window, put at this outer place (pixels in the frame), can
    // be taken by its title bar: the title bar lies on the frame (or, before
    // the frame is shown, on the screen), at least a hand's width of it.
    bool withinReach(QPoint place) const;
};

}  // namespace tellvane
