#include "cli/CommandLine.h"

namespace tellvane::cli {

namespace {

QString rangeText(firmware::NumberRange range)
{
    return QStringLiteral("a whole number from %1 to %2, decimal or hexadecimal after 0x").arg(range.min).arg(range.max);
}

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

NumberOption numberOption(const QCommandLineParser& options, const QString& name, firmware::NumberRange range)
{
    NumberOption result;
    if (!options.isSet(name))
        return result;
    const QString text = options.value(name);
    result.value = firmware::wholeNumber(text, range);
    if (!result.value)
        result.error = QStringLiteral("--%1 takes %2, not \"%3\"").arg(name, rangeText(range), text);
    return result;
}

NumberOption boardAddressOption(const QCommandLineParser& options)
{
    const QString name = QStringLiteral("board");
    NumberOption result = numberOption(options, name, firmware::kBoardAddressRange);
    if (!result.ok() && firmware::wholeNumber(options.value(name), {firmware::kConflictAddress, firmware::kConflictAddress})) {
        result.error = QStringLiteral("--board %1 is the address of boards in address conflict (several boards may "
                                      "answer there); --board takes a board's own address, %2")
                           .arg(options.value(name), rangeText(firmware::kBoardAddressRange));
    }
    return result;
}

}  // namespace tellvane::cli
