#include "trace/IdentifierStatsModel.h"

#include "trace/TraceDatabases.h"
#include "trace/TraceText.h"

#include <algorithm>

namespace tellvane {

namespace {
// A period not known yet: the identifier came once.
const QString kUnknown = QStringLiteral("\u2013");
}  // namespace

IdentifierStatsModel::IdentifierStatsModel(const IdentifierStats& stats, Now now, QObject* parent)
    : BottomGrowingModel(parent), m_stats(stats), m_now(std::move(now))
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
        case Rate:
            return QVariant::fromValue<qulonglong>(r.framesPerSecond(nowOf(r.line)));
        case Period:
            return r.periodKnown() ? QVariant(r.lastPeriodMs()) : QVariant(-1.0);
        case MeanPeriod:
            return r.periodKnown() ? QVariant(r.meanPeriodMs()) : QVariant(-1.0);
        case SinceLast:
            return r.msSinceLast(nowOf(r.line));
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
        return tracetext::direction(r.sent, r.line);
    case Count:
        return QVariant::fromValue<qulonglong>(r.count);
    case Rate:
        return QVariant::fromValue<qulonglong>(r.framesPerSecond(nowOf(r.line)));
    case Period:
        return r.periodKnown() ? tracetext::milliseconds(r.lastPeriodMs()) : kUnknown;
    case MeanPeriod:
        return r.periodKnown() ? tracetext::milliseconds(r.meanPeriodMs()) : kUnknown;
    case Length:
        return static_cast<int>(r.length);
    case Data:
        return tracetext::dataBytes(r.data, r.length);
    case SinceLast:
        return tracetext::milliseconds(r.msSinceLast(nowOf(r.line)));
    case Message:
        return m_databases ? QVariant(m_databases->messageName(r.id, r.extended)) : QVariant();
    default:
        return {};
    }
}

QVariant IdentifierStatsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kNames[ColumnCount] = {"Identifier",       "Direction", "Count", "Frames/s", "Period (ms)",
                                                    "Mean period (ms)", "Length",    "Data",  "Since last (ms)", "Message"};
    return section >= 0 && section < ColumnCount ? QVariant(QString::fromLatin1(kNames[section])) : QVariant();
}

void IdentifierStatsModel::setDatabases(const TraceDatabases* databases)
{
    m_databases = databases;
    if (shownRows() > 0)
        emit dataChanged(index(0, Message), index(shownRows() - 1, Message));
}

void IdentifierStatsModel::refresh()
{
    if (m_paused)
        return;
    // The time of each time line the rows are on.
    m_nowByLine.assign(1, m_now ? m_now(0) : 0);
    for (const IdentifierStats::Row& r : m_stats.rows()) {
        if (r.line >= m_nowByLine.size()) {
            const std::size_t from = m_nowByLine.size();
            m_nowByLine.resize(r.line + std::size_t{1}, 0);
            for (std::size_t line = from; line < m_nowByLine.size(); ++line)
                m_nowByLine[line] = m_now ? m_now(static_cast<std::uint16_t>(line)) : 0;
        }
    }
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
    refresh();
}

}  // namespace tellvane
