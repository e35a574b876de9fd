#include "ui/MdiChild.h"

#include <QGuiApplication>
#include <QMdiArea>
#include <QRect>
#include <QMdiSubWindow>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace tellvane {

MdiChild::MdiChild(QWidget* parent) : QWidget(parent) {}

QMdiSubWindow* MdiChild::subWindow() const
{
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void MdiChild::setOuterSizeTwips(int width, int height)
{
    const QSize size(toPixelsX(this, width), toPixelsY(this, height));
    if (QMdiSubWindow* sub = subWindow())
        sub->setFixedSize(size);
    else
        setFixedSize(size);
}

void MdiChild::setResizableOuterSizeTwips(int width, int height, QSize minimum)
{
    QWidget* outer = subWindow() ? static_cast<QWidget*>(subWindow()) : this;
    outer->setMinimumSize(minimum);
    outer->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QSize size(toPixelsX(this, width), toPixelsY(this, height));
    if (const QMdiSubWindow* sub = subWindow(); sub && sub->mdiArea())
        size = size.boundedTo(sub->mdiArea()->maximumViewportSize());
    outer->resize(size.expandedTo(minimum));
}

int MdiChild::outerWidthTwips() const
{
    const QWidget* outer = subWindow() ? static_cast<const QWidget*>(subWindow()) : this;
    return toTwipsX(this, outer->width());
}

int MdiChild::outerHeightTwips() const
{
    const QWidget* outer = subWindow() ? static_cast<const QWidget*>(subWindow()) : this;
    return toTwipsY(this, outer->height());
}

int MdiChild::outerTopTwips() const
{
    const QWidget* outer = subWindow() ? static_cast<const QWidget*>(subWindow()) : this;
    return toTwipsY(this, outer->y());
}

int MdiChild::outerLeftTwips() const
{
    const QWidget* outer = subWindow() ? static_cast<const QWidget*>(subWindow()) : this;
    return toTwipsX(this, outer->x());
}

void MdiChild::moveOuterTwips(int top, int left)
{
    QWidget* outer = subWindow() ? static_cast<QWidget*>(subWindow()) : this;
    outer->move(toPixelsX(this, left), toPixelsY(this, top));
}

bool MdiChild::withinReach(QPoint place) const
{
    constexpr int kHandWidth = 40;
    const QWidget* outer = subWindow() ? static_cast<const QWidget*>(subWindow()) : this;
    QRect room;
    if (const QMdiSubWindow* sub = subWindow(); sub && sub->mdiArea()) {
        const QMdiArea* area = sub->mdiArea();
        QSize size = area->maximumViewportSize();
        if (!area->isVisible() || size.isEmpty()) {
            const QScreen* screen = area->screen() ? area->screen() : QGuiApplication::primaryScreen();
            size = screen ? screen->availableGeometry().size() : QSize();
        }
        room = QRect(QPoint(0, 0), size);
    } else {
        const QScreen* screen = QGuiApplication::screenAt(place);
        room = screen ? screen->availableGeometry() : QRect();
    }
    const QRect caption(place, QSize(outer->width(), kTitleBarPixels));
    const QRect seen = caption.intersected(room);
    return caption.top() >= room.top() && caption.bottom() <= room.bottom()
        && seen.width() >= std::min(kHandWidth, outer->width());
}

bool MdiChild::moveToKeptPlaceTwips(double top, double left)
{
    // Far beyond any desktop, yet safe to turn into pixels.
    constexpr double kLimit = 1e7;
    if (!std::isfinite(top) || !std::isfinite(left) || std::abs(top) > kLimit || std::abs(left) > kLimit)
        return false;
    const QPoint place(toPixelsX(this, static_cast<int>(left)), toPixelsY(this, static_cast<int>(top)));
    if (!withinReach(place))
        return false;
    QWidget* outer = subWindow() ? static_cast<QWidget*>(subWindow()) : this;
    outer->move(place);
    return true;
}

}  // namespace tellvane
