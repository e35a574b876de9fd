#include "trace/SignalListModel.h"

#include <QFileInfo>

namespace tellvane {

void SignalListModel::setSignals(std::vector<dbc::SignalRef> signalList)
{
    beginResetModel();
    m_signals = std::move(signalList);
    m_keys.clear();
    m_keys.reserve(m_signals.size());
    for (const dbc::SignalRef& s : m_signals)
        m_keys.push_back(s.key());
    endResetModel();
}

int SignalListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_signals.size());
}

int SignalListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SignalListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    const dbc::SignalRef& s = m_signals[row];
    if (role == Qt::ToolTipRole) {
        if (!s.valid())
            return QStringLiteral("No frame of %1 has been seen yet: a J1939 group's signals are plotted "
                                  "for each source address it comes from").arg(s.message->name);
        return s.signal->comment.isEmpty() ? QVariant() : QVariant(s.signal->comment);
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case SignalColumn:
        return m_keys[row];
    case UnitColumn:
        return s.signal->unit;
    case MessageColumn: {
        const int digits = s.message->extended ? 8 : 3;
        return QStringLiteral("%1 (%2)").arg(s.message->name,
                                             QStringLiteral("%1").arg(s.message->id, digits, 16, QLatin1Char('0')).toUpper());
    }
    case DatabaseColumn:
        return QFileInfo(s.database->fileName()).fileName();
    case CommentColumn:
        return s.signal->comment.section(QLatin1Char('\n'), 0, 0);
    default:
        return {};
    }
}

QVariant SignalListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const names[ColumnCount] = {"Signal", "Unit", "Message", "Database", "Comment"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

Qt::ItemFlags SignalListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return Qt::NoItemFlags;
    return m_signals[static_cast<std::size_t>(index.row())].valid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                                                   : Qt::NoItemFlags;
}

}  // namespace tellvane
