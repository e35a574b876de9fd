#pragma once

#include "logs/TraceFrame.h"
#include "signals/SignalDatabase.h"
#include "signals/SignalRef.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tellvane {

// The signal databases of the bus trace: the files loaded, in their order,
// and what a frame is by them. Asked only for the rows a table draws and the
// frame selected, never on the receive path.
class TraceDatabases {
public:
    // Reads a file and adds it. The lines it could not use come back as
    // "FILE line N: text" (the rest of it is used); a file that cannot be read
    // at all is not added, and why comes back alone.
    QStringList load(const QString& fileName);
    void clear();
    bool empty() const { return m_set.empty(); }
    const QStringList& files() const { return m_files; }

    // The message of a data frame; null for remote and error frames and for
    // frames no database knows.
    const dbc::Message* messageOf(const TraceFrame& frame) const;
    // Its name, a J1939 group's with the source address ("EEC1@00"); empty
    // when there is none.
    QString messageName(const TraceFrame& frame) const;
    // The same for an identifier (the per-identifier view).
    QString messageName(std::uint32_t id, bool extended) const;

    // One signal of a frame as the trace shows it.
    struct SignalRow {
        QString name;     // as signalKey gives it
        QString value;    // the value text, or the value with its unit
        QString raw;
        QString comment;
        dbc::SignalRef ref;  // what a plot or a recording of it takes
    };
    std::vector<SignalRow> signalRows(const TraceFrame& frame) const;

    // Every signal of every database, in their order. A J1939 group's come
    // once for each source address among the identifiers seen, and once
    // with no source (not valid: nothing to plot) while none is.
    struct Identifier {
        std::uint32_t id = 0;
        bool extended = true;
    };
    std::vector<dbc::SignalRef> signalList(const std::vector<Identifier>& seen) const;

private:
    // The message of a data frame, with the database that has it.
    std::pair<std::shared_ptr<const dbc::Database>, const dbc::Message*> find(const TraceFrame& frame) const;

    dbc::DatabaseSet m_set;
    QStringList m_files;
};

}  // namespace tellvane
