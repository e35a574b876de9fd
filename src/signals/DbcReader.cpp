// The DBC reader: one pass over the lines for messages and signals, then the
// statements that refer to them (comments, value texts, value types,
// attributes), looked up by hash so that no file costs more than its length.

#include "signals/SignalDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <map>

namespace tellvane::dbc {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// A cursor over one statement.
class Cursor {
public:
    explicit Cursor(QStringView text) : m_text(text) {}

    bool atEnd()
    {
        skipSpace();
        return m_at >= m_text.size();
    }
    bool eat(char c)
    {
        skipSpace();
        if (m_at < m_text.size() && m_text[m_at] == QLatin1Char(c)) {
            ++m_at;
            return true;
        }
        return false;
    }
    QChar peek()
    {
        skipSpace();
        return m_at < m_text.size() ? m_text[m_at] : QChar();
    }
    // A character right here, without spaces before it.
    QChar take()
    {
        return m_at < m_text.size() ? m_text[m_at++] : QChar();
    }
    QStringView name()
    {
        skipSpace();
        const qsizetype from = m_at;
        while (m_at < m_text.size() && isNameChar(m_text[m_at]))
            ++m_at;
        return m_text.sliced(from, m_at - from);
    }
    std::optional<double> number()
    {
        const QStringView text = numberText();
        bool ok = false;
        const double value = text.toDouble(&ok);
        return ok ? std::optional<double>(value) : std::nullopt;
    }
    std::optional<std::int64_t> integer()
    {
        const QStringView text = numberText();
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        if (ok)
            return value;
        // Value tables of 64-bit unsigned signals may go past the signed range.
        const qulonglong big = text.toULongLong(&ok);
        return ok ? std::optional<std::int64_t>(static_cast<std::int64_t>(big)) : std::nullopt;
    }
    // Decimal digits alone (a multiplexer value range's "-" is no sign).
    std::optional<std::int64_t> digits()
    {
        skipSpace();
        const qsizetype from = m_at;
        while (m_at < m_text.size() && m_text[m_at].isDigit())
            ++m_at;
        bool ok = false;
        const qlonglong value = m_text.sliced(from, m_at - from).toLongLong(&ok);
        return ok ? std::optional<std::int64_t>(value) : std::nullopt;
    }
    std::optional<std::uint32_t> unsignedInteger()
    {
        bool ok = false;
        const qulonglong value = numberText().toULongLong(&ok);
        return ok && value <= 0xFFFFFFFFull ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(value)) : std::nullopt;
    }
    // A quoted text; \" stands for a quote.
    std::optional<QString> quoted()
    {
        if (!eat('"'))
            return std::nullopt;
        QString text;
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at++];
            if (c == QLatin1Char('"'))
                return text;
            if (c == QLatin1Char('\\') && m_at < m_text.size()
                && (m_text[m_at] == QLatin1Char('"') || m_text[m_at] == QLatin1Char('\\')))
                text += m_text[m_at++];
            else
                text += c;
        }
        return std::nullopt;
    }

private:
    void skipSpace()
    {
        while (m_at < m_text.size() && m_text[m_at].isSpace())
            ++m_at;
    }
    QStringView numberText()
    {
        skipSpace();
        const qsizetype from = m_at;
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at];
            if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('-') && c != QLatin1Char('+')
                && c != QLatin1Char('e') && c != QLatin1Char('E') && c != QLatin1Char('x') && c != QLatin1Char('X'))
                break;
            ++m_at;
        }
        return m_text.sliced(from, m_at - from);
    }

    QStringView m_text;
    qsizetype m_at = 0;
};

// Valid UTF-8 as UTF-8, anything else as Latin-1.
QString decodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// The statements of the format; those not listed are reported. A line of
// just a keyword is NS_'s list of them.
const QSet<QString>& keywords()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (const char* name :
             {"VERSION", "NS_", "NS_DESC_", "CM_", "BA_DEF_", "BA_", "VAL_", "CAT_DEF_", "CAT_", "FILTER",
              "BA_DEF_DEF_", "EV_DATA_", "ENVVAR_DATA_", "SGTYPE_", "SGTYPE_VAL_", "BA_DEF_SGTYPE_",
              "BA_SGTYPE_", "SIG_TYPE_REF_", "VAL_TABLE_", "SIG_GROUP_", "SIG_VALTYPE_", "SIGTYPE_VALTYPE_",
              "BO_TX_BU_", "BA_DEF_REL_", "BA_REL_", "BA_DEF_DEF_REL_", "BU_SG_REL_", "BU_EV_REL_",
              "BU_BO_REL_", "SG_MUL_VAL_", "BS_", "BU_", "EV_", "ENVVAR_", "SG_", "BO_"})
            set.insert(QString::fromLatin1(name));
        return set;
    }();
    return names;
}

