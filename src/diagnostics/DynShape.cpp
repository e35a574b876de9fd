#include "diagnostics/DynShape.h"

#include <QPainter>

namespace tellvane {

DynShape::DynShape(QWidget* parent) : QWidget(parent)
{
    m_back = 0xFFFFFF;
}

void DynShape::setBackColorValue(std::int32_t bgr)
{
    if (bgr == m_back)
        return;
    m_back = bgr;
    update();
}

void DynShape::applyOwn(Property property, const QVariant& value)
{
    if (property == Property::BackStyle) {
        m_backStyle = value.toInt();
        update();
    }
}

void DynShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_backStyle == 1)
        painter.fillRect(rect(), colourFromValue(m_back));
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace tellvane
