#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace tellvane {

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(18, 110, 60));
        p.drawRoundedRect(QRectF(2 * u, 1 * u, 12 * u, 9 * u), 1.5 * u, 1.5 * u);
        p.setBrush(QColor(30, 30, 30));
        p.drawRect(QRectF(5 * u, 3.5 * u, 6 * u, 4 * u));
        p.setBrush(QColor(240, 200, 60));
        p.drawRect(QRectF(0, 13 * u, 16 * u, 1.5 * u));
        p.drawRect(QRectF(7.25 * u, 10 * u, 1.5 * u, 3 * u));
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace tellvane
