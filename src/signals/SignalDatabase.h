#pragma once

#include "logs/TraceFrame.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tellvane::dbc {

// One signal of a message as a DBC file describes it:
//   SG_ EngineSpeed : 24|16@1+ (0.125,0) [0|8031.875] "rpm" Vector__XXX
//   name, start bit | length @ byte order (1 Intel, 0 Motorola) sign (+ unsigned,
//   - signed) (factor, offset) [minimum|maximum] "unit" receivers
// A multiplexor is marked "M" after its name, a signal it selects "mN", and
// a signal selected by value N that selects others in turn "mNM". A line
//   SG_MUL_VAL_ 256 Ratio Mode 1-3, 7-7;
// says which multiplexor selects a signal, and by which raw values.
struct Signal {
    enum class Order : std::uint8_t { Intel, Motorola };
    enum class Type : std::uint8_t { Integer, Float, Double };  // SIG_VALTYPE_ 1 and 2
    // What `selector` holds when no signal selects this one.
    static constexpr std::int16_t kAlways = -1;  // not multiplexed: in every frame
    static constexpr std::int16_t kNever = -2;   // its multiplexor is missing, or the multiplexors select each other in a circle
    struct Range {
        std::int64_t low = 0;
        std::int64_t high = 0;
    };

    QString name;
    int startBit = 0;  // as the file gives it (Motorola: the most significant bit's, in the file's numbering)
    int length = 1;    // 1 to 64 (32 for Float, 64 for Double)
    Order order = Order::Intel;
    bool isSigned = false;
    Type type = Type::Integer;
    // Decoding reads these beside the bits' place and scale: they fill the
    // room the alignment leaves, and the signal is no larger for them.
    bool multiplexor = false;  // "M" or "mNM"
    std::int16_t selector = kAlways;  // the index in the message of the multiplexor that selects it
    std::int16_t muxSlot = -1;  // a multiplexor of a message with `extendedMux`: its place in `Message::muxOrder`
    double factor = 1.0;
    double offset = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    QString unit;
    QStringList receivers;
    bool multiplexed = false;  // "mN" or "mNM"
    // SG_MUL_VAL_: the raw values that select it, `muxRangeCount` ranges of
    // `Message::muxRanges` from `muxRangeBegin` on; none: `muxValue` alone.
    std::uint16_t muxRangeCount = 0;
    std::int32_t muxRangeBegin = 0;
    std::int64_t muxValue = 0;  // N of "mN"
    QString comment;  // CM_ SG_
    // VAL_: raw value -> text, in the order of the raw values.
    std::vector<std::pair<std::int64_t, QString>> valueTexts;

    // The raw bits of the signal in a frame's data (8 bytes, zeros past the
    // frame's length); none when the signal lies beyond the frame's length.
    std::optional<std::uint64_t> rawBits(const std::uint8_t* data, int frameLength) const;
    // The raw value as a number: sign-extended, or the float's value.
    double rawValue(std::uint64_t bits) const;
    // raw * factor + offset.
    double physical(std::uint64_t bits) const;
    // The VAL_ text of a raw value, or empty.
    QString valueText(std::uint64_t bits) const;
};

// One message (BO_ id name: length sender) and its signals.
struct Message {
    std::uint32_t id = 0;  // 11 or 29 bits (the file's bit 31 taken off)
    bool extended = false;
    QString name;
    int length = 0;
    QString sender;
    QString comment;  // CM_ BO_
    // A J1939 parameter group: matched by its PGN, whatever the priority,
    // the source address and (PDU1) the destination of a frame.
    bool j1939 = false;
    std::vector<Signal> signalList;  // not "signals": Qt defines that as a macro
    int multiplexor = -1;  // the index of the "M" signal, or -1
    // "mNM" or SG_MUL_VAL_ in the message: its multiplexors, each after the
    // one that selects it, are settled before its signals are decoded.
    bool extendedMux = false;
    std::vector<int> muxOrder;
    std::vector<Signal::Range> muxRanges;  // of all its signals' SG_MUL_VAL_
};

// A line of a DBC file the reader could not use, and why.
struct Report {
    QString file;
    int line = 0;
    QString text;
};

// One signal's value in one frame.
struct DecodedSignal {
    const Signal* signal = nullptr;
    std::uint64_t bits = 0;  // the raw bits
    double value = 0.0;      // physical
};

// A DBC file read: its messages, found by a frame's identifier.
class Database {
public:
    // Reads a DBC text (Latin-1 or UTF-8, CR LF or LF). Lines it cannot read
    // are reported with `file` and their number and left out; sections it does
    // not use (BU_, BA_DEF_, EV_, ...) are passed over. Work and memory are
    // bounded by the text's length.
    static Database read(const QByteArray& text, const QString& file, std::vector<Report>& reports);
    // Reads a file (regular files only, at most kMaxFileBytes); none, with
    // why, when it cannot be read at all.
    static constexpr qint64 kMaxFileBytes = 64 << 20;
    static std::optional<Database> load(const QString& fileName, std::vector<Report>& reports, QString& error);

    QString fileName() const { return m_file; }
    // BA_ "ProtocolType" "J1939": every extended message is a parameter group.
    bool isJ1939() const { return m_j1939; }
    const std::vector<Message>& messages() const { return m_messages; }

    // The message of a frame: a J1939 group by the frame's PGN, otherwise
    // the same identifier and format; null when there is none.
    const Message* find(std::uint32_t id, bool extended) const;

    // Bounds on what one file may hold; more is reported and left out.
    static constexpr int kMaxMessages = 65536;
    static constexpr int kMaxSignalsPerMessage = 1024;  // an index fits Signal::selector
    static constexpr int kMaxValueTexts = 4096;  // per signal
    static constexpr int kMaxMuxRanges = 256;    // per signal
    static constexpr int kMaxReports = 1000;     // per file, and one that says more were left out

private:
    static std::uint64_t exactKey(std::uint32_t id, bool extended);
    static std::uint64_t pgnKey(std::uint32_t id);

    QString m_file;
    bool m_j1939 = false;
    bool m_anyJ1939 = false;  // any message a parameter group
    std::vector<Message> m_messages;
    std::unordered_map<std::uint64_t, std::size_t> m_byKey;  // identifier and format, or PGN
};

// Every signal of the message present in the frame: a multiplexed signal only
// when its multiplexor is present and selects it, a signal beyond the frame's
// length not at all. Returns how many were written to `out` (cleared first).
std::size_t decode(const Message& message, const TraceFrame& frame, std::vector<DecodedSignal>& out);

// How a decoded signal is named wherever values are kept apart (trace,
// plots, recordings, the command line): "EEC1.EngineSpeed"; for a J1939
// group the source address follows, "EEC1.EngineSpeed@00", so that one group
// from two sources stays two sets of values.
QString signalKey(const Message& message, const Signal& signal, std::uint32_t frameId);

// The loaded databases together: a frame's message is looked up in each in
// the order they were loaded.
class DatabaseSet {
public:
    void add(std::shared_ptr<const Database> database) { m_databases.push_back(std::move(database)); }
    void clear() { m_databases.clear(); }
    bool empty() const { return m_databases.empty(); }
    const std::vector<std::shared_ptr<const Database>>& databases() const { return m_databases; }
    const Message* find(std::uint32_t id, bool extended) const;

private:
    std::vector<std::shared_ptr<const Database>> m_databases;
};

}  // namespace tellvane::dbc
