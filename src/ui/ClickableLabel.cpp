#include "ui/ClickableLabel.h"

#include <QMouseEvent>

namespace tellvane {

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void setTagColour(QLabel* tag, const QColor& background)
{
    QPalette palette = tag->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, Qt::black);
    tag->setPalette(palette);
    tag->setAutoFillBackground(true);
}

QLabel* makeTag(QWidget* parent, const QString& name, const QString& caption, const QColor& background)
{
    auto* tag = new ClickableLabel(caption, parent);
    tag->setObjectName(name);
    tag->setAlignment(Qt::AlignCenter);
    tag->setFrameShape(QFrame::Panel);
    tag->setFrameShadow(QFrame::Sunken);
    setTagColour(tag, background);
    return tag;
}

}  // namespace tellvane
