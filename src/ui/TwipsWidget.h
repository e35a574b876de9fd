#pragma once

#include <QRect>
#include <QWidget>

class QMdiSubWindow;

namespace tellvane {

// Places a child at a position given in twips, relative to its parent.
void placeTwips(QWidget* widget, int left, int top, int width, int height);
int toPixelsX(const QWidget* widget, int twips);
int toPixelsY(const QWidget* widget, int twips);
int toTwipsX(const QWidget* widget, int pixels);
int toTwipsY(const QWidget* widget, int pixels);

// The content of a child window of the main window. Sizes and positions of the
// window are its outer ones (frame and title included), in twips, as the
// windows of this program keep them.
class MdiChild : public QWidget {
    Q_OBJECT

public:
    explicit MdiChild(QWidget* parent = nullptr);

    QMdiSubWindow* subWindow() const;

    void setOuterSizeTwips(int width, int height);
    int outerWidthTwips() const;
    int outerHeightTwips() const;
    int outerTopTwips() const;
    int outerLeftTwips() const;
    void moveOuterTwips(int top, int left);
};

}  // namespace tellvane
