#include "trace/TraceTableModel.h"

#include "trace/TraceDatabases.h"
#include "trace/TraceText.h"
#include "trace/TraceView.h"

namespace tellvane {

TraceTableModel::TraceTableModel(TraceView& view, QObject* parent) : BottomGrowingModel(parent), m_view(view)
{
    m_view.update();
    resetToView();
}

int TraceTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const TraceFrame* TraceTableModel::frameAt(int row) const
{
    if (row < 0 || row >= shownRows())
        return nullptr;
    if (m_paused)
        return &m_frozen[static_cast<std::size_t>(row)];
    if (m_view.generation() != m_generation)
        return nullptr;
    // Rows are counted from the first one ever taken in, so that rows the view
    // let go of since the last refresh are found missing, not shifted.
    const std::uint64_t absolute = m_letGo + static_cast<std::uint64_t>(row);
    if (absolute < m_view.rowsLetGo())
        return nullptr;
    const auto viewRow = static_cast<std::size_t>(absolute - m_view.rowsLetGo());
    return viewRow < m_view.size() && m_view.rowHeld(viewRow) ? &m_view.frameAt(viewRow) : nullptr;
}

QVariant TraceTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const TraceFrame* f = frameAt(index.row());
    if (!f)
        return {};
    const bool j1939 = f->extended();
    switch (index.column()) {
    case Time:
        return tracetext::time(f->timeUs);
    case Delta:
        return delta(index.row(), *f);
    case Identifier:
        return tracetext::identifier(f->id, f->extended());
    case Priority:
        return j1939 ? QVariant(j1939::priority(f->id)) : QVariant();
    case Pgn:
        return j1939 ? QVariant(tracetext::hex(j1939::pgn(f->id), 4)) : QVariant();
    case Source:
        return j1939 ? QVariant(tracetext::hex(static_cast<std::uint32_t>(j1939::source(f->id)), 2)) : QVariant();
    case Destination:
        return j1939 ? QVariant(tracetext::hex(static_cast<std::uint32_t>(j1939::destination(f->id)), 2)) : QVariant();
    case Direction:
        return tracetext::direction(f->sent(), f->line);
    case Length:
        return static_cast<int>(f->length);
    case Data:
        return tracetext::dataBytes(f->data, f->length);
    case Ascii:
        return tracetext::ascii(f->data, f->length);
    case Message:
        return m_databases ? QVariant(m_databases->messageName(*f)) : QVariant();
    default:
        return {};
    }
}

QVariant TraceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kNames[ColumnCount] = {"Time",   "\u0394t (ms)", "Identifier", "Priority", "PGN",  "Source",
                                                    "Destination", "Direction",  "Length",     "Data",     "ASCII",    "Message"};
    return section >= 0 && section < ColumnCount ? QVariant(QString::fromUtf8(kNames[section])) : QVariant();
}

QVariant TraceTableModel::delta(int row, const TraceFrame& frame) const
{
    for (int before = row - 1; before >= 0 && before >= row - kDeltaLookBack; --before) {
        const TraceFrame* f = frameAt(before);
        if (!f)
            break;
        if (f->line == frame.line)
            return tracetext::milliseconds(static_cast<double>(frame.timeUs - f->timeUs) / 1000.0);
    }
    return {};
}

void TraceTableModel::setDatabases(const TraceDatabases* databases)
{
    m_databases = databases;
    if (shownRows() > 0)
        emit dataChanged(index(0, Message), index(shownRows() - 1, Message));
}

void TraceTableModel::resetToView()
{
    m_generation = m_view.generation();
    m_letGo = m_view.rowsLetGo();
    resetTo(static_cast<int>(m_view.size()));
}

void TraceTableModel::refresh()
{
    if (m_paused)
        return;
    m_view.update();
    const std::uint64_t letGo = m_view.rowsLetGo();
    if (m_view.generation() != m_generation || (shownRows() > 0 && letGo - m_letGo >= static_cast<std::uint64_t>(shownRows()))) {
        resetToView();
        return;
    }
    if (shownRows() == 0)
        m_letGo = letGo;
    const auto gone = static_cast<int>(letGo - m_letGo);
    m_letGo = letGo;
    dropFromTop(gone);
    growTo(static_cast<int>(m_view.size()));
}

void TraceTableModel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    if (paused) {
        refresh();
        m_frozen.clear();
        m_frozen.reserve(m_view.size());
        for (std::size_t row = 0; row < m_view.size(); ++row)
            m_frozen.push_back(m_view.frameAt(row));
        m_paused = true;
        return;
    }
    m_paused = false;
    m_frozen.clear();
    m_frozen.shrink_to_fit();
    m_view.update();
    resetToView();
    if (shownRows() > 0)
        emit scrollToRow(shownRows() - 1);
}

}  // namespace tellvane
