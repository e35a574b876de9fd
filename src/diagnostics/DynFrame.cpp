#include "diagnostics/DynFrame.h"

#include <QStyleOptionGroupBox>
#include <QStylePainter>

namespace tellvane {

DynFrame::DynFrame(QWidget* parent) : QGroupBox(parent) {}

void DynFrame::applyOwn(Property property, const QVariant& value)
{
    switch (property) {
    case Property::Caption:
        setTitle(value.toString());
        break;
    case Property::BackColor:
        // The frame's colours are its own: set on its palette, they would pass
        // to every control inside it.
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

void DynFrame::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    if (m_back >= 0) {
        painter.fillRect(rect(), colourFromValue(m_back));
        option.palette.setColor(QPalette::Window, colourFromValue(m_back));
    }
    if (m_fore >= 0) {
        option.textColor = colourFromValue(m_fore);
        option.palette.setColor(QPalette::WindowText, colourFromValue(m_fore));
    }
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
}

}  // namespace tellvane
