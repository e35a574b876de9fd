#include "trace/ChangedBytesDelegate.h"

#include <QApplication>
#include <QPainter>

namespace tellvane {

void ChangedBytesDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int mask = index.data(m_maskRole).toInt();
    if (mask == 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString text = item.text;
    // The cell's background and selection as the style draws them, the text
    // drawn here over the markers.
    item.text.clear();
    const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget)
                           .adjusted(style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1, 0, 0, 0);
    const QFontMetrics metrics(item.font);
    painter->save();
    painter->setFont(item.font);
    painter->setClipRect(area);
    const bool selected = item.state & QStyle::State_Selected;
    const QColor textColour = item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    int x = area.left();
    // Bytes are two hex digits and a space apart.
    for (qsizetype at = 0, byte = 0; at < text.size(); at += 3, ++byte) {
        const QString digits = text.mid(at, 2);
        const int width = metrics.horizontalAdvance(digits);
        if (byte < 31 && (mask & (1 << byte))) {
            painter->fillRect(QRect(x - 1, area.top() + 1, width + 2, area.height() - 2), kMarker);
            painter->setPen(Qt::black);
        } else {
            painter->setPen(textColour);
        }
        painter->drawText(QRect(x, area.top(), width, area.height()), Qt::AlignVCenter | Qt::AlignLeft, digits);
        x += metrics.horizontalAdvance(text.mid(at, 3));
    }
    painter->restore();
}

}  // namespace tellvane