// Whether a quote, open or not where `text` begins, is open at its end.
bool quoteOpen(QStringView text, bool open)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (open && text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == QLatin1Char('"'))
            open = !open;
    }
    return open;
}

struct Statement {
    int line = 0;
    QString keyword;
    QString text;  // after the keyword
};

class Reader {
public:
    Reader(const QString& file, std::vector<Report>& reports) : m_file(file), m_reports(reports) {}

    void readLines(const QString& text);
    void resolve();

    std::vector<Message> messages;
    bool j1939 = false;

private:
    // Past kMaxReports one last report says the rest go unreported: a file
    // of nothing but broken lines keeps its reports small.
    void report(int line, const QString& why)
    {
        if (m_reported < Database::kMaxReports)
            m_reports.push_back({m_file, line, why});
        else if (m_reported == Database::kMaxReports)
            m_reports.push_back({m_file, line, QStringLiteral("more than %1 lines cannot be read; the rest are not reported").arg(Database::kMaxReports)});
        ++m_reported;
    }
    void readMessage(int line, QStringView text);
    void readSignal(int line, QStringView text);
    void readComment(const Statement& s);
    void readValues(const Statement& s);
    void readValueType(const Statement& s);
    void readAttribute(const Statement& s);
    void readAttributeDefinition(const Statement& s);
    void readMuxValues(const Statement& s);
    void settleMultiplexing(std::size_t messageIndex);
    // The message of a DBC identifier (bit 31 included) and a signal in it.
    Message* messageOf(Cursor& cursor, int line);
    Signal* signalOf(Message& message, QStringView name, int line);

    QString m_file;
    std::vector<Report>& m_reports;
    int m_current = -1;  // the message SG_ lines belong to
    bool m_unclosed = false;  // a quote ran on to the end of the text
    int m_reported = 0;
    std::vector<Statement> m_later;
    std::unordered_map<std::uint32_t, std::size_t> m_byFileId;
    std::vector<QHash<QString, int>> m_signalIndex;
    QStringList m_frameFormats = {QStringLiteral("StandardCAN"), QStringLiteral("ExtendedCAN"),
                                  QStringLiteral("reserved"), QStringLiteral("J1939PG")};
    std::vector<std::pair<std::size_t, QString>> m_frameFormatOf;  // message, VFrameFormat as given
    // A signal's SG_MUL_VAL_ (by message index << 32 | signal index): its
    // last line and its ranges, until they go to the message in one piece.
    struct MuxValues {
        int line = 0;
        std::vector<Signal::Range> ranges;
    };
    std::unordered_map<std::uint64_t, MuxValues> m_muxValues;
};

