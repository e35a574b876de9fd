#include "trace/TraceDatabases.h"

#include <QFileInfo>

#include <map>
#include <memory>
#include <set>

namespace tellvane {

namespace {

// The raw value as the file counts it: sign-extended for a signed integer,
// the float's value for a float.
QString rawText(const dbc::Signal& signal, std::uint64_t bits)
{
    if (signal.type != dbc::Signal::Type::Integer)
        return QString::number(signal.rawValue(bits), 'g', signal.type == dbc::Signal::Type::Float ? 9 : 17);
    if (!signal.isSigned || signal.length >= 64)
        return signal.isSigned ? QString::number(static_cast<qint64>(bits)) : QString::number(static_cast<quint64>(bits));
    const int unused = 64 - signal.length;
    return QString::number(static_cast<qint64>(bits << unused) >> unused);
}

}  // namespace

QStringList TraceDatabases::load(const QString& fileName)
{
    std::vector<dbc::Report> reports;
    QString error;
    std::optional<dbc::Database> database = dbc::Database::load(fileName, reports, error);
    const QString name = QFileInfo(fileName).fileName();
    if (!database)
        return {QStringLiteral("%1 could not be loaded: %2").arg(name, error)};
    m_set.add(std::make_shared<const dbc::Database>(std::move(*database)));
    m_files.append(fileName);
    QStringList lines;
    for (const dbc::Report& report : reports)
        lines.append(QStringLiteral("%1 line %2: %3").arg(QFileInfo(report.file).fileName()).arg(report.line).arg(report.text));
    return lines;
}

void TraceDatabases::clear()
{
    m_set.clear();
    m_files.clear();
}

const dbc::Message* TraceDatabases::messageOf(const TraceFrame& frame) const
{
    if (m_set.empty() || (frame.flags & (TraceFrame::Remote | TraceFrame::Error)) != 0)
        return nullptr;
    return m_set.find(frame.id, frame.extended());
}

QString TraceDatabases::messageName(const TraceFrame& frame) const
{
    return (frame.flags & (TraceFrame::Remote | TraceFrame::Error)) != 0 ? QString() : messageName(frame.id, frame.extended());
}

QString TraceDatabases::messageName(std::uint32_t id, bool extended) const
{
    const dbc::Message* message = m_set.empty() ? nullptr : m_set.find(id, extended);
    if (!message)
        return {};
    if (!message->j1939)
        return message->name;
    return message->name + QStringLiteral("@%1").arg(j1939::source(id), 2, 16, QLatin1Char('0')).toUpper();
}

std::pair<std::shared_ptr<const dbc::Database>, const dbc::Message*> TraceDatabases::find(const TraceFrame& frame) const
{
    if ((frame.flags & (TraceFrame::Remote | TraceFrame::Error)) != 0)
        return {};
    for (const auto& database : m_set.databases()) {
        if (const dbc::Message* message = database->find(frame.id, frame.extended()))
            return {database, message};
    }
    return {};
}

std::vector<TraceDatabases::SignalRow> TraceDatabases::signalRows(const TraceFrame& frame) const
{
    std::vector<SignalRow> rows;
    const auto [database, message] = find(frame);
    if (!message)
        return rows;
    std::vector<dbc::DecodedSignal> values;
    dbc::decode(*message, frame, values);
    rows.reserve(values.size());
    for (const dbc::DecodedSignal& v : values) {
        const dbc::Signal& signal = *v.signal;
        QString value = signal.valueText(v.bits);
        if (value.isEmpty()) {
            value = QString::number(v.value, 'g', signal.type == dbc::Signal::Type::Float ? 7 : 15);
            if (!signal.unit.isEmpty())
                value += QLatin1Char(' ') + signal.unit;
        }
        rows.push_back({dbc::signalKey(*message, signal, frame.id), value, rawText(signal, v.bits), signal.comment,
                        dbc::signalRef(database, *message, signal, j1939::source(frame.id))});
    }
    return rows;
}

std::vector<dbc::SignalRef> TraceDatabases::signalList(const std::vector<Identifier>& seen) const
{
    // The source addresses each J1939 group was seen from.
    std::map<const dbc::Message*, std::set<int>> sources;
    for (const Identifier& i : seen) {
        TraceFrame frame;
        frame.id = i.id;
        frame.flags = i.extended ? TraceFrame::Extended : 0;
        const auto [database, message] = find(frame);
        if (message && message->j1939)
            sources[message].insert(j1939::source(i.id));
    }
    std::vector<dbc::SignalRef> list;
    for (const auto& database : m_set.databases()) {
        for (const dbc::Message& message : database->messages()) {
            const auto it = sources.find(&message);
            const std::set<int> none{-1};
            for (const int source : !message.j1939 || it == sources.end() ? none : it->second) {
                for (const dbc::Signal& signal : message.signalList)
                    list.push_back(dbc::signalRef(database, message, signal, source));
            }
        }
    }
    return list;
}

}  // namespace tellvane
