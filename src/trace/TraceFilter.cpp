#include "trace/TraceFilter.h"

#include "core/Numbers.h"

namespace tellvane {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

int hexValue(QChar c)
{
    return digitValue(c, 16);
}

QString hexText(std::uint32_t value)
{
    return QString::number(value, 16).toUpper();
}

bool isByteChar(QChar c)
{
    return c == QLatin1Char('?') || hexValue(c) >= 0;
}

struct Keyword {
    const char* name;
    TraceFilter::Condition::Kind kind;
    std::uint32_t max;
};

// The conditions that take a value after "=".
constexpr Keyword kKeywords[] = {
    {"id", TraceFilter::Condition::IdMask, 0x1FFFFFFF},
    {"pgn", TraceFilter::Condition::Pgn, 0x3FFFF},
    {"src", TraceFilter::Condition::Source, 0xFF},
    {"dst", TraceFilter::Condition::Destination, 0xFF},
    {"prio", TraceFilter::Condition::Priority, 7},
    {"data", TraceFilter::Condition::Data, 0},
};

}  // namespace

class TraceFilterParser {
public:
    explicit TraceFilterParser(QStringView text) : m_text(text) {}

    std::optional<TraceFilter> run(TraceFilterError* error)
    {
        m_filter.m_expression = m_text.toString();
        while (skipBlanks(), m_pos < m_text.size()) {
            TraceFilter::Condition c;
            if (!term(c)) {
                if (error)
                    *error = m_error;
                return std::nullopt;
            }
            m_filter.m_conditions.push_back(c);
        }
        return std::move(m_filter);
    }

private:
    QChar at(qsizetype i) const { return i < m_text.size() ? m_text[i] : QChar(); }
    bool atEnd() const { return m_pos >= m_text.size(); }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
    }

    bool fail(const QString& field, qsizetype pos, const QString& what)
    {
        m_error.field = field;
        m_error.position = static_cast<int>(pos) + 1;
        m_error.message = QStringLiteral("%1: %2 at position %3").arg(field, what).arg(pos + 1);
        return false;
    }

    // A word of letters, digits, "_" (the keyword or an unknown one).
    QStringView word()
    {
        const qsizetype start = m_pos;
        while (!atEnd() && (m_text[m_pos].isLetterOrNumber() || m_text[m_pos] == QLatin1Char('_')))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    bool term(TraceFilter::Condition& c)
    {
        if (at(m_pos) == QLatin1Char('!')) {
            c.negated = true;
            ++m_pos;
            skipBlanks();
        }
        qsizetype start = m_pos;
        QStringView w = word();
        while (!c.negated && w.compare(QLatin1String("and"), Qt::CaseInsensitive) == 0 && isBlank(at(m_pos))) {
            skipBlanks();
            start = m_pos;
            w = word();
            if (at(m_pos) == QLatin1Char('!') && w.isEmpty())
                return term(c);  // once: the "!" is taken there
        }
        if (!c.negated && w.compare(QLatin1String("not"), Qt::CaseInsensitive) == 0 && isBlank(at(m_pos))) {
            c.negated = true;
            skipBlanks();
            start = m_pos;
            w = word();
        }
        if (w.isEmpty())
            return fail(QStringLiteral("filter"), start,
                        m_pos < m_text.size() ? QStringLiteral("expected a condition, found '%1'").arg(at(m_pos))
                                              : QStringLiteral("expected a condition, found the end of the filter"));
        const bool rx = w.compare(QLatin1String("rx"), Qt::CaseInsensitive) == 0;
        if (rx || w.compare(QLatin1String("tx"), Qt::CaseInsensitive) == 0) {
            c.kind = TraceFilter::Condition::Sent;
            c.a = rx ? 0 : 1;
            return endOfTerm(w.toString().toLower());
        }
        if (w.compare(QLatin1String("replay"), Qt::CaseInsensitive) == 0) {
            c.kind = TraceFilter::Condition::Replayed;
            return endOfTerm(w.toString().toLower());
        }
        if (w.compare(QLatin1String("msg"), Qt::CaseInsensitive) == 0) {
            const QString field = QStringLiteral("msg");
            if (at(m_pos) != QLatin1Char('='))
                return fail(field, m_pos, QStringLiteral("expected '=' after the name"));
            ++m_pos;
            const qsizetype nameAt = m_pos;
            const QStringView name = word();
            if (name.isEmpty())
                return fail(field, nameAt, QStringLiteral("expected a message name"));
            c.kind = TraceFilter::Condition::Message;
            c.a = static_cast<std::uint32_t>(m_filter.m_messages.size());
            m_filter.m_messages.push_back(name.toString());
            return endOfTerm(field);
        }
        for (const Keyword& k : kKeywords) {
            if (w.compare(QLatin1String(k.name), Qt::CaseInsensitive) != 0)
                continue;
            const QString field = QLatin1String(k.name);
            if (at(m_pos) != QLatin1Char('='))
                return fail(field, m_pos, QStringLiteral("expected '=' after the name"));
            ++m_pos;
            c.kind = k.kind;
            if (k.kind == TraceFilter::Condition::Data)
                return dataPattern(c, field) && endOfTerm(field);
            if (!number(field, k.max, c.a))
                return false;
            if (k.kind == TraceFilter::Condition::IdMask) {
                c.b = k.max;
                if (at(m_pos) == QLatin1Char('/')) {
                    ++m_pos;
                    if (!number(field, k.max, c.b))
                        return false;
                } else if (at(m_pos) == QLatin1Char('-')) {
                    ++m_pos;
                    c.kind = TraceFilter::Condition::IdRange;
                    const qsizetype high = m_pos;
                    if (!number(field, k.max, c.b))
                        return false;
                    if (c.b < c.a)
                        return fail(field, high, QStringLiteral("the range ends below its start"));
                }
            }
            return endOfTerm(field);
        }
        return fail(w.toString(), start, QStringLiteral("unknown condition (known: rx, tx, replay, id, pgn, src, dst, prio, data, msg)"));
    }

    bool endOfTerm(const QString& field)
    {
        if (atEnd() || isBlank(m_text[m_pos]))
            return true;
        return fail(field, m_pos, QStringLiteral("unexpected '%1'").arg(m_text[m_pos]));
    }

    bool number(const QString& field, std::uint32_t max, std::uint32_t& out)
    {
        const qsizetype start = m_pos;
        if (at(m_pos) == QLatin1Char('0') && (at(m_pos + 1) == QLatin1Char('x') || at(m_pos + 1) == QLatin1Char('X')))
            m_pos += 2;
        std::uint32_t value = 0;
        int digits = 0;
        for (int d; (d = hexValue(at(m_pos))) >= 0; ++m_pos) {
            if (++digits > 8)
                return fail(field, start, QStringLiteral("more than 8 hex digits"));
            value = value * 16 + static_cast<std::uint32_t>(d);
        }
        if (digits == 0)
            return fail(field, m_pos, QStringLiteral("expected a hexadecimal number"));
        if (value > max)
            return fail(field, start, QStringLiteral("%1 is above %2").arg(hexText(value), hexText(max)));
        out = value;
        return true;
    }

    // Bytes follow each other directly or after blanks. After a blank, what
    // starts with a digit or "?" is a byte (no keyword does); what starts with
    // a letter is one only as two byte characters alone ("ab", not "and").
    bool dataPattern(TraceFilter::Condition& c, const QString& field)
    {
        for (;;) {
            const qsizetype start = m_pos;
            if (!isByteChar(at(m_pos)) || !isByteChar(at(m_pos + 1)))
                return fail(field, start, c.count == 0 ? QStringLiteral("expected a data byte (two of 0-9, A-F, ?)")
                                                      : QStringLiteral("a data byte takes two characters"));
            if (c.count == 8)
                return fail(field, start, QStringLiteral("more than 8 data bytes"));
            std::uint8_t value = 0;
            std::uint8_t mask = 0;
            for (int n = 0; n < 2; ++n, ++m_pos) {
                const int d = hexValue(m_text[m_pos]);
                value = static_cast<std::uint8_t>(value << 4 | (d >= 0 ? d : 0));
                mask = static_cast<std::uint8_t>(mask << 4 | (d >= 0 ? 0xF : 0));
            }
            c.value[c.count] = value;
            c.mask[c.count] = mask;
            ++c.count;
            if (isByteChar(at(m_pos)))
                continue;
            qsizetype next = m_pos;
            while (next < m_text.size() && isBlank(m_text[next]))
                ++next;
            const QChar first = at(next);
            const QChar third = at(next + 2);
            const bool byteNext = first == QLatin1Char('?') || (first >= QLatin1Char('0') && first <= QLatin1Char('9'))
                || (isByteChar(first) && isByteChar(at(next + 1))
                    && (next + 2 >= m_text.size() || isBlank(third) || isByteChar(third)));
            if (next == m_pos || !byteNext)
                return true;
            m_pos = next;
        }
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    TraceFilterError m_error;
    TraceFilter m_filter;
};

bool TraceFilter::isMessage(const TraceFrame& frame, std::uint32_t name) const
{
    return m_messageNames && m_messageNames(frame).compare(m_messages[name], Qt::CaseInsensitive) == 0;
}

std::optional<TraceFilter> TraceFilter::parse(QStringView expression, TraceFilterError* error)
{
    return TraceFilterParser(expression).run(error);
}

}  // namespace tellvane