void Reader::readLines(const QString& text)
{
    int lineNumber = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), at);
        if (end < 0)
            end = text.size();
        ++lineNumber;
        QStringView line = QStringView(text).sliced(at, end - at);
        at = end + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        qsizetype k = 0;
        while (k < line.size() && isNameChar(line[k]))
            ++k;
        const QString keyword = line.first(k).toString();
        const QStringView rest = line.sliced(k);
        if (!keywords().contains(keyword)) {
            report(lineNumber, QStringLiteral("unknown statement \"%1\"").arg(line.first(std::min<qsizetype>(line.size(), 40))));
            m_current = -1;
            continue;
        }
        if (keyword == QLatin1String("SG_")) {
            readSignal(lineNumber, rest);
            continue;
        }
        m_current = -1;
        if (keyword == QLatin1String("BO_")) {
            readMessage(lineNumber, rest);
            continue;
        }
        if (rest.trimmed().isEmpty())
            continue;  // NS_'s list of keywords
        Statement statement{lineNumber, keyword, rest.toString()};
        if (quoteOpen(rest, false)) {
            // A text in quotes over several lines. Once a quote was never
            // closed, none after it is looked for (the work stays linear);
            // the lines after it are read all the same.
            qsizetype scan = at;
            int lines = lineNumber;
            bool open = true;
            while (open && !m_unclosed && scan < text.size()) {
                qsizetype next = text.indexOf(QLatin1Char('\n'), scan);
                if (next < 0)
                    next = text.size();
                QStringView more = QStringView(text).sliced(scan, next - scan);
                if (more.endsWith(QLatin1Char('\r')))
                    more.chop(1);
                open = quoteOpen(more, true);
                statement.text += QLatin1Char('\n');
                statement.text += more;
                ++lines;
                scan = next + 1;
            }
            if (open) {
                m_unclosed = true;
                report(lineNumber, QStringLiteral("a text in quotes is not closed"));
                continue;
            }
            lineNumber = lines;
            at = scan;
        }
        if (keyword == QLatin1String("CM_") || keyword == QLatin1String("VAL_") || keyword == QLatin1String("BA_")
            || keyword == QLatin1String("BA_DEF_") || keyword == QLatin1String("SIG_VALTYPE_")
            || keyword == QLatin1String("SG_MUL_VAL_"))
            m_later.push_back(std::move(statement));
    }
}

void Reader::readMessage(int line, QStringView text)
{
    Cursor c(text);
    const auto fileId = c.unsignedInteger();
    const QStringView name = c.name();
    if (!fileId || name.isEmpty() || !c.eat(':')) {
        report(line, QStringLiteral("cannot read the message"));
        return;
    }
    const auto length = c.unsignedInteger();
    if (!length || *length > 64) {
        report(line, QStringLiteral("message length must be 0 to 64"));
        return;
    }
    if (m_byFileId.contains(*fileId)) {
        report(line, QStringLiteral("message %1 defined twice").arg(*fileId));
        return;
    }
    if (messages.size() >= static_cast<std::size_t>(Database::kMaxMessages)) {
        report(line, QStringLiteral("more than %1 messages").arg(Database::kMaxMessages));
        return;
    }
    Message message;
    message.extended = (*fileId & 0x80000000u) != 0;
    message.id = *fileId & 0x7FFFFFFFu;
    message.name = name.toString();
    message.length = static_cast<int>(*length);
    message.sender = c.name().toString();
    m_current = static_cast<int>(messages.size());
    m_byFileId.emplace(*fileId, messages.size());
    messages.push_back(std::move(message));
    m_signalIndex.emplace_back();
}

