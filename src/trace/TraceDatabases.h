#pragma once

#include "logs/TraceFrame.h"
#include "signals/SignalDatabase.h"

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
    };
    std::vector<SignalRow> signalRows(const TraceFrame& frame) const;

private:
    dbc::DatabaseSet m_set;
    QStringList m_files;
};

}  // namespace tellvane
