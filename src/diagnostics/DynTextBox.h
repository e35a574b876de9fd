#pragma once

#include "diagnostics/DynControl.h"

#include <QFrame>

namespace tellvane {

// A value box: shows a text, the value of a BWLTEXT or BFTEXT indicator.
class DynTextBox final : public QFrame, public DynControl {
public:
    explicit DynTextBox(QWidget* parent);
    QWidget* widget() override { return this; }
    ControlKind kind() const override { return ControlKind::TextBox; }

    // The decoder's way in: a repaint only when the text changes.
    void setTextValue(const QString& text);
    QString text() const { return m_text; }

protected:
    void applyOwn(Property property, const QVariant& value) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_alignment = 0;
};

}  // namespace tellvane
