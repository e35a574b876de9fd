#pragma once

#include "diagnostics/DynControl.h"

#include <QLabel>

namespace tellvane {

// A caption: LABEL, and the text beside a lamp.
class DynLabel final : public QLabel, public DynControl {
public:
    explicit DynLabel(QWidget* parent);
    QWidget* widget() override { return this; }
    ControlKind kind() const override { return ControlKind::Label; }

protected:
    void applyOwn(Property property, const QVariant& value) override;
    void coloursChanged() override { setPaletteColours(this, m_back, m_fore); }

private:
    bool m_autoSize = false;
};

}  // namespace tellvane
