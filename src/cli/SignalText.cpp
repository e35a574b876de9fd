#include "cli/SignalText.h"

#include <algorithm>
#include <charconv>

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
void appendNumber(QByteArray& out, Number number, Format... format)
{
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, number, format...);
    out.append(text, end.ptr - text);
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
    bytes.name = "  " + message.name.toUtf8();
    bytes.firstSignal = m_signalCount;
    const std::vector<dbc::Signal>& all = message.signalList;
    m_signalCount += static_cast<int>(all.size());
    bytes.signalBytes.reserve(all.size());
    for (const dbc::Signal& signal : all) {
        SignalBytes& s = bytes.signalBytes.emplace_back();
        s.name = "  " + signal.name.toUtf8() + '=';
        if (!signal.unit.isEmpty())
            s.unit = ' ' + signal.unit.toUtf8();
        for (const auto& [raw, text] : signal.valueTexts)
            s.texts.emplace_back(raw, " \"" + text.toUtf8() + '"');
        std::sort(s.texts.begin(), s.texts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    if (message.j1939)
        bytes.sources.resize(256);
    return m_bytes.emplace(&message, std::move(bytes)).first->second;
}

// The group's name with the source as the signals' keys carry it.
const QByteArray& SignalText::nameFrom(MessageBytes& bytes, const dbc::Message& message, std::uint32_t id, int source)
{
    QByteArray& name = bytes.sources[static_cast<std::size_t>(source)];
    if (name.isEmpty()) {
        name = bytes.name;
        const std::vector<dbc::Signal>& all = message.signalList;
        if (!all.empty()) {
            const QString key = dbc::signalKey(message, all.front(), id);
            name += key.mid(message.name.size() + 1 + all.front().name.size()).toUtf8();
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

void SignalText::appendValue(QByteArray& out, const dbc::Signal& signal, const dbc::DecodedSignal& value)
{
    const bool plain = signal.factor == 1.0 && signal.offset == 0.0;
    if (plain && signal.type == dbc::Signal::Type::Integer) {
        if (signal.isSigned)
            appendNumber(out, rawOf(signal, value.bits));
        else
            appendNumber(out, value.bits);
    } else if (plain && signal.type == dbc::Signal::Type::Float) {
        appendNumber(out, static_cast<float>(value.value));
    } else {
        appendNumber(out, value.value, std::chars_format::general, 15);
    }
}

void SignalText::append(QByteArray& out, const TraceFrame& frame)
{
    Frame decoded;
    if (!decode(frame, decoded))
        return;
    MessageBytes& bytes = bytesOf(*decoded.message);
    out += decoded.source >= 0 ? nameFrom(bytes, *decoded.message, frame.id, decoded.source) : bytes.name;
    const dbc::Signal* const first = decoded.message->signalList.data();
    for (const dbc::DecodedSignal& value : m_values) {
        const std::size_t index = static_cast<std::size_t>(value.signal - first);
        if (index >= bytes.signalBytes.size())
            continue;
        const SignalBytes& s = bytes.signalBytes[index];
        out += s.name;
        appendValue(out, *value.signal, value);
        out += s.unit;
        if (!s.texts.empty()) {
            const std::int64_t raw = rawOf(*value.signal, value.bits);
            const auto text = std::lower_bound(s.texts.begin(), s.texts.end(), raw,
                                               [](const auto& entry, std::int64_t r) { return entry.first < r; });
            if (text != s.texts.end() && text->first == raw)
                out += text->second;
        }
    }
}

}  // namespace tellvane::cli
