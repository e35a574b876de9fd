#include "diagnostics/DisplayFormat.h"

#include "core/Failure.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <vector>

namespace tellvane::display {

namespace {

enum class Kind { Zero, Hash, Point, Comma, Percent, Exponent, Literal };

struct Token {
    Kind kind;
    QString text;         // literal text
    bool alwaysSign = false;  // exponent: E+ rather than E-
    int exponentDigits = 0;
};

struct Section {
    std::vector<Token> tokens;
    bool valid = true;
};

QChar localeChar(const QString& s, char fallback)
{
    return s.size() == 1 ? s.at(0) : QLatin1Char(fallback);
}

std::optional<QStringList> splitSections(const QString& pattern)
{
    QStringList sections;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char('\\') && !quoted) {
            if (i + 1 >= pattern.size())
                return std::nullopt;
            current += c;
            current += pattern.at(++i);
            continue;
        } else if (c == QLatin1Char(';') && !quoted) {
            sections.append(current);
            current.clear();
            continue;
        }
        current += c;
    }
    if (quoted)
        return std::nullopt;
    sections.append(current);
    if (sections.size() > 4)
        return std::nullopt;
    return sections;
}

Section tokenize(const QString& text)
{
    Section s;
    bool point = false;
    auto literal = [&](const QString& t) {
        if (!s.tokens.empty() && s.tokens.back().kind == Kind::Literal)
            s.tokens.back().text += t;
        else
            s.tokens.push_back(Token{Kind::Literal, t});
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('0')) {
            s.tokens.push_back(Token{Kind::Zero, {}});
        } else if (c == QLatin1Char('#')) {
            s.tokens.push_back(Token{Kind::Hash, {}});
        } else if (c == QLatin1Char('.')) {
            if (point)
                s.valid = false;
            point = true;
            s.tokens.push_back(Token{Kind::Point, {}});
        } else if (c == QLatin1Char(',')) {
            s.tokens.push_back(Token{Kind::Comma, {}});
        } else if (c == QLatin1Char('%')) {
            s.tokens.push_back(Token{Kind::Percent, {}});
        } else if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && i + 1 < text.size()
                   && (text.at(i + 1) == QLatin1Char('+') || text.at(i + 1) == QLatin1Char('-'))) {
            Token e{Kind::Exponent, QString(c)};
            e.alwaysSign = text.at(i + 1) == QLatin1Char('+');
            i += 2;
            while (i < text.size() && (text.at(i) == QLatin1Char('0') || text.at(i) == QLatin1Char('#'))) {
                ++e.exponentDigits;
                ++i;
            }
            --i;
            if (e.exponentDigits == 0)
                s.valid = false;
            s.tokens.push_back(e);
        } else if (c == QLatin1Char('"')) {
            const qsizetype end = text.indexOf(QLatin1Char('"'), i + 1);
            literal(text.mid(i + 1, end - i - 1));
            i = end;
        } else if (c == QLatin1Char('\\')) {
            literal(QString(text.at(++i)));
        } else {
            literal(QString(c));
        }
    }
    return s;
}

bool isDigitPlace(const Token& t)
{
    return t.kind == Kind::Zero || t.kind == Kind::Hash;
}

// Where a section's parts lie and how many digit places each has.
struct SectionShape {
    qsizetype pointAt = -1;
    qsizetype exponentAt = -1;
    bool percent = false;
    qsizetype wholeEnd = 0;
    qsizetype fractionEnd = 0;
    int wholePlaces = 0;
    int wholeMin = 0;  // places from the first 0 on: always shown
    bool grouping = false;
    int fractionPlaces = 0;
    int fractionMin = 0;  // up to the last 0: always shown
};

