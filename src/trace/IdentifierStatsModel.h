#pragma once

#include "trace/BottomGrowingModel.h"
#include "trace/IdentifierStats.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tellvane {

class TraceDatabases;
// The bus trace's table of identifiers: one row per identifier, refreshed on
// the window's timer (new identifiers come at the bottom, the rest change in
// place). The data cell's ChangedBytesRole is the mask of the bytes that
// changed since that identifier's frame before (bit 0 the first byte); its
// SortRole orders the identifiers, counts and times by their values.
class IdentifierStatsModel : public BottomGrowingModel {
    Q_OBJECT
public:
    enum Column { Identifier, Direction, Count, Rate, Period, MeanPeriod, Length, Data, SinceLast, Message, ColumnCount };
    static constexpr int ChangedBytesRole = Qt::UserRole + 1;
    // What a column sorts by: numbers as numbers.
    static constexpr int SortRole = Qt::UserRole + 2;
    // The time now on a time line (0: the bus's session clock; k: how far
    // the k-th replayed log has come), for "since last" and the frames a second.
    using Now = std::function<std::int64_t(std::uint16_t line)>;

    IdentifierStatsModel(const IdentifierStats& stats, Now now, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes the times now and the rows as they are.
    void refresh();
    // Paused, the table keeps the rows it showed, at the times it showed them.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    // Names the rows' messages by these (null: none); the rows shown are drawn anew.
    void setDatabases(const TraceDatabases* databases);

private:
    const std::vector<IdentifierStats::Row>& rows() const { return m_paused ? m_frozen : m_stats.rows(); }
    std::int64_t nowOf(std::uint16_t line) const { return line < m_nowByLine.size() ? m_nowByLine[line] : 0; }

    const IdentifierStats& m_stats;
    Now m_now;
    std::vector<IdentifierStats::Row> m_frozen;
    bool m_paused = false;
    const TraceDatabases* m_databases = nullptr;
    std::vector<std::int64_t> m_nowByLine;
};

}  // namespace tellvane
