#include "transmit/TransmitModel.h"

#include "logs/LogText.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitScheduler.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace tellvane {

namespace {

constexpr std::uint32_t kPriorityBits = 0x1C000000;
constexpr std::uint32_t kPageAndFormatBits = 0x03FF0000;
constexpr std::uint32_t kSpecificBits = 0x0000FF00;
constexpr std::uint32_t kMaxPgn = 0x3FFFF;
constexpr int kFirstPdu2Format = 0xF0;

QString hex(std::uint32_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// Hex digits (a "0x" before them and blanks around them allowed), at most `max`.
bool readHex(QString text, std::uint32_t max, std::uint32_t& value, QString& why)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    const QByteArray digits = text.toLatin1();
    const std::optional<std::uint32_t> number =
        logtext::hexNumber(std::string_view(digits.constData(), static_cast<std::size_t>(digits.size())));
    if (!number) {
        why = QStringLiteral("\"%1\" is not a hex number of 1 to 8 digits").arg(text);
        return false;
    }
    if (*number > max) {
        why = QStringLiteral("%1 is above %2").arg(hex(*number, 1), hex(max, 1));
        return false;
    }
    value = *number;
    return true;
}

// A whole number from 0 to max; empty text, or the word for none, is 0.
bool readWhole(QString text, std::int64_t max, const char* none, std::int64_t& value, QString& why)
{
    text = text.trimmed();
    if (text.isEmpty() || text.compare(QLatin1String(none), Qt::CaseInsensitive) == 0) {
        value = 0;
        return true;
    }
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < 0 || number > max) {
        why = QStringLiteral("\"%1\" is not a whole number from 0 to %2").arg(text).arg(max);
        return false;
    }
    value = number;
    return true;
}

// Bytes as hex digits: words of one or two digits are a byte each, longer
// words two digits a byte ("01 2 0A0B" is 01 02 0A 0B).
bool readBytes(const QString& text, TransmitRow& row, QString& why)
{
    std::array<std::uint8_t, 8> bytes{};
    int count = 0;
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (word.size() > 2 && word.size() % 2 != 0) {
            why = QStringLiteral("\"%1\" is an odd number of hex digits").arg(word);
            return false;
        }
        for (qsizetype at = 0; at < word.size(); at += 2) {
            const QString pair = word.mid(at, 2);
            const int high = pair.size() == 2 ? logtext::hexDigit(pair[0].toLatin1()) : 0;
            const int low = logtext::hexDigit(pair.back().toLatin1());
            if (high < 0 || low < 0) {
                why = QStringLiteral("\"%1\" is not hex bytes").arg(word);
                return false;
            }
            if (count == 8) {
                why = QStringLiteral("more than 8 bytes");
                return false;
            }
            bytes[static_cast<std::size_t>(count++)] = static_cast<std::uint8_t>(high << 4 | low);
        }
    }
    row.data = bytes;
    row.length = static_cast<std::uint8_t>(count);
    return true;
}

}  // namespace

TransmitModel::TransmitModel(const TransmitScheduler& scheduler, QObject* parent)
    : QAbstractTableModel(parent), m_scheduler(scheduler)
{
}

int TransmitModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TransmitModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TransmitModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kNames[ColumnCount] = {"Name",   "Identifier",  "Ext",       "Priority", "PGN",
                                                    "Source", "Destination", "Length",    "Data",     "Period (ms)",
                                                    "Count",  "Enabled",     "Sent"};
    return section >= 0 && section < ColumnCount ? QVariant(QString::fromLatin1(kNames[section])) : QVariant();
}

