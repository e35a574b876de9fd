#pragma once

#include <QLabel>

namespace tellvane {

// A label or picture that answers clicks.
class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A coloured status tag: centred caption on a solid background.
QLabel* makeTag(QWidget* parent, const QString& name, const QString& caption, const QColor& background);
void setTagColour(QLabel* tag, const QColor& background);

}  // namespace tellvane
