#pragma once

#include "logs/TraceFrame.h"
#include "signals/SignalDatabase.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tellvane::cli {

// The databases of --dbc and the text of a frame's signals on the console,
// written as bytes: names, units and value texts are made UTF-8 once per
// message, never per frame.
class SignalText {
public:
    // One frame decoded: its message, its signals, and for a J1939 group
    // the source address (-1 otherwise). Valid until the next decode().
    struct Frame {
        const dbc::Message* message = nullptr;
        std::uint32_t id = 0;
        int source = -1;
        const std::vector<dbc::DecodedSignal>* values = nullptr;
    };

    // Reads each file in turn. The lines a database cannot use go to err as
    // "FILE:LINE: text" (reported() then says so, and the rest is used); a
    // file that cannot be read at all ends it, false, with why on err.
    bool load(const QStringList& files, QTextStream& err);
    bool reported() const { return m_reported; }

    // The message of a data frame and its signals; false for a frame no
    // database knows, and for remote and error frames.
    bool decode(const TraceFrame& frame, Frame& decoded);

    // After a frame's line: "  EEC1  EngineSpeed=1234.5 rpm  Gear=3 \"Drive\"",
    // a J1939 group's name with its source as signalKey gives it ("EEC1@00");
    // nothing for a frame no database knows.
    void append(QByteArray& out, const TraceFrame& frame);

    // The physical value: a whole raw value (factor 1, offset 0) exactly,
    // a float as short as it reads back, anything else to 15 digits.
    static void appendValue(QByteArray& out, const dbc::Signal& signal, const dbc::DecodedSignal& value);

    // A signal's index among the signals of the messages decoded so far, for
    // tables kept by signal; -1 when it is not one of the frame's message.
    int signalIndex(const Frame& frame, const dbc::DecodedSignal& value);

private:
    struct SignalBytes {
        QByteArray name;
        QByteArray unit;  // with its blank before it; empty without a unit
        std::vector<std::pair<std::int64_t, QByteArray>> texts;  // VAL_, by raw value, quoted
    };
    struct MessageBytes {
        QByteArray name;  // with the two blanks before it
        std::vector<SignalBytes> signalBytes;
        int firstSignal = 0;              // its first signal's index among all
        std::vector<QByteArray> sources;  // J1939: the name with each source, made when first seen
    };

    MessageBytes& bytesOf(const dbc::Message& message);
    const QByteArray& nameFrom(MessageBytes& bytes, const dbc::Message& message, std::uint32_t id, int source);

    dbc::DatabaseSet m_databases;
    bool m_reported = false;
    std::unordered_map<const dbc::Message*, MessageBytes> m_bytes;
    int m_signalCount = 0;
    std::vector<dbc::DecodedSignal> m_values;
};

}  // namespace tellvane::cli