// The parts of the section: whole digits, fraction digits, exponent.
SectionShape shapeOf(const std::vector<Token>& tokens)
{
    SectionShape shape;
    for (qsizetype i = 0; i < static_cast<qsizetype>(tokens.size()); ++i) {
        if (tokens[static_cast<std::size_t>(i)].kind == Kind::Point && shape.pointAt < 0 && shape.exponentAt < 0)
            shape.pointAt = i;
        if (tokens[static_cast<std::size_t>(i)].kind == Kind::Exponent && shape.exponentAt < 0)
            shape.exponentAt = i;
        shape.percent |= tokens[static_cast<std::size_t>(i)].kind == Kind::Percent;
    }
    shape.wholeEnd = shape.pointAt >= 0
        ? shape.pointAt
        : (shape.exponentAt >= 0 ? shape.exponentAt : static_cast<qsizetype>(tokens.size()));
    shape.fractionEnd = shape.exponentAt >= 0 ? shape.exponentAt : static_cast<qsizetype>(tokens.size());

    bool seenZero = false;
    for (qsizetype i = 0; i < shape.wholeEnd; ++i) {
        const Token& t = tokens[static_cast<std::size_t>(i)];
        if (isDigitPlace(t)) {
            ++shape.wholePlaces;
            seenZero |= t.kind == Kind::Zero;
            if (seenZero)
                ++shape.wholeMin;
        } else if (t.kind == Kind::Comma && shape.wholePlaces > 0) {
            shape.grouping = true;
        }
    }
    if (shape.pointAt >= 0) {
        for (qsizetype i = shape.pointAt + 1; i < shape.fractionEnd; ++i) {
            const Token& t = tokens[static_cast<std::size_t>(i)];
            if (isDigitPlace(t)) {
                ++shape.fractionPlaces;
                if (t.kind == Kind::Zero)
                    shape.fractionMin = shape.fractionPlaces;
            }
        }
    }
    return shape;
}

// With an exponent, the magnitude scaled to the whole places; the exponent that takes.
int scaleForExponent(double& magnitude, const SectionShape& shape)
{
    int exponent = 0;
    if (shape.exponentAt >= 0 && magnitude != 0.0 && std::isfinite(magnitude)) {
        const int lead = std::max(shape.wholePlaces, 1);
        exponent = static_cast<int>(std::floor(std::log10(magnitude))) - (lead - 1);
        magnitude /= std::pow(10.0, exponent);
        // Rounding may carry into one more whole digit.
        const double scale = std::pow(10.0, shape.fractionPlaces);
        if (std::round(magnitude * scale) / scale >= std::pow(10.0, lead)) {
            magnitude /= 10.0;
            ++exponent;
        }
    }
    return exponent;
}

bool hasNonZero(const QString& text)
{
    for (QChar c : text) {
        if (c != QLatin1Char('0'))
            return true;
    }
    return false;
}

// Whole part, right to left: each place takes a digit, the leftmost takes
// whatever digits remain.
QString wholeText(const std::vector<Token>& tokens, const SectionShape& shape, const QString& whole,
                  QChar groupSeparator)
{
    QStringList pieces;
    qsizetype next = whole.size() - 1;
    int emitted = 0;
    qsizetype leftmost = -1;
    for (qsizetype i = 0; i < shape.wholeEnd; ++i) {
        if (isDigitPlace(tokens[static_cast<std::size_t>(i)])) {
            leftmost = i;
            break;
        }
    }
    auto emitDigit = [&](QChar d) {
        if (shape.grouping && emitted > 0 && emitted % 3 == 0)
            pieces.prepend(QString(groupSeparator));
        pieces.prepend(QString(d));
        ++emitted;
    };
    for (qsizetype i = shape.wholeEnd - 1; i >= 0; --i) {
        const Token& t = tokens[static_cast<std::size_t>(i)];
        if (isDigitPlace(t)) {
            if (i == leftmost) {
                while (next >= 0)
                    emitDigit(whole.at(next--));
            } else if (next >= 0) {
                emitDigit(whole.at(next--));
            }
        } else if (t.kind == Kind::Literal) {
            pieces.prepend(t.text);
        } else if (t.kind == Kind::Percent) {
            pieces.prepend(QStringLiteral("%"));
        }
    }
    return pieces.join(QString());
}

QString fractionText(const std::vector<Token>& tokens, const SectionShape& shape, const QString& fraction)
{
    QString out;
    qsizetype next = 0;
    for (qsizetype i = shape.pointAt + 1; i < shape.fractionEnd; ++i) {
        const Token& t = tokens[static_cast<std::size_t>(i)];
        if (isDigitPlace(t)) {
            if (next < fraction.size())
                out += fraction.at(next++);
        } else if (t.kind == Kind::Literal) {
            out += t.text;
        } else if (t.kind == Kind::Percent) {
            out += QLatin1Char('%');
        } else if (t.kind == Kind::Comma) {
            // a comma among the decimals has no meaning: dropped
        }
    }
    return out;
}

