#include "cli/CommandLine.h"

#include "core/Numbers.h"
#include "firmware/DownloadRules.h"

namespace tellvane::cli {

namespace {

QString rangeText(NumberRange range)
{
    return QStringLiteral("a whole number from %1 to %2, decimal or hexadecimal after 0x").arg(range.min).arg(range.max);
}

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

bool parseCommand(QCommandLineParser& parser, const Command& command, const QStringList& args)
{
    parser.addHelpOption();
    parser.addOptions(command.options);
    // The help's usage line names the command; a command without arguments
    // of its own is the one argument the help lists, with what it does.
    if (command.arguments.isEmpty()) {
        parser.addPositionalArgument(command.name, command.description, command.name);
    } else {
        parser.setApplicationDescription(command.description);
        parser.addPositionalArgument(command.arguments, command.argumentsHelp,
                                     command.name + QLatin1Char(' ') + command.arguments);
    }
    return parser.parse(QStringList{command.name} + args);  // the first is the program's, and skipped
}

bool helpAsked(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
}

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

NumberOption numberOption(const QCommandLineParser& options, const QString& name, NumberRange range)
{
    NumberOption result;
    if (!options.isSet(name))
        return result;
    const QString text = options.value(name);
    result.value = wholeNumber(text, range);
    if (!result.value)
        result.error = QStringLiteral("--%1 takes %2, not \"%3\"").arg(name, rangeText(range), text);
    return result;
}

NumberOption boardAddressOption(const QCommandLineParser& options)
{
    const QString name = QStringLiteral("board");
    NumberOption result = numberOption(options, name, kBoardAddressRange);
    if (!result.ok() && wholeNumber(options.value(name), {kConflictAddress, kConflictAddress})) {
        result.error = QStringLiteral("--board %1 is the address of boards in address conflict (several boards may "
                                      "answer there); --board takes a board's own address, %2")
                           .arg(options.value(name), rangeText(kBoardAddressRange));
    }
    return result;
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

}  // namespace tellvane::cli
