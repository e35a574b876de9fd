#pragma once

#include "signals/SignalDatabase.h"

#include <QString>

#include <memory>

namespace tellvane::dbc {

// One signal of a loaded database as it is plotted or recorded: held with its
// database, so that it goes on when the database is unloaded from the trace.
// A J1939 group's signal is one source address's: one group from two sources
// is two signals, never one.
struct SignalRef {
    std::shared_ptr<const Database> database;
    const Message* message = nullptr;
    const Signal* signal = nullptr;
    int source = -1;  // a J1939 group's source address; -1 for other messages

    bool valid() const { return database && message && signal && (!message->j1939 || source >= 0); }
    // "EEC1.EngineSpeed@00", as signalKey names it.
    QString key() const;
    // Whether the frame is one this signal is read from: its database takes
    // the frame for the message (a J1939 group by PGN), from the source address.
    bool readsFrom(const TraceFrame& frame) const;
    bool operator==(const SignalRef& other) const
    {
        return database == other.database && message == other.message && signal == other.signal
               && source == other.source;
    }
};

// The signal of a message of a database with this source address (a J1939
// group's; ignored for others).
SignalRef signalRef(std::shared_ptr<const Database> database, const Message& message, const Signal& signal,
                    int source = -1);

}  // namespace tellvane::dbc
