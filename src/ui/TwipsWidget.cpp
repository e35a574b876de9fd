#include "ui/TwipsWidget.h"

#include "core/Twips.h"

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

}  // namespace tellvane
