#include "ui/TwipsWidget.h"

#include "core/Twips.h"

#include <QMdiSubWindow>

namespace tellvane {

int toPixelsX(const QWidget* widget, int twips)
{
    return twipsToPixels(twips, widget->logicalDpiX());
}

int toPixelsY(const QWidget* widget, int twips)
{
    return twipsToPixels(twips, widget->logicalDpiY());
}

int toTwipsX(const QWidget* widget, int pixels)
{
    return pixelsToTwips(pixels, widget->logicalDpiX());
}

int toTwipsY(const QWidget* widget, int pixels)
{
    return pixelsToTwips(pixels, widget->logicalDpiY());
}

void placeTwips(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixelsX(widget, left), toPixelsY(widget, top), toPixelsX(widget, width),
                        toPixelsY(widget, height));
}

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

}  // namespace tellvane