void Reader::readSignal(int line, QStringView text)
{
    if (m_current < 0) {
        report(line, QStringLiteral("a signal outside a message"));
        return;
    }
    Message& message = messages[static_cast<std::size_t>(m_current)];
    Cursor c(text);
    Signal signal;
    signal.name = c.name().toString();
    if (signal.name.isEmpty()) {
        report(line, QStringLiteral("cannot read the signal"));
        return;
    }
    bool root = false;  // "M"
    if (c.peek() != QLatin1Char(':')) {
        const QStringView mux = c.name();
        if (mux == QLatin1String("M")) {
            root = signal.multiplexor = true;
        } else {
            // "mN", or "mNM" for a multiplexor that is itself selected.
            QStringView value = mux.startsWith(QLatin1Char('m')) ? mux.sliced(1) : QStringView();
            if (value.endsWith(QLatin1Char('M'))) {
                value.chop(1);
                signal.multiplexor = true;
            }
            bool ok = false;
            signal.muxValue = value.toLongLong(&ok);
            if (!ok) {
                report(line, QStringLiteral("cannot read the multiplexer \"%1\"").arg(mux));
                return;
            }
            signal.multiplexed = true;
        }
    }
    const auto start = c.eat(':') ? c.integer() : std::nullopt;
    const auto length = start && c.eat('|') ? c.integer() : std::nullopt;
    if (!length || !c.eat('@')) {
        report(line, QStringLiteral("cannot read the signal"));
        return;
    }
    const QChar order = c.take();
    const QChar sign = c.take();
    if ((order != QLatin1Char('0') && order != QLatin1Char('1')) || (sign != QLatin1Char('+') && sign != QLatin1Char('-'))) {
        report(line, QStringLiteral("cannot read the byte order and sign"));
        return;
    }
    std::optional<double> factor, offset, minimum, maximum;
    const bool scaled = c.eat('(') && (factor = c.number()) && c.eat(',') && (offset = c.number()) && c.eat(')')
                        && c.eat('[') && (minimum = c.number()) && c.eat('|') && (maximum = c.number()) && c.eat(']');
    if (!scaled) {
        report(line, QStringLiteral("cannot read the factor, offset, minimum or maximum"));
        return;
    }
    const auto unit = c.quoted();
    if (!unit) {
        report(line, QStringLiteral("cannot read the unit"));
        return;
    }
    if (*length < 1 || *length > 64) {
        report(line, QStringLiteral("signal length must be 1 to 64"));
        return;
    }
    if (*start < 0 || *start > 511) {
        report(line, QStringLiteral("start bit must be 0 to 511"));
        return;
    }
    while (!c.atEnd()) {
        const QStringView receiver = c.name();
        if (receiver.isEmpty() && !c.eat(',')) {
            report(line, QStringLiteral("cannot read the receivers"));
            return;
        }
        if (!receiver.isEmpty())
            signal.receivers << receiver.toString();
    }
    signal.startBit = static_cast<int>(*start);
    signal.length = static_cast<int>(*length);
    signal.order = order == QLatin1Char('1') ? Signal::Order::Intel : Signal::Order::Motorola;
    signal.isSigned = sign == QLatin1Char('-');
    signal.factor = *factor;
    signal.offset = *offset;
    signal.minimum = *minimum;
    signal.maximum = *maximum;
    signal.unit = *unit;

    QHash<QString, int>& index = m_signalIndex[static_cast<std::size_t>(m_current)];
    if (index.contains(signal.name)) {
        report(line, QStringLiteral("signal %1 defined twice in %2").arg(signal.name, message.name));
        return;
    }
    if (message.signalList.size() >= static_cast<std::size_t>(Database::kMaxSignalsPerMessage)) {
        report(line, QStringLiteral("more than %1 signals in %2").arg(Database::kMaxSignalsPerMessage).arg(message.name));
        return;
    }
    if (root) {
        if (message.multiplexor >= 0) {
            report(line, QStringLiteral("a second multiplexor in %1").arg(message.name));
            return;
        }
        message.multiplexor = static_cast<int>(message.signalList.size());
    }
    index.insert(signal.name, static_cast<int>(message.signalList.size()));
    message.signalList.push_back(std::move(signal));
}

Message* Reader::messageOf(Cursor& cursor, int line)
{
    const auto fileId = cursor.unsignedInteger();
    if (!fileId) {
        report(line, QStringLiteral("cannot read the message identifier"));
        return nullptr;
    }
    const auto it = m_byFileId.find(*fileId);
    if (it == m_byFileId.end()) {
        report(line, QStringLiteral("no message %1").arg(*fileId));
        return nullptr;
    }
    return &messages[it->second];
}

Signal* Reader::signalOf(Message& message, QStringView name, int line)
{
    const QHash<QString, int>& index = m_signalIndex[static_cast<std::size_t>(&message - messages.data())];
    const auto it = index.constFind(name.toString());
    if (it == index.constEnd()) {
        report(line, QStringLiteral("no signal %1 in %2").arg(name, message.name));
        return nullptr;
    }
    return &message.signalList[static_cast<std::size_t>(*it)];
}

void Reader::readComment(const Statement& s)
{
    Cursor c(s.text);
    const QChar first = c.peek();
    if (first == QLatin1Char('"'))
        return;  // the database's own comment
    const QStringView object = c.name();
    if (object != QLatin1String("BO_") && object != QLatin1String("SG_"))
        return;  // nodes and environment variables
    Message* message = messageOf(c, s.line);
    if (!message)
        return;
    QString* comment = &message->comment;
    if (object == QLatin1String("SG_")) {
        Signal* signal = signalOf(*message, c.name(), s.line);
        if (!signal)
            return;
        comment = &signal->comment;
    }
    const auto text = c.quoted();
    if (!text || !c.eat(';')) {
        report(s.line, QStringLiteral("cannot read the comment"));
        return;
    }
    *comment = *text;
}

