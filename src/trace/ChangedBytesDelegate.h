#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace tellvane {

// Draws a data cell ("01 02 FF") with a marker behind each byte whose bit is
// set in the cell's mask role, so that the bytes that moved stand out.
class ChangedBytesDelegate : public QStyledItemDelegate {
public:
    static inline const QColor kMarker = QColor(0xFF, 0xD8, 0x66);

    ChangedBytesDelegate(int maskRole, QObject* parent = nullptr) : QStyledItemDelegate(parent), m_maskRole(maskRole) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_maskRole;
};

}  // namespace tellvane
