// tellvane-cli check-config: a configuration file loaded as entering
// diagnostic mode loads it, and what the load reported.

#include "cli/CliSupport.h"
#include "diagnostics/ConfigCheck.h"

namespace tellvane::cli {

namespace {

int checkConfig(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const QStringList files = options.positionalArguments();
    if (files.size() != 1 || files.first().isEmpty())
        return refuse(command.usage, err);
    const QString file = files.first();
    const bool lint = options.isSet(QStringLiteral("lint"));
    const ConfigCheck check = checkConfiguration(file);
    if (!check.found) {
        err << "tellvane-cli: no configuration file " << file << Qt::endl;
        return 1;
    }
    for (const QString& message : check.messages)
        out << message << '\n';
    if (options.isSet(QStringLiteral("dump"))) {
        for (const QString& line : check.dump)
            out << line << '\n';
    }
    if (lint) {
        for (const QString& line : check.lint)
            out << line << '\n';
    }
    for (const QString& line : check.summary)
        out << line << '\n';
    out.flush();
    return check.messages.isEmpty() && (!lint || check.lint.isEmpty()) ? 0 : 1;
}

}  // namespace

Command checkConfigCommand()
{
    return {.name = QStringLiteral("check-config"),
            .description = QStringLiteral("Loads a configuration file as entering diagnostic mode does and prints "
                                          "what the load reported. Exit code 1 when anything was."),
            .usage = QString::fromLatin1(kUsage),
            .options = {{QStringLiteral("dump"), QStringLiteral("Lists every control and indicator built.")},
                        {QStringLiteral("lint"), QStringLiteral("Adds what the program itself never reports.")}},
            .arguments = QStringLiteral("FILE"),
            .argumentsHelp = QStringLiteral("The configuration file; groups.grp is read from its folder."),
            .run = &checkConfig};
}

}  // namespace tellvane::cli