void Reader::readValues(const Statement& s)
{
    Cursor c(s.text);
    if (!c.peek().isDigit())
        return;  // an environment variable's
    Message* message = messageOf(c, s.line);
    Signal* signal = message ? signalOf(*message, c.name(), s.line) : nullptr;
    if (!signal)
        return;
    std::map<std::int64_t, QString> texts;
    while (!c.eat(';')) {
        const auto value = c.integer();
        const auto text = value ? c.quoted() : std::nullopt;
        if (!text) {
            report(s.line, QStringLiteral("cannot read the value descriptions"));
            return;
        }
        if (texts.size() >= static_cast<std::size_t>(Database::kMaxValueTexts)) {
            report(s.line, QStringLiteral("more than %1 value descriptions").arg(Database::kMaxValueTexts));
            return;
        }
        texts[*value] = *text;
    }
    signal->valueTexts.assign(texts.begin(), texts.end());
}

void Reader::readValueType(const Statement& s)
{
    Cursor c(s.text);
    Message* message = messageOf(c, s.line);
    Signal* signal = message ? signalOf(*message, c.name(), s.line) : nullptr;
    if (!signal)
        return;
    c.eat(':');
    const auto type = c.integer();
    if (!type || *type < 0 || *type > 2 || !c.eat(';')) {
        report(s.line, QStringLiteral("cannot read the value type"));
        return;
    }
    const Signal::Type types[] = {Signal::Type::Integer, Signal::Type::Float, Signal::Type::Double};
    const int lengths[] = {signal->length, 32, 64};
    if (signal->length != lengths[*type]) {
        report(s.line, QStringLiteral("a float is 32 bits long, a double 64"));
        return;
    }
    signal->type = types[*type];
}

void Reader::readAttributeDefinition(const Statement& s)
{
    Cursor c(s.text);
    c.name();  // the kind of object
    const auto name = c.quoted();
    if (!name || *name != QLatin1String("VFrameFormat") || c.name() != QLatin1String("ENUM"))
        return;
    QStringList values;
    while (const auto value = c.quoted()) {
        values << *value;
        c.eat(',');
    }
    m_frameFormats = values;
}

void Reader::readAttribute(const Statement& s)
{
    Cursor c(s.text);
    const auto name = c.quoted();
    if (!name)
        return;
    if (*name == QLatin1String("ProtocolType")) {
        if (const auto value = c.quoted())
            j1939 = *value == QLatin1String("J1939");
        return;
    }
    if (*name != QLatin1String("VFrameFormat") || c.name() != QLatin1String("BO_"))
        return;
    Message* message = messageOf(c, s.line);
    if (!message)
        return;
    std::optional<QString> value;
    if (c.peek() == QLatin1Char('"')) {
        value = c.quoted();
    } else if (const auto index = c.integer()) {
        value = QString::number(*index);
    }
    if (!value) {
        report(s.line, QStringLiteral("cannot read the frame format"));
        return;
    }
    m_frameFormatOf.emplace_back(static_cast<std::size_t>(message - messages.data()), *value);
}

