#include "monitor/ModeImages.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace tellvane {

QPixmap liveModeImage()
{
    QPixmap image(45, 30);
    image.fill(QColor(0, 64, 0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A stretch of bus traffic: the two CAN lines as square waves.
    QPainterPath high;
    QPainterPath low;
    const int bits[] = {1, 0, 0, 1, 0, 1, 1, 0, 1};
    high.moveTo(2, 8);
    low.moveTo(2, 22);
    for (int i = 0; i < 9; ++i) {
        const int x0 = 2 + i * 4 + (i > 0 ? 1 : 0);
        const int y = bits[i] ? 5 : 10;
        high.lineTo(x0, y);
        high.lineTo(x0 + 4, y);
        low.lineTo(x0, 30 - y);
        low.lineTo(x0 + 4, 30 - y);
    }
    p.setPen(QPen(QColor(120, 255, 120), 1.5));
    p.drawPath(high);
    p.setPen(QPen(QColor(255, 230, 80), 1.5));
    p.drawPath(low);
    QFont font;
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 10, 45, 11), Qt::AlignCenter, QStringLiteral("LIVE"));
    return image;
}

QPixmap fileModeImage()
{
    QPixmap image(45, 30);
    image.fill(QColor(32, 48, 112));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A sheet of log lines with a folded corner.
    QPainterPath sheet;
    sheet.moveTo(13, 3);
    sheet.lineTo(27, 3);
    sheet.lineTo(32, 8);
    sheet.lineTo(32, 27);
    sheet.lineTo(13, 27);
    sheet.closeSubpath();
    p.fillPath(sheet, Qt::white);
    p.setPen(QColor(160, 160, 160));
    p.drawLine(27, 3, 27, 8);
    p.drawLine(27, 8, 32, 8);
    p.setPen(QPen(QColor(32, 48, 112), 1));
    for (int y = 11; y <= 24; y += 3)
        p.drawLine(16, y, 29, y);
    return image;
}

}  // namespace tellvane
