#include "diagnostics/DynLabel.h"

#include "core/Twips.h"

namespace tellvane {

DynLabel::DynLabel(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(true);
}

void DynLabel::applyOwn(Property property, const QVariant& value)
{
    switch (property) {
    case Property::Caption:
        setText(value.toString());
        if (m_autoSize)
            adjustSize();
        break;
    case Property::Alignment:
        setAlignment(horizontalAlignment(value.toInt()) | Qt::AlignTop);
        break;
    case Property::AutoSize:
        // The label takes the size of its caption on one line.
        m_autoSize = value.toBool();
        setWordWrap(!m_autoSize);
        if (m_autoSize) {
            adjustSize();
            m_width = pixelsToTwips(width(), logicalDpiX());
            m_height = pixelsToTwips(height(), logicalDpiY());
        }
        break;
    default:
        break;
    }
}

}  // namespace tellvane