void Reader::readMuxValues(const Statement& s)
{
    Cursor c(s.text);
    Message* message = messageOf(c, s.line);
    Signal* signal = message ? signalOf(*message, c.name(), s.line) : nullptr;
    Signal* mux = signal ? signalOf(*message, c.name(), s.line) : nullptr;
    if (!mux)
        return;
    std::vector<Signal::Range> ranges;
    do {
        const auto low = c.digits();
        const auto high = low && c.eat('-') ? c.digits() : std::nullopt;
        if (!high) {
            report(s.line, QStringLiteral("cannot read the multiplexer value ranges"));
            return;
        }
        if (*low > *high) {
            report(s.line, QStringLiteral("multiplexer value range %1-%2 is empty").arg(*low).arg(*high));
            return;
        }
        ranges.push_back({*low, *high});
    } while (c.eat(','));
    if (!c.eat(';')) {
        report(s.line, QStringLiteral("cannot read the multiplexer value ranges"));
        return;
    }
    if (!signal->multiplexed) {
        report(s.line, QStringLiteral("signal %1 is not multiplexed").arg(signal->name));
        return;
    }
    if (!mux->multiplexor) {
        report(s.line, QStringLiteral("signal %1 is not a multiplexor").arg(mux->name));
        return;
    }
    const auto messageIndex = static_cast<std::size_t>(message - messages.data());
    const auto muxIndex = static_cast<std::int16_t>(mux - message->signalList.data());
    MuxValues& values = m_muxValues[messageIndex << 32 | static_cast<std::size_t>(signal - message->signalList.data())];
    if (!values.ranges.empty() && signal->selector != muxIndex) {
        report(s.line, QStringLiteral("signal %1 is already selected by %2").arg(signal->name, message->signalList[static_cast<std::size_t>(signal->selector)].name));
        return;
    }
    if (values.ranges.size() + ranges.size() > static_cast<std::size_t>(Database::kMaxMuxRanges)) {
        report(s.line, QStringLiteral("more than %1 multiplexer value ranges").arg(Database::kMaxMuxRanges));
        return;
    }
    values.line = s.line;
    values.ranges.insert(values.ranges.end(), ranges.begin(), ranges.end());
    signal->selector = muxIndex;
}

// Who selects each signal: its SG_MUL_VAL_, or else the message's "M". A
// circle of multiplexors selecting each other is reported, and its members
// are never selected (nor, then, what they select): decoding follows no
// circle, and a frame cannot say which member would come first.
void Reader::settleMultiplexing(std::size_t messageIndex)
{
    Message& message = messages[messageIndex];
    std::vector<Signal>& list = message.signalList;
    for (std::size_t i = 0; i < list.size(); ++i) {
        Signal& signal = list[i];
        const auto values = m_muxValues.find(messageIndex << 32 | i);
        const bool explicitly = values != m_muxValues.end() && !values->second.ranges.empty();
        message.extendedMux = message.extendedMux || explicitly || (signal.multiplexor && signal.multiplexed);
        if (explicitly) {
            const auto& ranges = values->second.ranges;
            signal.muxRangeBegin = static_cast<std::int32_t>(message.muxRanges.size());
            signal.muxRangeCount = static_cast<std::uint16_t>(ranges.size());
            message.muxRanges.insert(message.muxRanges.end(), ranges.begin(), ranges.end());
        } else if (signal.multiplexed) {
            signal.selector = message.multiplexor >= 0 ? static_cast<std::int16_t>(message.multiplexor) : Signal::kNever;
        }
    }
    if (!message.extendedMux)
        return;
    // Each signal has one selector at most: following the selectors from
    // each signal finds every circle in one pass over the signals.
    enum : std::uint8_t { Unseen, OnPath, Done };
    std::vector<std::uint8_t> mark(list.size(), Unseen);
    std::vector<int> path;
    for (std::size_t i = 0; i < list.size(); ++i) {
        path.clear();
        int at = static_cast<int>(i);
        while (at >= 0 && mark[static_cast<std::size_t>(at)] == Unseen) {
            mark[static_cast<std::size_t>(at)] = OnPath;
            path.push_back(at);
            at = list[static_cast<std::size_t>(at)].selector;
        }
        if (at >= 0 && mark[static_cast<std::size_t>(at)] == OnPath) {
            const std::vector<int> circle(std::find(path.begin(), path.end(), at), path.end());
            // Reported at the SG_MUL_VAL_ line that closed it, by the signal of that line.
            const auto lineOf = [&](int member) { return m_muxValues[messageIndex << 32 | static_cast<std::size_t>(member)].line; };
            const auto last = std::max_element(circle.begin(), circle.end(), [&](int a, int b) { return lineOf(a) < lineOf(b); });
            QStringList through;
            for (std::size_t k = 1; k < circle.size(); ++k)
                through.prepend(list[static_cast<std::size_t>(circle[(static_cast<std::size_t>(last - circle.begin()) + k) % circle.size()])].name);
            if (through.size() > 4)  // a report stays one short line
                through = through.first(3) << QStringLiteral("%1 more").arg(through.size() - 3);
            const Signal& closing = list[static_cast<std::size_t>(*last)];
            report(lineOf(*last),
                   through.isEmpty() ? QStringLiteral("signal %1 selects itself").arg(closing.name)
                                     : QStringLiteral("signal %1 selects itself through %2").arg(closing.name, through.join(QLatin1String(", "))));
            for (int member : circle)
                list[static_cast<std::size_t>(member)].selector = Signal::kNever;
        }
        for (int member : path)
            mark[static_cast<std::size_t>(member)] = Done;
    }
    // The multiplexors by their depth in the chains: each after its own.
    std::vector<int> depth(list.size(), -1);
    for (std::size_t i = 0; i < list.size(); ++i) {
        path.clear();
        int at = static_cast<int>(i);
        while (at >= 0 && depth[static_cast<std::size_t>(at)] < 0) {
            path.push_back(at);
            at = list[static_cast<std::size_t>(at)].selector;
        }
        int d = at >= 0 ? depth[static_cast<std::size_t>(at)] : -1;
        for (auto it = path.rbegin(); it != path.rend(); ++it)
            depth[static_cast<std::size_t>(*it)] = ++d;
        if (list[i].multiplexor)
            message.muxOrder.push_back(static_cast<int>(i));
    }
    std::stable_sort(message.muxOrder.begin(), message.muxOrder.end(),
                     [&](int a, int b) { return depth[static_cast<std::size_t>(a)] < depth[static_cast<std::size_t>(b)]; });
    for (std::size_t slot = 0; slot < message.muxOrder.size(); ++slot)
        list[static_cast<std::size_t>(message.muxOrder[slot])].muxSlot = static_cast<std::int16_t>(slot);
}

