#include "core/LineListModel.h"

#include "core/Clock.h"

#include <QTimer>

#include <algorithm>

namespace tellvane {

LineListModel::LineListModel(Bound bound, std::size_t limit, QObject* parent)
    : QAbstractListModel(parent), m_bound(bound), m_limit(limit)
{
    m_held.setSingleShot(true);
    connect(&m_held, &QTimer::timeout, this, &LineListModel::flushWhenDue);
}

void LineListModel::setAnnounceInterval(Clock& clock, int ms)
{
    m_clock = &clock;
    m_intervalUs = std::int64_t{ms} * 1000;
}

QString LineListModel::textAt(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_lines.size())
        return QString();
    return m_lines[static_cast<std::size_t>(row)];
}

void LineListModel::append(QString line)
{
    m_lines.push_back(std::move(line));
    if (m_lines.size() > m_limit) {
        if (m_bound == Bound::ClearWhenOver)
            clear();
        else
            dropFront(m_lines.size() - m_limit);
    }
    scheduleFlush();
}

void LineListModel::appendNow(QString line)
{
    flush();
    append(std::move(line));
    flush();
}

void LineListModel::clear()
{
    beginResetModel();
    m_lines.clear();
    m_announced = 0;
    endResetModel();
}

void LineListModel::removeFirst()
{
    flush();
    dropFront(1);
}

void LineListModel::dropFront(std::size_t count)
{
    count = std::min(count, m_lines.size());
    const std::size_t known = std::min(count, m_announced);
    if (known > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(known) - 1);
        m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(known));
        m_announced -= known;
        endRemoveRows();
    }
    // Lines the view never saw go without notice.
    const std::size_t unseen = count - known;
    m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(unseen));
}

void LineListModel::flush()
{
    m_flushScheduled = false;
    m_held.stop();
    if (m_lines.size() > m_announced) {
        if (m_clock) {
            m_lastAnnounceUs = m_clock->nowMicroseconds();
            m_announcedOnce = true;
        }
        beginInsertRows(QModelIndex(), static_cast<int>(m_announced), static_cast<int>(m_lines.size()) - 1);
        m_announced = m_lines.size();
        endInsertRows();
        emit flushed();
    }
}

void LineListModel::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QTimer::singleShot(0, this, &LineListModel::flushWhenDue);
}

void LineListModel::flushWhenDue()
{
    if (!m_flushScheduled)
        return;  // announced meanwhile
    if (m_clock && m_announcedOnce) {
        const std::int64_t leftUs = m_lastAnnounceUs + m_intervalUs - m_clock->nowMicroseconds();
        if (leftUs > 0) {
            m_held.start(static_cast<int>((leftUs + 999) / 1000));
            return;
        }
    }
    flush();
}

int LineListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_announced);
}

QModelIndex LineListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || static_cast<std::size_t>(row) >= m_announced)
        return QModelIndex();
    return createIndex(row, column);
}

QVariant LineListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= m_announced)
        return QVariant();
    const QString& line = m_lines[static_cast<std::size_t>(index.row())];
    if (!m_blankControls)
        return line;
    QString shown = line;
    for (QChar& c : shown) {
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    }
    return shown;
}

}  // namespace tellvane
