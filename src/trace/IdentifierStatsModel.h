#pragma once

#include "trace/BottomGrowingModel.h"
#include "trace/IdentifierStats.h"

#include <cstdint>
#include <vector>

namespace tellvane {

// The bus trace's table of identifiers: one row per identifier, refreshed on
// the window's timer (new identifiers come at the bottom, the rest change in
// place). The data cell's ChangedBytesRole is the mask of the bytes that
// changed since that identifier's frame before (bit 0 the first byte); its
// SortRole orders the identifiers, counts and times by their values.
class IdentifierStatsModel : public BottomGrowingModel {
    Q_OBJECT
public:
    enum Column { Identifier, Direction, Count, Period, MeanPeriod, Length, Data, SinceLast, ColumnCount };
    static constexpr int ChangedBytesRole = Qt::UserRole + 1;
    // What a column sorts by: numbers as numbers.
    static constexpr int SortRole = Qt::UserRole + 2;

    explicit IdentifierStatsModel(const IdentifierStats& stats, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // nowUs: the trace's time now, from which "since last" counts.
    void refresh(std::int64_t nowUs);
    // Paused, the table keeps the rows it showed.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }

private:
    const std::vector<IdentifierStats::Row>& rows() const { return m_paused ? m_frozen : m_stats.rows(); }

    const IdentifierStats& m_stats;
    std::vector<IdentifierStats::Row> m_frozen;
    bool m_paused = false;
    std::int64_t m_nowUs = 0;
};

}  // namespace tellvane
