#include "cli/SignalText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tellvane::cli {

namespace {

// The raw value a value description (VAL_) names: sign-extended for a signed signal.
std::int64_t rawOf(const dbc::Signal& signal, std::uint64_t bits)
{
    if (signal.type != dbc::Signal::Type::Integer || !signal.isSigned || signal.length <= 0 || signal.length >= 64)
        return static_cast<std::int64_t>(bits);
    const int unused = 64 - signal.length;
    return static_cast<std::int64_t>(bits << unused) >> unused;
}

template <typename Number, typename... Format>
void appendNumber(TextBuffer& out, Number number, Format... format)
{
    char* const begin = out.room(64);
    out.added(static_cast<std::size_t>(std::to_chars(begin, begin + 64, number, format...).ptr - begin));
}

constexpr std::int64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// A whole number of tenths, hundredths ...: "-20", "1000.125", "0.05".
void appendDecimal(TextBuffer& out, std::int64_t scaled, int decimals)
{
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    const auto power = static_cast<std::uint64_t>(kPowersOfTen[decimals]);
    std::uint64_t fraction = magnitude % power;
    if (negative)
        out.append('-');
    appendNumber(out, magnitude / power);
    if (fraction == 0)
        return;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --decimals;
    }
    char* const digits = out.room(static_cast<std::size_t>(decimals) + 1);
    digits[0] = '.';
    for (int i = decimals; i > 0; --i, fraction /= 10)
        digits[i] = static_cast<char>('0' + fraction % 10);
    out.added(static_cast<std::size_t>(decimals) + 1);
}

// The least number of decimals (at most 9) that makes both whole.
void scaleOf(const dbc::Signal& signal, int& decimals, std::int64_t& factor, std::int64_t& offset)
{
    const auto whole = [](double value, std::int64_t& out) {
        const double rounded = std::round(value);
        if (!(std::abs(rounded) < 1e15) || std::abs(value - rounded) > 1e-9 * std::max(1.0, std::abs(value)))
            return false;
        out = static_cast<std::int64_t>(rounded);
        return true;
    };
    for (int d = 0; d < static_cast<int>(std::size(kPowersOfTen)); ++d) {
        const auto power = static_cast<double>(kPowersOfTen[d]);
        if (whole(signal.factor * power, factor) && whole(signal.offset * power, offset)) {
            decimals = d;
            return;
        }
    }
}

}  // namespace

bool SignalText::load(const QStringList& files, QTextStream& err)
{
    for (const QString& file : files) {
        std::vector<dbc::Report> reports;
        QString error;
        std::optional<dbc::Database> database = dbc::Database::load(file, reports, error);
        // The reader bounds them, and says when it stopped naming them.
        for (const dbc::Report& report : reports)
            err << report.file << ':' << report.line << ": " << report.text << '\n';
        m_reported = m_reported || !reports.empty();
        if (!database) {
            err << "tellvane-cli: " << error << Qt::endl;
            return false;
        }
        m_databases.add(std::make_shared<const dbc::Database>(std::move(*database)));
    }
    err.flush();
    return true;
}

bool SignalText::decode(const TraceFrame& frame, Frame& decoded)
{
    if (frame.flags & (TraceFrame::Remote | TraceFrame::Error))
        return false;
    const dbc::Message* message = m_databases.find(frame.id, frame.extended());
    if (!message)
        return false;
    dbc::decode(*message, frame, m_values);
    decoded = {message, frame.id, message->j1939 ? j1939::source(frame.id) : -1, &m_values};
    return true;
}