void Reader::resolve()
{
    for (const Statement& s : m_later) {
        if (s.keyword == QLatin1String("BA_DEF_"))
            readAttributeDefinition(s);
    }
    for (const Statement& s : m_later) {
        if (s.keyword == QLatin1String("CM_"))
            readComment(s);
        else if (s.keyword == QLatin1String("VAL_"))
            readValues(s);
        else if (s.keyword == QLatin1String("SIG_VALTYPE_"))
            readValueType(s);
        else if (s.keyword == QLatin1String("BA_"))
            readAttribute(s);
        else if (s.keyword == QLatin1String("SG_MUL_VAL_"))
            readMuxValues(s);
    }
    for (std::size_t i = 0; i < messages.size(); ++i)
        settleMultiplexing(i);
    for (const auto& [index, value] : m_frameFormatOf) {
        bool isIndex = false;
        const int number = value.toInt(&isIndex);
        const QString format = isIndex ? m_frameFormats.value(number) : value;
        if (format == QLatin1String("J1939PG"))
            messages[index].j1939 = messages[index].extended;
    }
    for (Message& message : messages)
        message.j1939 = message.j1939 || (j1939 && message.extended);
}

}  // namespace

Database Database::read(const QByteArray& text, const QString& file, std::vector<Report>& reports)
{
    Reader reader(file, reports);
    reader.readLines(decodeText(text));
    reader.resolve();

    Database database;
    database.m_file = file;
    database.m_j1939 = reader.j1939;
    database.m_messages = std::move(reader.messages);
    for (std::size_t i = 0; i < database.m_messages.size(); ++i) {
        const Message& message = database.m_messages[i];
        // VECTOR__INDEPENDENT_SIG_MSG and the like hold signals of no frame.
        if (message.id > (message.extended ? 0x1FFFFFFFu : 0x7FFu))
            continue;
        database.m_byKey.emplace(exactKey(message.id, message.extended), i);
        if (message.j1939) {
            database.m_anyJ1939 = true;
            database.m_byKey.emplace(pgnKey(message.id), i);
        }
    }
    return database;
}

std::optional<Database> Database::load(const QString& fileName, std::vector<Report>& reports, QString& error)
{
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        error = QStringLiteral("%1 is not a file").arg(fileName);
        return std::nullopt;
    }
    if (info.size() > kMaxFileBytes) {
        error = QStringLiteral("%1 is larger than %2 MB").arg(fileName).arg(kMaxFileBytes >> 20);
        return std::nullopt;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return std::nullopt;
    }
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || text.size() > kMaxFileBytes) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return std::nullopt;
    }
    return read(text, fileName, reports);
}

}  // namespace tellvane::dbc