QString TransmitModel::text(const TransmitRow& row, int column, bool editing) const
{
    const bool j1939 = row.extended;
    switch (column) {
    case Name:
        return row.name;
    case Identifier:
        return hex(row.id, row.extended ? 8 : 3);
    case Priority:
        return j1939 ? QString::number(j1939::priority(row.id)) : QString();
    case Pgn:
        return j1939 ? hex(j1939::pgn(row.id), 4) : QString();
    case Source:
        return j1939 ? hex(static_cast<std::uint32_t>(j1939::source(row.id)), 2) : QString();
    case Destination:
        return j1939 && j1939::pduFormat(row.id) < kFirstPdu2Format
            ? hex(static_cast<std::uint32_t>(j1939::destination(row.id)), 2)
            : QString();
    case Length:
        return QString::number(row.length);
    case Data: {
        QStringList bytes;
        for (int i = 0; i < row.length; ++i)
            bytes << hex(row.data[static_cast<std::size_t>(i)], 2);
        return bytes.join(QLatin1Char(' '));
    }
    case Period:
        return row.periodMs > 0 ? QString::number(row.periodMs) : editing ? QString() : QStringLiteral("once");
    case Count:
        if (row.count > 0)
            return QString::number(row.count);
        return editing || !row.periodic() ? QString() : QStringLiteral("endless");
    default:
        return {};
    }
}

QVariant TransmitModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TransmitRow& r = row(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == Sent)
            return QString::number(m_scheduler.sentCount(keyOf(index.row())));
        return text(r, column, false);
    case Qt::EditRole:
        return text(r, column, true);
    case Qt::CheckStateRole:
        if (column == Extended)
            return r.extended ? Qt::Checked : Qt::Unchecked;
        if (column == Enabled)
            return r.enabled ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole:
        if (column == Extended)
            return QStringLiteral("Ticked: a 29-bit identifier; clear: 11 bits");
        if (column == Period)
            return QStringLiteral("Milliseconds between frames, 1 to 3600000; empty: sent by hand only");
        if (column == Count)
            return QStringLiteral("Frames a start sends; empty: until stopped");
        return {};
    case RunningRole:
        return m_scheduler.running(keyOf(index.row()));
    default:
        return {};
    }
}

Qt::ItemFlags TransmitModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (index.row() >= rowCount() || m_scheduler.running(keyOf(index.row())))
        return flags;  // a frame being sent stays as it is sent
    const TransmitRow& r = row(index.row());
    switch (index.column()) {
    case Extended:
    case Enabled:
        return flags | Qt::ItemIsUserCheckable;
    case Priority:
    case Pgn:
    case Source:
        return r.extended ? flags | Qt::ItemIsEditable : flags;
    case Destination:
        return r.extended && j1939::pduFormat(r.id) < kFirstPdu2Format ? flags | Qt::ItemIsEditable : flags;
    case Sent:
        return flags;
    default:
        return flags | Qt::ItemIsEditable;
    }
}

