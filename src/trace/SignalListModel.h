#pragma once

#include "signals/SignalRef.h"

#include <QAbstractTableModel>

#include <vector>

namespace tellvane {

// The signals of the databases loaded, one row each (a J1939 group's signal
// once for each source address seen): what the trace's "All signals" list
// shows and plots are chosen from. A row whose group has not been seen from
// any source yet can be neither chosen nor plotted.
class SignalListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { SignalColumn, UnitColumn, MessageColumn, DatabaseColumn, CommentColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void setSignals(std::vector<dbc::SignalRef> signalList);
    const dbc::SignalRef& ref(int row) const { return m_signals.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<dbc::SignalRef> m_signals;
    std::vector<QString> m_keys;  // worked out once: the filter reads them for every row
};

}  // namespace tellvane