SignalText::MessageBytes& SignalText::bytesOf(const dbc::Message& message)
{
    const auto found = m_bytes.find(&message);
    if (found != m_bytes.end())
        return found->second;
    MessageBytes bytes;
    bytes.name = "  " + message.name.toStdString();
    bytes.firstSignal = m_signalCount;
    const std::vector<dbc::Signal>& all = message.signalList;
    m_signalCount += static_cast<int>(all.size());
    bytes.signalBytes.reserve(all.size());
    for (const dbc::Signal& signal : all) {
        SignalBytes& s = bytes.signalBytes.emplace_back();
        s.name = "  " + signal.name.toStdString() + '=';
        if (!signal.unit.isEmpty())
            s.unit = ' ' + signal.unit.toStdString();
        for (const auto& [raw, text] : signal.valueTexts)
            s.texts.emplace_back(raw, " \"" + text.toStdString() + '"');
        std::sort(s.texts.begin(), s.texts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        if (signal.type == dbc::Signal::Type::Integer)
            scaleOf(signal, s.decimals, s.factor, s.offset);
    }
    if (message.j1939)
        bytes.sources.resize(256);
    return m_bytes.emplace(&message, std::move(bytes)).first->second;
}

// The group's name with the source as the signals' keys carry it.
const std::string& SignalText::nameFrom(MessageBytes& bytes, const dbc::Message& message, std::uint32_t id, int source)
{
    std::string& name = bytes.sources[static_cast<std::size_t>(source)];
    if (name.empty()) {
        name = bytes.name;
        const std::vector<dbc::Signal>& all = message.signalList;
        if (!all.empty()) {
            const QString key = dbc::signalKey(message, all.front(), id);
            name += key.mid(message.name.size() + 1 + all.front().name.size()).toStdString();
        }
    }
    return name;
}

int SignalText::signalIndex(const Frame& frame, const dbc::DecodedSignal& value)
{
    const std::vector<dbc::Signal>& all = frame.message->signalList;
    const std::ptrdiff_t index = value.signal - all.data();
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(all.size()))
        return -1;
    return bytesOf(*frame.message).firstSignal + static_cast<int>(index);
}

void SignalText::appendValue(TextBuffer& out, const Frame& frame, const dbc::DecodedSignal& value)
{
    const std::size_t index = static_cast<std::size_t>(value.signal - frame.message->signalList.data());
    const MessageBytes& bytes = bytesOf(*frame.message);
    if (index < bytes.signalBytes.size())
        appendValue(out, bytes.signalBytes[index], value);
}

void SignalText::appendValue(TextBuffer& out, const SignalBytes& bytes, const dbc::DecodedSignal& value)
{
    const dbc::Signal& signal = *value.signal;
    if (bytes.decimals == 0 && bytes.factor == 1 && bytes.offset == 0 && !signal.isSigned) {
        appendNumber(out, value.bits);
        return;
    }
    if (bytes.decimals >= 0) {
        const std::int64_t raw = rawOf(signal, value.bits);
        // Whole numbers while the product stays far inside 64 bits.
        if ((signal.isSigned || (value.bits >> 62) == 0)
            && std::abs(static_cast<double>(raw)) * std::abs(static_cast<double>(bytes.factor))
                       + std::abs(static_cast<double>(bytes.offset))
                   < 4e18) {
            appendDecimal(out, raw * bytes.factor + bytes.offset, bytes.decimals);
            return;
        }
    }
    if (signal.type == dbc::Signal::Type::Float && signal.factor == 1.0 && signal.offset == 0.0)
        appendNumber(out, static_cast<float>(value.value));
    else
        appendNumber(out, value.value, std::chars_format::general, 15);
}

void SignalText::append(TextBuffer& out, const TraceFrame& frame)
{
    Frame decoded;
    if (!decode(frame, decoded))
        return;
    MessageBytes& bytes = bytesOf(*decoded.message);
    out.append(decoded.source >= 0 ? nameFrom(bytes, *decoded.message, frame.id, decoded.source) : bytes.name);
    const dbc::Signal* const first = decoded.message->signalList.data();
    for (const dbc::DecodedSignal& value : m_values) {
        const std::size_t index = static_cast<std::size_t>(value.signal - first);
        if (index >= bytes.signalBytes.size())
            continue;
        const SignalBytes& s = bytes.signalBytes[index];
        out.append(s.name);
        appendValue(out, s, value);
        out.append(s.unit);
        if (!s.texts.empty()) {
            const std::int64_t raw = rawOf(*value.signal, value.bits);
            const auto text = std::lower_bound(s.texts.begin(), s.texts.end(), raw,
                                               [](const auto& entry, std::int64_t r) { return entry.first < r; });
            if (text != s.texts.end() && text->first == raw)
                out.append(text->second);
        }
    }
}

}  // namespace tellvane::cli
