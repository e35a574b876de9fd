#pragma once

#include <QAbstractTableModel>

namespace tellvane {

// A table whose rows, between two refreshes, only go at the top or come at
// the bottom: it counts the rows it has told its views of, which is what
// rowCount() answers until the next refresh.
class BottomGrowingModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_rows; }

protected:
    int shownRows() const { return m_rows; }
    void growTo(int size)
    {
        if (size <= m_rows)
            return;
        beginInsertRows(QModelIndex(), m_rows, size - 1);
        m_rows = size;
        endInsertRows();
    }
    void dropFromTop(int count)
    {
        if (count <= 0)
            return;
        beginRemoveRows(QModelIndex(), 0, count - 1);
        m_rows -= count;
        endRemoveRows();
    }
    void resetTo(int size)
    {
        beginResetModel();
        m_rows = size;
        endResetModel();
    }

private:
    int m_rows = 0;
};

}  // namespace tellvane
