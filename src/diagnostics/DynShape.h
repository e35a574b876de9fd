#pragma once

#include "diagnostics/DynControl.h"

#include <QWidget>

namespace tellvane {

// A filled rectangle: the lamp of a BIT indicator.
class DynShape final : public QWidget, public DynControl {
public:
    explicit DynShape(QWidget* parent);
    QWidget* widget() override { return this; }
    ControlKind kind() const override { return ControlKind::Shape; }

    // The decoder's way in: a repaint only when the colour changes.
    void setBackColorValue(std::int32_t bgr);
    std::int32_t backColorValue() const { return m_back; }

protected:
    void applyOwn(Property property, const QVariant& value) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_backStyle = 0;
};

}  // namespace tellvane
