#include "diagnostics/DynControl.h"

#include "core/Twips.h"
#include "diagnostics/DynFrame.h"
#include "diagnostics/DynLabel.h"
#include "diagnostics/DynShape.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/DynTextBox.h"
#include "diagnostics/ScreenDefinition.h"

#include <QPalette>
#include <QWidget>

namespace tellvane {

QColor colourFromValue(std::int32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

Qt::Alignment horizontalAlignment(int alignment)
{
    switch (alignment) {
    case 1:
        return Qt::AlignRight;
    case 2:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

void setPaletteColours(QWidget* w, std::int32_t back, std::int32_t fore)
{
    QPalette palette = w->palette();
    if (back >= 0) {
        palette.setColor(QPalette::Window, colourFromValue(back));
        palette.setColor(QPalette::Base, colourFromValue(back));
        w->setAutoFillBackground(true);
    }
    if (fore >= 0) {
        palette.setColor(QPalette::WindowText, colourFromValue(fore));
        palette.setColor(QPalette::Text, colourFromValue(fore));
    }
    w->setPalette(palette);
}

void DynControl::applyDefinition(const ControlDefinition& definition)
{
    for (int p = 0; p < kPropertyCount; ++p) {
        const auto property = static_cast<Property>(p);
        if (definition.isSet(property))
            apply(property, definition.value(property));
    }
}

void DynControl::apply(Property property, const QVariant& value)
{
    switch (property) {
    case Property::Top:
        m_top = value.toInt();
        applyGeometry();
        break;
    case Property::Left:
        m_left = value.toInt();
        applyGeometry();
        break;
    case Property::Width:
        m_width = value.toInt();
        applyGeometry();
        break;
    case Property::Height:
        m_height = value.toInt();
        applyGeometry();
        break;
    case Property::Visible:
        widget()->setVisible(value.toBool());
        break;
    case Property::BackColor:
        m_back = value.toInt();
        coloursChanged();
        break;
    case Property::ForeColor:
        m_fore = value.toInt();
        coloursChanged();
        break;
    case Property::ToolTipText:
        widget()->setToolTip(value.toString());
        break;
    default:
        applyOwn(property, value);
        break;
    }
}

void DynControl::coloursChanged()
{
    widget()->update();
}

void DynControl::applyGeometry()
{
    QWidget* w = widget();
    w->setGeometry(twipsToPixels(m_left, w->logicalDpiX()), twipsToPixels(m_top, w->logicalDpiY()),
                   twipsToPixels(m_width, w->logicalDpiX()), twipsToPixels(m_height, w->logicalDpiY()));
}

DynControl* DynControl::create(ControlKind kind, const QString& name, QWidget* parent)
{
    DynControl* control = nullptr;
    switch (kind) {
    case ControlKind::Label:
        control = new DynLabel(parent);
        break;
    case ControlKind::Frame:
        control = new DynFrame(parent);
        break;
    case ControlKind::TabContainer:
        control = new DynTabContainer(parent);
        break;
    case ControlKind::Shape:
        control = new DynShape(parent);
        break;
    case ControlKind::TextBox:
        control = new DynTextBox(parent);
        break;
    }
    control->widget()->setObjectName(name);
    control->widget()->hide();
    return control;
}

}  // namespace tellvane
