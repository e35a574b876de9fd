// The command line of tellvane-cli is typed by hand: any list of arguments
// must give options, numbers and areas the commands can use, or a refusal,
// never a crash, an octal surprise or a number outside its range. The input
// is the argument list after the command's name with NUL between arguments,
// as the system passes it; QCommandLineParser reads it as a command does.

#include "FuzzSupport.h"

#include "cli/CommandLine.h"
#include "firmware/DownloadRules.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <limits>

using namespace tellvane;
using namespace tellvane::cli;
using namespace tellvane::firmware;

namespace {

const QStringList kValued = {QStringLiteral("adapter"), QStringLiteral("board"), QStringLiteral("area"),
                             QStringLiteral("file"), QStringLiteral("count"), QStringLiteral("seconds")};
const QStringList kSwitches = {QStringLiteral("no-flash"), QStringLiteral("dump")};

// Every option of every command, in one command.
Command everyOption()
{
    Command command{.name = QStringLiteral("flash"), .description = {}, .usage = {}, .options = {}};
    for (const QString& name : kValued)
        command.options.append(QCommandLineOption(name, name, name.toUpper()));
    for (const QString& name : kSwitches)
        command.options.append(QCommandLineOption(name, name));
    return command;
}
const Command kCommand = everyOption();

// Given as "--name" (the value follows) or "--name=value".
bool given(const QStringList& args, const QString& name)
{
    const QString option = QLatin1String("--") + name;
    return std::any_of(args.cbegin(), args.cend(), [&](const QString& arg) {
        return arg == option || arg.startsWith(option + QLatin1Char('='));
    });
}

bool digitsOf(QStringView text, int base)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool decimal = u >= u'0' && u <= u'9';
        const bool hex = (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
        if (!(decimal || (base == 16 && hex)))
            return false;
    }
    return true;
}

// The same reading by other means: the grammar checked here, the value by Qt.
std::optional<qint64> reference(const QString& text, NumberRange range)
{
    QStringView digits = text;
    int base = 10;
    if (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X"))) {
        digits = digits.mid(2);
        base = 16;
    }
    if (!digitsOf(digits, base))
        return std::nullopt;
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, base);
    if (!ok || value > static_cast<qulonglong>(range.max) || static_cast<qint64>(value) < range.min)
        return std::nullopt;
    return static_cast<qint64>(value);
}

void checkNumber(const QString& text, NumberRange range)
{
    const std::optional<qint64> value = wholeNumber(text, range);
    FUZZ_CHECK(value == reference(text, range));
    if (!value)
        return;
    FUZZ_CHECK(*value >= range.min && *value <= range.max);
    // What was read prints back, in either form, to a text that reads the same.
    FUZZ_CHECK(wholeNumber(QString::number(*value), range) == value);
    FUZZ_CHECK(wholeNumber(QStringLiteral("0x") + QString::number(*value, 16), range) == value);
    FUZZ_CHECK(wholeNumber(QStringLiteral("0X") + QString::number(*value, 16).toUpper(), range) == value);
}

void checkOption(const QCommandLineParser& options, const QString& name, NumberRange range)
{
    const NumberOption option = numberOption(options, name, range);
    if (!options.isSet(name)) {
        FUZZ_CHECK(option.ok() && !option.value);
        return;
    }
    FUZZ_CHECK(option.ok() == option.value.has_value());
    FUZZ_CHECK(option.value == wholeNumber(options.value(name), range));
    if (!option.ok())
        FUZZ_CHECK(option.error.startsWith(QLatin1String("--") + name + QLatin1Char(' ')));
}

void checkArea(const QString& word)
{
    const QString id = areaIdOfWord(word);
    FUZZ_CHECK(id.isEmpty() || id == QLatin1String("0") || id == QLatin1String("1") || id == QLatin1String("2")
               || id == QLatin1String("3"));
    const QString lower = word.toLower();
    const bool ascii = std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.unicode() < 128; });
    const bool known = word == QLatin1String("0") || word == QLatin1String("1") || word == QLatin1String("2")
        || word == QLatin1String("3")
        || (ascii
            && (lower == QLatin1String("boot") || lower == QLatin1String("sys") || lower == QLatin1String("pcode")
                || lower == QLatin1String("config")));
    FUZZ_CHECK(known == !id.isEmpty());
    if (id.isEmpty())
        return;
    // The word and the keyword of the area's information line name the same area.
    const QString keyword = areaKeyword(id);
    FUZZ_CHECK(firmware::areaOfLine(keyword) == id);
    FUZZ_CHECK(areaIdOfWord(keyword.chopped(1)) == id);
}

// What the parser takes from the arguments, and the numbers read from it.
void checkParse(const QStringList& args)
{
    QCommandLineParser options;
    if (!parseCommand(options, kCommand, args)) {
        const QString error = options.errorText();
        FUZZ_CHECK(error.startsWith(QLatin1String("Unknown option"))
                   || error.startsWith(QLatin1String("Missing value after '-"))
                   || error.startsWith(QLatin1String("Unexpected value after '-")));
        return;
    }
    for (const QString& name : kValued)
        FUZZ_CHECK(!options.isSet(name) || given(args, name));
    for (const QString& name : kSwitches)
        FUZZ_CHECK(!options.isSet(name) || args.contains(QLatin1String("--") + name));
    if (helpAsked(options))
        FUZZ_CHECK(std::any_of(args.cbegin(), args.cend(), [](const QString& a) { return a.startsWith(u'-'); }));
    // The arguments that are no option stand as typed; one that looks like
    // an option only after "--".
    for (const QString& positional : options.positionalArguments()) {
        FUZZ_CHECK(args.contains(positional));
        if (positional.startsWith(QLatin1Char('-')) && positional.size() > 1)
            FUZZ_CHECK(args.contains(QStringLiteral("--")));
    }

    checkOption(options, QStringLiteral("board"), kBoardAddressRange);
    checkOption(options, QStringLiteral("count"), kCountRange);
    checkOption(options, QStringLiteral("seconds"), kSecondsRange);
    const NumberOption board = boardAddressOption(options);
    FUZZ_CHECK(board.ok() == (!options.isSet(QStringLiteral("board")) || board.value.has_value()));
    if (board.value)
        FUZZ_CHECK(*board.value >= 0 && *board.value <= 253);
    // 254 is refused with its own reason, everything else with the range.
    const bool conflict =
        wholeNumber(options.value(QStringLiteral("board")), {kConflictAddress, kConflictAddress}).has_value();
    if (!board.ok())
        FUZZ_CHECK(board.error.startsWith(QLatin1String("--board takes ")) == !conflict);
    else
        FUZZ_CHECK(!conflict);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList args;
    for (const QByteArray& piece : bytes.split('\0'))
        args.append(QString::fromUtf8(piece));

    checkParse(args);

    constexpr NumberRange widest{0, std::numeric_limits<qint64>::max()};
    for (const QString& arg : std::as_const(args)) {
        checkNumber(arg, kBoardAddressRange);
        checkNumber(arg, widest);
        checkArea(arg);
    }

    // The arguments as a board's information lines: the area's line is the
    // first whose keyword names it.
    for (const char* id : {"0", "1", "2", "3"}) {
        const int row = areaLine(args, QString::fromLatin1(id));
        FUZZ_CHECK(row >= -1 && row < args.size());
        for (int i = 0; i < (row < 0 ? args.size() : row); ++i)
            FUZZ_CHECK(firmware::areaOfLine(args[i]) != QLatin1String(id));
        if (row >= 0)
            FUZZ_CHECK(firmware::areaOfLine(args[row]) == QLatin1String(id));
    }
    return 0;
}
