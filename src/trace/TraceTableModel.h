#pragma once

#include "trace/BottomGrowingModel.h"
#include "logs/TraceFrame.h"

#include <cstdint>
#include <vector>

namespace tellvane {

class TraceDatabases;
class TraceView;

// The bus trace's table: one row per frame of a filtered view, its texts made
// only for the cells the table draws. refresh() (the window's timer) tells the
// table which rows went at the top and came at the bottom since the last call.
// Paused, the table keeps what it showed, while recording goes on behind it;
// resuming shows the view as it is then and asks to scroll to the newest row.
class TraceTableModel : public BottomGrowingModel {
    Q_OBJECT
public:
    enum Column { Time, Delta, Identifier, Priority, Pgn, Source, Destination, Direction, Length, Data, Ascii, Message, ColumnCount };
    // How far back Delta looks for the frame before of the same time line.
    static constexpr int kDeltaLookBack = 64;

    explicit TraceTableModel(TraceView& view, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void refresh();
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    // Names the rows' messages by these (null: none); the rows shown are drawn anew.
    void setDatabases(const TraceDatabases* databases);

    // The frame of a row; null when it has left the ring since the last refresh.
    const TraceFrame* frameAt(int row) const;

signals:
    void scrollToRow(int row);

private:
    void resetToView();
    // Milliseconds since the frame shown before it on its time line.
    QVariant delta(int row, const TraceFrame& frame) const;

    TraceView& m_view;
    bool m_paused = false;
    const TraceDatabases* m_databases = nullptr;
    std::vector<TraceFrame> m_frozen;
    std::uint64_t m_generation = 0;
    std::uint64_t m_letGo = 0;  // the view's rows let go when last refreshed
};

}  // namespace tellvane
