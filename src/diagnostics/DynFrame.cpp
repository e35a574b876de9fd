#include "diagnostics/DynFrame.h"

#include <QStyleOptionGroupBox>
#include <QStylePainter>

namespace tellvane {

DynFrame::DynFrame(QWidget* parent) : QGroupBox(parent) {}

void DynFrame::applyOwn(Property property, const QVariant& value)
{
    if (property == Property::Caption)
        setTitle(value.toString());
}

void DynFrame::paintEvent(QPaintEvent*)
{
    // The frame's colours are its own: set on its palette, they would pass
    // to every control inside it.
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
