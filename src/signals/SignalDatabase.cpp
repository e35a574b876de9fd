#include "signals/SignalDatabase.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace tellvane::dbc {

namespace {

std::uint64_t lowMask(int length)
{
    return length >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << length) - 1;
}

// The raw bits as an integer, negative for a signed signal whose top bit is set.
std::int64_t integerOf(const Signal& signal, std::uint64_t bits)
{
    if (signal.type == Signal::Type::Integer && signal.isSigned && signal.length > 0 && signal.length < 64
        && (bits >> (signal.length - 1)) & 1)
        bits |= ~lowMask(signal.length);
    return static_cast<std::int64_t>(bits);
}

}  // namespace

std::optional<std::uint64_t> Signal::rawBits(const std::uint8_t* data, int frameLength) const
{
    // One 64-bit load of the frame and a shift: the bytes past the frame's
    // length are zeros, and a signal reaching into them is not in the frame.
    const int available = std::min(frameLength, 8);
    if (length < 1 || length > 64 || startBit < 0)
        return std::nullopt;
    std::uint64_t word = 0;
    std::memcpy(&word, data, sizeof word);
    if (order == Order::Intel) {
        if (startBit + length > available * 8)
            return std::nullopt;
        return (qFromLittleEndian(word) >> startBit) & lowMask(length);
    }
    // Motorola: the start bit is the most significant; the signal runs down
    // through its byte and on into the bytes after it.
    const int byte = startBit / 8;
    const int bit = startBit % 8;
    const int lastByte = length <= bit + 1 ? byte : byte + (length - bit - 1 + 7) / 8;
    if (lastByte >= available)
        return std::nullopt;
    const int lowest = (7 - byte) * 8 + bit - length + 1;
    return (qFromBigEndian(word) >> lowest) & lowMask(length);
}

double Signal::rawValue(std::uint64_t bits) const
{
    switch (type) {
    case Type::Float:
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    case Type::Double:
        return std::bit_cast<double>(bits);
    case Type::Integer:
        break;
    }
    return isSigned ? static_cast<double>(integerOf(*this, bits)) : static_cast<double>(bits);
}

double Signal::physical(std::uint64_t bits) const
{
    return rawValue(bits) * factor + offset;
}

QString Signal::valueText(std::uint64_t bits) const
{
    if (valueTexts.empty())
        return {};
    const std::int64_t key = integerOf(*this, bits);
    const auto it = std::lower_bound(valueTexts.begin(), valueTexts.end(), key,
                                     [](const auto& entry, std::int64_t value) { return entry.first < value; });
    return it != valueTexts.end() && it->first == key ? it->second : QString();
}

namespace {

constexpr std::uint64_t kExtendedKey = std::uint64_t{1} << 32;
constexpr std::uint64_t kPgnKey = std::uint64_t{2} << 32;

}  // namespace

std::uint64_t Database::exactKey(std::uint32_t id, bool extended)
{
    return id | (extended ? kExtendedKey : 0);
}

std::uint64_t Database::pgnKey(std::uint32_t id)
{
    return kPgnKey | j1939::pgn(id);
}

const Message* Database::find(std::uint32_t id, bool extended) const
{
    auto it = m_byKey.find(exactKey(id, extended));
    if (it == m_byKey.end() && extended && m_anyJ1939)
        it = m_byKey.find(pgnKey(id));
    return it == m_byKey.end() ? nullptr : &m_messages[it->second];
}

namespace {

static_assert(Database::kMaxSignalsPerMessage <= INT16_MAX && Database::kMaxMuxRanges <= UINT16_MAX);

// A multiplexor's raw value in one frame, if it is present.
struct MuxState {
    std::int64_t value;
    bool present;
};

bool selectedBy(const Message& message, const Signal& signal, std::int64_t multiplexorValue)
{
    if (signal.muxRangeCount == 0)
        return multiplexorValue == signal.muxValue;
    const auto first = message.muxRanges.begin() + signal.muxRangeBegin;
    return std::any_of(first, first + signal.muxRangeCount,
                       [&](const Signal::Range& r) { return multiplexorValue >= r.low && multiplexorValue <= r.high; });
}

// The multiplexors are settled in `muxOrder`, a multiplexor after the one
// that selects it, so that a chain of any depth takes one pass; the reader
// left no circles in it. Kept out of line: plain messages pay nothing for it.
[[gnu::noinline]] void decodeExtended(const Message& message, const TraceFrame& frame, std::vector<DecodedSignal>& out)
{
    const std::uint8_t* data = frame.data.data();
    const std::vector<Signal>& signalList = message.signalList;
    std::array<MuxState, 32> local;
    std::vector<MuxState> more;
    MuxState* states = local.data();
    if (message.muxOrder.size() > local.size()) {
        more.resize(message.muxOrder.size());
        states = more.data();
    }
    const auto present = [&](const Signal& signal) {
        if (signal.selector < 0)
            return signal.selector == Signal::kAlways;
        const MuxState& mux = states[static_cast<std::size_t>(signalList[static_cast<std::size_t>(signal.selector)].muxSlot)];
        return mux.present && selectedBy(message, signal, mux.value);
    };
    for (std::size_t slot = 0; slot < message.muxOrder.size(); ++slot) {
        const Signal& mux = signalList[static_cast<std::size_t>(message.muxOrder[slot])];
        states[slot] = {0, false};
        if (!present(mux))
            continue;
        if (const auto bits = mux.rawBits(data, frame.length))
            states[slot] = {integerOf(mux, *bits), true};
    }
    // Filled in place: the plain loop's push_back stays the only one, and inlined.
    out.resize(signalList.size());
    std::size_t count = 0;
    for (const Signal& signal : signalList) {
        if (!present(signal))
            continue;
        if (const auto bits = signal.rawBits(data, frame.length))
            out[count++] = {&signal, *bits, signal.physical(*bits)};
    }
    out.resize(count);
}

}  // namespace

std::size_t decode(const Message& message, const TraceFrame& frame, std::vector<DecodedSignal>& out)
{
    out.clear();
    if (frame.flags & (TraceFrame::Remote | TraceFrame::Error))
        return 0;
    if (message.extendedMux) {
        decodeExtended(message, frame, out);
        return out.size();
    }
    // One multiplexor at most, and each signal selected by one value of it.
    const std::uint8_t* data = frame.data.data();
    std::optional<std::int64_t> selector;
    if (message.multiplexor >= 0) {
        const Signal& mux = message.signalList[static_cast<std::size_t>(message.multiplexor)];
        if (const auto bits = mux.rawBits(data, frame.length))
            selector = integerOf(mux, *bits);
    }
    for (const Signal& signal : message.signalList) {
        if (signal.selector != Signal::kAlways && (!selector || signal.selector < 0 || *selector != signal.muxValue))
            continue;
        const auto bits = signal.rawBits(data, frame.length);
        if (!bits)
            continue;
        out.push_back({&signal, *bits, signal.physical(*bits)});
    }
    return out.size();
}

QString signalKey(const Message& message, const Signal& signal, std::uint32_t frameId)
{
    QString key = message.name + QLatin1Char('.') + signal.name;
    if (message.j1939)
        key += QStringLiteral("@%1").arg(j1939::source(frameId), 2, 16, QLatin1Char('0')).toUpper();
    return key;
}

const Message* DatabaseSet::find(std::uint32_t id, bool extended) const
{
    for (const auto& database : m_databases) {
        if (const Message* message = database->find(id, extended))
            return message;
    }
    return nullptr;
}

}  // namespace tellvane::dbc
