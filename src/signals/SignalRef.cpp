#include "signals/SignalRef.h"

namespace tellvane::dbc {

QString SignalRef::key() const
{
    if (!message || !signal)
        return {};
    if (message->j1939 && source < 0)
        return message->name + QLatin1Char('.') + signal->name + QStringLiteral("@??");
    // signalKey takes the source from an identifier's lowest byte.
    return signalKey(*message, *signal, static_cast<std::uint32_t>(source < 0 ? 0 : source));
}

bool SignalRef::readsFrom(const TraceFrame& frame) const
{
    if (!valid() || (frame.flags & (TraceFrame::Remote | TraceFrame::Error)))
        return false;
    if (message->j1939 && (!frame.extended() || j1939::source(frame.id) != source))
        return false;
    return database->find(frame.id, frame.extended()) == message;
}

SignalRef signalRef(std::shared_ptr<const Database> database, const Message& message, const Signal& signal, int source)
{
    return {std::move(database), &message, &signal, message.j1939 ? source : -1};
}

}  // namespace tellvane::dbc