QString exponentText(const std::vector<Token>& tokens, const SectionShape& shape, int exponent)
{
    const Token& e = tokens[static_cast<std::size_t>(shape.exponentAt)];
    QString out = e.text;
    if (exponent < 0)
        out += QLatin1Char('-');
    else if (e.alwaysSign)
        out += QLatin1Char('+');
    out += QString::number(std::abs(exponent)).rightJustified(e.exponentDigits, QLatin1Char('0'));
    for (qsizetype i = shape.exponentAt + 1; i < static_cast<qsizetype>(tokens.size()); ++i) {
        const Token& t = tokens[static_cast<std::size_t>(i)];
        if (t.kind == Kind::Literal)
            out += t.text;
        else if (t.kind == Kind::Percent)
            out += QLatin1Char('%');
    }
    return out;
}

QString formatSection(double value, const Section& section, bool negative)
{
    const QLocale locale;
    const QChar decimalPoint = localeChar(locale.decimalPoint(), '.');
    const QChar groupSeparator = localeChar(locale.groupSeparator(), ',');
    const auto& tokens = section.tokens;
    const SectionShape shape = shapeOf(tokens);

    double magnitude = std::fabs(value) * (shape.percent ? 100.0 : 1.0);
    const int exponent = scaleForExponent(magnitude, shape);

    // The digits, with the places the section always shows and no more.
    const QString digits = QString::number(magnitude, 'f', shape.fractionPlaces);
    const qsizetype dot = digits.indexOf(QLatin1Char('.'));
    QString whole = dot >= 0 ? digits.left(dot) : digits;
    QString fraction = dot >= 0 ? digits.mid(dot + 1) : QString();
    while (whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    while (whole.size() < shape.wholeMin)
        whole.prepend(QLatin1Char('0'));
    while (fraction.size() > shape.fractionMin && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    const bool allZero = !hasNonZero(whole) && !hasNonZero(fraction);

    QString out = wholeText(tokens, shape, whole, groupSeparator);
    if (shape.pointAt >= 0) {
        out += decimalPoint;
        out += fractionText(tokens, shape, fraction);
    }
    if (shape.exponentAt >= 0)
        out += exponentText(tokens, shape, exponent);
    if (negative && !allZero)
        out.prepend(QLatin1Char('-'));
    return out;
}

}  // namespace

struct DisplayPattern::Compiled {
    std::vector<Section> sections;
};

std::optional<DisplayPattern> DisplayPattern::compile(const QString& pattern)
{
    DisplayPattern result;
    if (pattern.isEmpty())
        return result;
    const auto sections = splitSections(pattern);
    if (!sections)
        return std::nullopt;
    auto compiled = std::make_shared<Compiled>();
    for (const QString& text : *sections) {
        compiled->sections.push_back(tokenize(text));
        if (!compiled->sections.back().valid)
            return std::nullopt;
    }
    result.m_compiled = std::move(compiled);
    return result;
}

QString DisplayPattern::format(double value) const
{
    if (!m_compiled)
        return plainDecimal(value);
    const auto& parsed = m_compiled->sections;
    auto usable = [&](std::size_t i) { return i < parsed.size() && !parsed[i].tokens.empty(); };
    if (value < 0 && usable(1))
        return formatSection(value, parsed[1], false);
    if (value == 0 && usable(2))
        return formatSection(value, parsed[2], false);
    return formatSection(value, parsed[0], value < 0);
}

std::optional<QString> formatPattern(double value, const QString& pattern)
{
    const auto compiled = DisplayPattern::compile(pattern);
    if (!compiled)
        return std::nullopt;
    return compiled->format(value);
}

QString plainDecimal(double value)
{
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1Char('e'), QLatin1Char('E'));
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    const QChar decimalPoint = localeChar(QLocale().decimalPoint(), '.');
    if (decimalPoint != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

std::optional<std::uint32_t> hexNumber(double value)
{
    const double r = std::nearbyint(value);
    if (!(r >= -2147483648.0) || r > 4294967295.0)
        return std::nullopt;
    if (r >= 0)
        return static_cast<std::uint32_t>(r);
    const auto v = static_cast<std::int64_t>(r);
    return static_cast<std::uint32_t>(v >= -32768 ? v + 65536 : v + 4294967296LL);
}

QString hexText(double value)
{
    const std::optional<std::uint32_t> number = hexNumber(value);
    if (!number)
        throw Failure(FailureCode::Overflow);
    return QString::number(*number, 16).toUpper();
}

}  // namespace tellvane::display
