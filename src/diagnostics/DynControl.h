#pragma once

#include "diagnostics/ControlProperties.h"

#include <QColor>
#include <QString>
#include <QVariant>

#include <cstdint>

class QWidget;

namespace tellvane {

class ControlDefinition;

// A control of a diagnostic screen made at run time from its definition. The
// values it takes were converted and checked when the definition was built,
// so making it never fails.
class DynControl {
public:
    virtual ~DynControl() = default;

    virtual QWidget* widget() = 0;
    virtual ControlKind kind() const = 0;
    // Where controls made inside this one go: the control itself, or a page
    // of a tab container. Null for kinds that hold no controls.
    virtual QWidget* childParent(int page)
    {
        Q_UNUSED(page)
        return nullptr;
    }

    // Every property the definition sets, in the order of Property.
    virtual void applyDefinition(const ControlDefinition& definition);
    // One converted value (ControlDefinition::value); geometry in twips.
    void apply(Property property, const QVariant& value);

    // Makes a control of a kind, hidden until its Visible is applied.
    static DynControl* create(ControlKind kind, const QString& name, QWidget* parent);

protected:
    // The properties of the kind beyond place, size, visibility, colours and tip.
    virtual void applyOwn(Property property, const QVariant& value) = 0;
    // BackColor or ForeColor was set; by default the control paints anew.
    virtual void coloursChanged();
    void applyGeometry();

    int m_top = 0;
    int m_left = 0;
    int m_width = 0;
    int m_height = 0;
    std::int32_t m_back = -1;  // 0x00BBGGRR, -1 the toolkit's
    std::int32_t m_fore = -1;
};

// A colour of the configuration language (0x00BBGGRR) as a QColor.
QColor colourFromValue(std::int32_t bgr);
// Alignment 0 left, 1 right, 2 centre.
Qt::Alignment horizontalAlignment(int alignment);
// A widget's own background and text colours; -1 keeps the toolkit's.
void setPaletteColours(QWidget* widget, std::int32_t back, std::int32_t fore);

}  // namespace tellvane
