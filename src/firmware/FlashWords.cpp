#include "firmware/FlashWords.h"

#include "core/Numbers.h"
#include "firmware/DownloadRules.h"

namespace tellvane::firmware {

namespace {

bool equalsIgnoringAsciiCase(QStringView text, const char* word)
{
    qsizetype i = 0;
    for (; word[i] != '\0'; ++i) {
        if (i >= text.size())
            return false;
        char16_t u = text[i].unicode();
        if (u >= u'A' && u <= u'Z')
            u = static_cast<char16_t>(u - u'A' + u'a');
        if (u != static_cast<char16_t>(word[i]))
            return false;
    }
    return i == text.size();
}

// The words of --area, in the order of the area IDs.
const char* const kAreaWords[] = {"boot", "sys", "pcode", "config"};
const char* const kAreaKeywords[] = {"Boot:", "Sys:", "pCode:", "Config:"};

}  // namespace

std::optional<qint64> wholeNumber(QStringView text, NumberRange range)
{
    int base = 10;
    if (text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Stops at the first digit past the range, so that a long text cannot overflow.
    qint64 value = 0;
    for (const QChar c : text) {
        const int digit = digitValue(c, base);
        if (digit < 0)
            return std::nullopt;
        if (value > range.max / base || value * base > range.max - digit)
            return std::nullopt;
        value = value * base + digit;
    }
    if (value < range.min)
        return std::nullopt;
    return value;
}

QString areaIdOfWord(QStringView word)
{
    if (word.size() == 1 && word[0] >= u'0' && word[0] <= u'3')
        return word.toString();
    for (int id = 0; id < 4; ++id) {
        if (equalsIgnoringAsciiCase(word, kAreaWords[id]))
            return QString::number(id);
    }
    return {};
}

QString areaWordError(const QString& word)
{
    return QStringLiteral("--area takes 0, 1, 2, 3 or boot, sys, pcode, config (in any case), not \"%1\"").arg(word);
}

QString areaKeyword(const QString& areaId)
{
    for (int id = 0; id < 4; ++id) {
        if (areaId == QString::number(id))
            return QString::fromLatin1(kAreaKeywords[id]);
    }
    return {};
}

int areaLine(const QStringList& info, const QString& areaId)
{
    if (areaId.isEmpty())
        return -1;
    for (int row = 0; row < info.size(); ++row) {
        if (firmware::areaOfLine(info[row]) == areaId)
            return row;
    }
    return -1;
}

}  // namespace tellvane::firmware
