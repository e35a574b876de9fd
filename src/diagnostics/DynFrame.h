#pragma once

#include "diagnostics/DynControl.h"

#include <QGroupBox>

namespace tellvane {

// FRAME: a box with a caption that holds the controls made after it.
class DynFrame final : public QGroupBox, public DynControl {
public:
    explicit DynFrame(QWidget* parent);
    QWidget* widget() override { return this; }
    ControlKind kind() const override { return ControlKind::Frame; }
    QWidget* childParent(int) override { return this; }

protected:
    void applyOwn(Property property, const QVariant& value) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tellvane
