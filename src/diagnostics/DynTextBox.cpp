#include "diagnostics/DynTextBox.h"

#include <QPainter>

namespace tellvane {

DynTextBox::DynTextBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    m_back = 0xFFFFFF;
    m_fore = 0x000000;
}

void DynTextBox::setTextValue(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

void DynTextBox::applyOwn(Property property, const QVariant& value)
{
    if (property == Property::Text) {
        setTextValue(value.toString());
    } else if (property == Property::Alignment) {
        m_alignment = value.toInt();
        update();
    }
}

void DynTextBox::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), colourFromValue(m_back));
        painter.setPen(colourFromValue(m_fore));
        painter.drawText(contentsRect().adjusted(3, 0, -3, 0), horizontalAlignment(m_alignment) | Qt::AlignVCenter, m_text);
    }
    QFrame::paintEvent(event);
}

}  // namespace tellvane
