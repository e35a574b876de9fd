#include "trace/IdentifierStatsModel.h"

#include "trace/TraceText.h"

#include <algorithm>

namespace tellvane {

IdentifierStatsModel::IdentifierStatsModel(const IdentifierStats& stats, QObject* parent)
    : BottomGrowingModel(parent), m_stats(stats)
{
    growTo(static_cast<int>(stats.rows().size()));
}

int IdentifierStatsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant IdentifierStatsModel::data(const QModelIndex& index, int role) const
{
    // Rows only come at the bottom (clear() empties the statistics): check
    // the row against both counts.
    if (!index.isValid() || index.row() >= shownRows() || static_cast<std::size_t>(index.row()) >= rows().size())
        return {};
    const IdentifierStats::Row& r = rows()[static_cast<std::size_t>(index.row())];
    if (role == ChangedBytesRole)
        return index.column() == Data ? QVariant(static_cast<int>(r.changedBytes)) : QVariant();
    if (role == SortRole) {
        switch (index.column()) {
        case Identifier:
            return QVariant::fromValue<qulonglong>(r.id | (r.extended ? 0x100000000ull : 0));
        case Period:
            return r.lastPeriodMs();
        case MeanPeriod:
            return r.meanPeriodMs();
        case SinceLast:
            return r.msSinceLast(m_nowUs);
        default:
            return data(index, Qt::DisplayRole);
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Identifier:
        return tracetext::identifier(r.id, r.extended);
    case Direction:
        return r.sent ? QStringLiteral("Tx") : QStringLiteral("Rx");
    case Count:
        return QVariant::fromValue<qulonglong>(r.count);
    case Period:
        return tracetext::milliseconds(r.lastPeriodMs());
    case MeanPeriod:
        return tracetext::milliseconds(r.meanPeriodMs());
    case Length:
        return static_cast<int>(r.length);
    case Data:
        return tracetext::dataBytes(r.data, r.length);
    case SinceLast:
        return tracetext::milliseconds(r.msSinceLast(m_nowUs));
    default:
        return {};
    }
}

QVariant IdentifierStatsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kNames[ColumnCount] = {"Identifier", "Direction", "Count", "Period (ms)",
                                                    "Mean period (ms)", "Length", "Data", "Since last (ms)"};
    return section >= 0 && section < ColumnCount ? QVariant(QString::fromLatin1(kNames[section])) : QVariant();
}

void IdentifierStatsModel::refresh(std::int64_t nowUs)
{
    if (m_paused)
        return;
    m_nowUs = nowUs;
    const int size = static_cast<int>(m_stats.rows().size());
    if (size < shownRows()) {
        resetTo(size);
        return;
    }
    if (shownRows() > 0)
        emit dataChanged(index(0, 0), index(shownRows() - 1, ColumnCount - 1));
    growTo(size);
}

void IdentifierStatsModel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_frozen = m_stats.rows();
        m_frozen.resize(std::min(m_frozen.size(), static_cast<std::size_t>(shownRows())));
        return;
    }
    m_frozen.clear();
    refresh(m_nowUs);
}

}  // namespace tellvane
