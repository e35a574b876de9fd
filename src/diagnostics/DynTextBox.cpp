#include "diagnostics/DynTextBox.h"

#include <QPainter>

namespace tellvane {

DynTextBox::DynTextBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
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
    switch (property) {
    case Property::Text:
        setTextValue(value.toString());
        break;
    case Property::Alignment:
        m_alignment = value.toInt();
        update();
        break;
    case Property::BackColor:
        m_back = value.toInt();
        update();
        break;
    case Property::ForeColor:
        m_fore = value.toInt();
        update();
        break;
    case Property::ToolTipText:
        setToolTip(value.toString());
        break;
    default:
        break;
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
