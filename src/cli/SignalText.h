#pragma once

#include "logs/TraceFrame.h"
#include "signals/SignalDatabase.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tellvane::cli {

// Bytes on their way to the console: appended inline, a frame's worth a few
// copies, without the checks of a shared QByteArray.
class TextBuffer {
public:
    void append(std::string_view text)
    {
        std::memcpy(room(text.size()), text.data(), text.size());
        m_size += text.size();
    }
    void append(char c)
    {
        *room(1) = c;
        ++m_size;
    }
    void append(std::size_t count, char c)
    {
        std::memset(room(count), c, count);
        m_size += count;
    }
    // Space for `count` bytes at the end; added() says how many were written there.
    char* room(std::size_t count)
    {
        if (m_bytes.size() - m_size < count)
            m_bytes.resize(std::max(m_bytes.size() * 2, m_size + count + 256));
        return m_bytes.data() + m_size;
    }
    void added(std::size_t count) { m_size += count; }
    const char* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_size; }
    void clear() { m_size = 0; }

private:
    std::vector<char> m_bytes;
    std::size_t m_size = 0;
};

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
    void append(TextBuffer& out, const TraceFrame& frame);

    // The physical value of a signal of the frame: for an integer signal
    // whose factor and offset have at most 9 decimals, exactly, in as many
    // decimals as they have, trailing zeros left off (1000.125, -20); a
    // float as short as it reads back; anything else to 15 digits.
    void appendValue(TextBuffer& out, const Frame& frame, const dbc::DecodedSignal& value);

    // A signal's index among the signals of the messages decoded so far, for
    // tables kept by signal; -1 when it is not one of the frame's message.
    int signalIndex(const Frame& frame, const dbc::DecodedSignal& value);

private:
    struct SignalBytes {
        std::string name;  // "  NAME="
        std::string unit;  // with its blank before it; empty without a unit
        std::vector<std::pair<std::int64_t, std::string>> texts;  // VAL_, by raw value, quoted
        // The factor and offset times 10^decimals, whole; decimals -1 when they are not.
        int decimals = -1;
        std::int64_t factor = 0;
        std::int64_t offset = 0;
    };
    struct MessageBytes {
        std::string name;  // with the two blanks before it
        std::vector<SignalBytes> signalBytes;
        int firstSignal = 0;               // its first signal's index among all
        std::vector<std::string> sources;  // J1939: the name with each source, made when first seen
    };

    MessageBytes& bytesOf(const dbc::Message& message);
    const std::string& nameFrom(MessageBytes& bytes, const dbc::Message& message, std::uint32_t id, int source);
    static void appendValue(TextBuffer& out, const SignalBytes& bytes, const dbc::DecodedSignal& value);

    dbc::DatabaseSet m_databases;
    bool m_reported = false;
    std::unordered_map<const dbc::Message*, MessageBytes> m_bytes;
    int m_signalCount = 0;
    std::vector<dbc::DecodedSignal> m_values;
};

}  // namespace tellvane::cli