bool TransmitModel::edit(TransmitRow& row, int column, const QVariant& value, int role, QString& why) const
{
    if (role == Qt::CheckStateRole && (column == Extended || column == Enabled)) {
        const bool on = value.toInt() == Qt::Checked;
        (column == Extended ? row.extended : row.enabled) = on;
        return true;
    }
    if (role != Qt::EditRole) {
        why = QStringLiteral("not a cell to edit");
        return false;
    }
    const QString typed = value.toString();
    std::uint32_t number = 0;
    std::int64_t whole = 0;
    switch (column) {
    case Name:
        if (typed.size() > kMaxNameLength) {
            why = QStringLiteral("a name is at most %1 characters").arg(kMaxNameLength);
            return false;
        }
        row.name = typed;
        return true;
    case Identifier:
        if (!readHex(typed, 0x1FFFFFFF, number, why))
            return false;
        row.id = number;
        return true;
    case Priority:
        if (!readWhole(typed, 7, "", whole, why))
            return false;
        row.id = (row.id & ~kPriorityBits) | static_cast<std::uint32_t>(whole) << 26;
        return true;
    case Pgn: {
        if (!readHex(typed, kMaxPgn, number, why))
            return false;
        const std::uint32_t format = (number >> 8) & 0xFF;
        std::uint32_t id = (row.id & ~kPageAndFormatBits) | ((number >> 8) & 0x3FF) << 16;
        if (format >= kFirstPdu2Format) {
            id = (id & ~kSpecificBits) | (number & 0xFF) << 8;  // the group extension
        } else if ((number & 0xFF) != 0) {
            why = QStringLiteral("a PGN of format %1 (below F0) ends in 00: the destination is typed beside it")
                      .arg(hex(format, 2));
            return false;
        } else if (j1939::pduFormat(row.id) >= kFirstPdu2Format) {
            id |= kSpecificBits;  // from a broadcast to all, until a destination is typed
        }
        row.id = id;
        return true;
    }
    case Source:
        if (!readHex(typed, 0xFF, number, why))
            return false;
        row.id = (row.id & ~0xFFu) | number;
        return true;
    case Destination:
        if (!readHex(typed, 0xFF, number, why))
            return false;
        row.id = (row.id & ~kSpecificBits) | number << 8;
        return true;
    case Length:
        if (typed.trimmed().isEmpty() || !readWhole(typed, 8, "", whole, why)) {
            why = QStringLiteral("\"%1\" is not a length from 0 to 8").arg(typed.trimmed());
            return false;
        }
        row.length = static_cast<std::uint8_t>(whole);
        std::fill(row.data.begin() + row.length, row.data.end(), std::uint8_t{0});
        return true;
    case Data:
        return readBytes(typed, row, why);
    case Period:
        if (!readWhole(typed, TransmitRow::kMaxPeriodMs, "once", whole, why))
            return false;
        row.periodMs = static_cast<int>(whole);
        return true;
    case Count:
        if (!readWhole(typed, TransmitRow::kMaxCount, "endless", whole, why))
            return false;
        row.count = whole;
        return true;
    default:
        why = QStringLiteral("not a cell to edit");
        return false;
    }
}

bool TransmitModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= rowCount())
        return false;
    const int r = index.row();
    TransmitRow edited = row(r);
    QString why;
    if (m_scheduler.running(keyOf(r)))
        why = QStringLiteral("it is being sent: Stop all first");
    else if (edit(edited, index.column(), value, role, why))
        why = edited.problem();
    if (!why.isEmpty()) {
        emit editRefused(QStringLiteral("Row %1, %2: %3").arg(r + 1).arg(headerData(index.column(), Qt::Horizontal).toString(), why));
        return false;
    }
    if (edited == row(r))
        return true;
    m_rows[static_cast<std::size_t>(r)] = std::move(edited);
    emit dataChanged(this->index(r, 0), this->index(r, ColumnCount - 1));
    emit listChanged();
    return true;
}

void TransmitModel::setRows(std::vector<TransmitRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_keys.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_keys.push_back(m_nextKey++);
    endResetModel();
}

int TransmitModel::appendRows(const std::vector<TransmitRow>& rows)
{
    const int room = transmitlist::kMaxRows - rowCount();
    const int count = std::min(room, static_cast<int>(rows.size()));
    if (count <= 0)
        return 0;
    beginInsertRows(QModelIndex(), rowCount(), rowCount() + count - 1);
    for (int i = 0; i < count; ++i) {
        m_rows.push_back(rows[static_cast<std::size_t>(i)]);
        m_keys.push_back(m_nextKey++);
    }
    endInsertRows();
    emit listChanged();
    return count;
}

QString TransmitModel::removeRowsAt(QList<int> rows)
{
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int r : rows) {
        if (r >= 0 && r < rowCount() && m_scheduler.running(keyOf(r)))
            return QStringLiteral("Row %1 is being sent: Stop all before removing it.").arg(r + 1);
    }
    bool removed = false;
    for (const int r : rows) {
        if (r < 0 || r >= rowCount())
            continue;
        beginRemoveRows(QModelIndex(), r, r);
        m_rows.erase(m_rows.begin() + r);
        m_keys.erase(m_keys.begin() + r);
        endRemoveRows();
        removed = true;
    }
    if (removed)
        emit listChanged();
    return {};
}

void TransmitModel::refreshSending()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::DisplayRole, RunningRole});
}

}  // namespace tellvane
