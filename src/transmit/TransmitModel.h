#pragma once

#include "transmit/TransmitRow.h"

#include <QAbstractTableModel>

#include <vector>

namespace tellvane {

class TransmitScheduler;

// The transmit window's table: the rows of a list, edited in place. The J1939
// columns of an extended identifier are views of it, so typing either keeps
// both in step. An edit that would make a row unsendable, or that touches a
// row being sent, is refused with the reason (editRefused). Each row carries
// a key of its own for the scheduler, so that its count and whether it runs
// stay with it when rows before it are removed.
class TransmitModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Name,
        Identifier,
        Extended,
        Priority,
        Pgn,
        Source,
        Destination,
        Length,
        Data,
        Period,
        Count,
        Enabled,
        Sent,
        ColumnCount
    };
    // True for the cells of a row being sent (the window draws them marked).
    static constexpr int RunningRole = Qt::UserRole + 1;
    static constexpr int kMaxNameLength = 200;

    explicit TransmitModel(const TransmitScheduler& scheduler, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    const std::vector<TransmitRow>& rows() const { return m_rows; }
    const TransmitRow& row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    int keyOf(int row) const { return m_keys[static_cast<std::size_t>(row)]; }

    // A list of its own (opened, new): new keys, nothing marked as sent.
    void setRows(std::vector<TransmitRow> rows);
    // Appends what fits below the most a list holds; how many were appended.
    int appendRows(const std::vector<TransmitRow>& rows);
    // Removes the rows; refused, with why, when one of them is being sent.
    QString removeRowsAt(QList<int> rows);
    // The counts sent and the marks of the running rows, brought up to date.
    void refreshSending();

signals:
    // An edit was refused: which row, which column, and why.
    void editRefused(const QString& why);
    // A row was edited, added or removed (not when a whole list is set).
    void listChanged();

private:
    // The row with the cell's new value; false with why when the text is no value.
    bool edit(TransmitRow& row, int column, const QVariant& value, int role, QString& why) const;
    QString text(const TransmitRow& row, int column, bool editing) const;

    const TransmitScheduler& m_scheduler;
    std::vector<TransmitRow> m_rows;
    std::vector<int> m_keys;
    int m_nextKey = 0;
};

}  // namespace tellvane
