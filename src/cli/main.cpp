// tellvane-cli: the tool's companion on the command line, one command a run.
// Numbers on the command line are whole, decimal or hexadecimal after 0x
// ("033" is 33, never octal), and in their option's range; anything else, or
// an option the command does not know, is refused with exit code 2 before any
// adapter is opened.

#include "cli/CliSupport.h"
#include "core/OutputFile.h"
#include "core/Version.h"

#include <QCoreApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    // The console shows the tool's own lines; developer logging only on request.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "tellvane.*.info=false;qt.canbus*=false");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tellvane-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tellvane::kVersionText));
    // Written through a device that keeps the system's reason when a write
    // fails (a full disk), which every command's exit code then tells.
    tellvane::OutputFile standardOutput;
    standardOutput.openDescriptor(1);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    using namespace tellvane::cli;
    const Command commands[] = {checkConfigCommand(), benchCommand(), monitorCommand(), flashCommand(), convertCommand(),
                                decodeCommand(), replayCommand(), sendCommand()};

    const QString usage = QString::fromLatin1(kUsage);
    QCommandLineParser parser;
    // The commands, under the usage line of the help.
    parser.setApplicationDescription(QString(usage).replace(0, 6, QString(6, QLatin1Char(' '))));
    parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("COMMAND --help lists its options."),
                                 QStringLiteral("COMMAND [OPTIONS]"));
    // What follows the command is the command's to read.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(usage, err, {parser.errorText()});
    if (helpAsked(parser))
        parser.showHelp();
    if (parser.isSet(version))
        parser.showVersion();  // "tellvane-cli VERSION"
    QStringList args = parser.positionalArguments();
    const QString name = args.isEmpty() ? QString() : args.takeFirst();
    for (const Command& command : commands) {
        if (command.name != name)
            continue;
        QCommandLineParser options;
        if (!parseCommand(options, command, args))
            return refuse(command.usage, err, {options.errorText()});
        if (helpAsked(options)) {
            out << options.helpText() << command.helpEnd;
            return checkedExit(out, err, 0);
        }
        return checkedExit(out, err, command.run(command, options, out, err));
    }
    return refuse(usage, err);
}
