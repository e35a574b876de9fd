#pragma once

#include "logs/TraceFrame.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tellvane {

// Why a filter expression was refused: the field it stopped in ("id", "data",
// or the unknown word itself), the 1-based character position, and a message
// naming both.
struct TraceFilterError {
    QString field;
    int position = 0;
    QString message;
};

// Which frames of the trace to show. An expression is a list of conditions
// separated by blanks, every one of which must hold; an empty expression lets
// every frame through. Numbers are hexadecimal, "0x" in front is allowed.
// Keywords may be written in any case.
//
//   expression = { ["and"] term }
//   term       = ["not" | "!"] condition              "not" keeps what the condition refuses
//   condition  = "rx" | "tx"                          received, sent by the tool
//              | "replay"                             of a log replayed into the program
//              | "id=" number ["/" mask]              identifier under a mask (default: every bit)
//              | "id=" number "-" number              identifiers from..to, both included
//              | "pgn=" number                        J1939 parameter group, 0 to 3FFFF
//              | "src=" number | "dst=" number        J1939 source, destination, 0 to FF
//              | "prio=" number                       J1939 priority, 0 to 7
//              | "data=" byte { [blanks] byte }       the first 1 to 8 data bytes
//              | "msg=" name                          the message a signal database names,
//                                                     any case (a frame no database knows: never)
//   number     = ["0x"] 1 to 8 hex digits             identifiers up to 1FFFFFFF
//   byte       = two characters, each a hex digit or "?" (any nibble)
//   name       = letters, digits and "_"
//
// The J1939 conditions hold for extended frames only; "data=" needs the frame
// to have at least as many bytes as the pattern. For example:
//
//   id=18FEF100/1FFFFF00 rx          PGN FEF1 from anyone, received
//   pgn=FEF1 !src=21                 that group from everyone but 21
//   id=100-1FF not data=01 ?? 3?     standard-range identifiers, except 01 xx 3x ...
//
// Parsing is one pass over the text.
class TraceFilter {
public:
    // Lets every frame through.
    TraceFilter() = default;

    // The filter of an expression; on refusal, nothing, and why in *error.
    static std::optional<TraceFilter> parse(QStringView expression, TraceFilterError* error = nullptr);

    // A frame's message name by the loaded databases (empty when none knows
    // it), for "msg="; without it, "msg=" matches nothing.
    using MessageNames = std::function<QString(const TraceFrame&)>;
    void setMessageNames(MessageNames names) { m_messageNames = std::move(names); }

    bool matches(const TraceFrame& frame) const
    {
        for (const Condition& c : m_conditions) {
            const bool holds = c.kind == Condition::Message ? isMessage(frame, c.a) : c.holds(frame);
            if (holds == c.negated)
                return false;
        }
        return true;
    }
    bool matchesEverything() const { return m_conditions.empty(); }
    const QString& expression() const { return m_expression; }

    struct Condition {
        enum Kind : std::uint8_t { IdMask, IdRange, Pgn, Source, Destination, Priority, Sent, Replayed, Data, Message };
        Kind kind = IdMask;
        bool negated = false;
        std::uint8_t count = 0;  // data bytes of the pattern
        std::uint32_t a = 0;     // the value, the range's low end, or the message name's index
        std::uint32_t b = 0;     // the mask, or the range's high end
        std::array<std::uint8_t, 8> value{};
        std::array<std::uint8_t, 8> mask{};

        bool holds(const TraceFrame& f) const;
    };

private:
    friend class TraceFilterParser;
    bool isMessage(const TraceFrame& frame, std::uint32_t name) const;

    std::vector<Condition> m_conditions;
    QString m_expression;
    std::vector<QString> m_messages;  // the names after "msg="
    MessageNames m_messageNames;
};

inline bool TraceFilter::Condition::holds(const TraceFrame& f) const
{
    switch (kind) {
    case IdMask:
        return ((f.id ^ a) & b) == 0;
    case IdRange:
        return f.id >= a && f.id <= b;
    case Pgn:
        return f.extended() && j1939::pgn(f.id) == a;
    case Source:
        return f.extended() && static_cast<std::uint32_t>(j1939::source(f.id)) == a;
    case Destination:
        return f.extended() && static_cast<std::uint32_t>(j1939::destination(f.id)) == a;
    case Priority:
        return f.extended() && static_cast<std::uint32_t>(j1939::priority(f.id)) == a;
    case Sent:
        return f.sent() == (a != 0);
    case Replayed:
        return f.replayed();
    case Data:
        if (f.length < count)
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            if (((f.data[i] ^ value[i]) & mask[i]) != 0)
                return false;
        }
        return true;
    case Message:
        break;  // TraceFilter::matches asks the databases
    }
    return false;
}

}  // namespace tellvane
