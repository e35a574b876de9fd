// tellvane-cli check-config: a configuration file loaded as entering
// diagnostic mode loads it, and what the load reported.

#include "cli/CliSupport.h"
#include "diagnostics/ConfigCheck.h"

#include <QFileInfo>

#include <algorithm>

namespace tellvane::cli {

namespace {

// Lines of each kind printed at most: a file of groups that fan out reports
// far more than anyone reads.
constexpr qsizetype kMaxLinesPrinted = 1000;

void printCapped(QTextStream& out, const QStringList& lines)
{
    for (qsizetype i = 0; i < std::min(lines.size(), kMaxLinesPrinted); ++i)
        out << lines.at(i) << '\n';
    if (lines.size() > kMaxLinesPrinted)
        out << QStringLiteral("\u2026 and %1 more").arg(lines.size() - kMaxLinesPrinted) << '\n';
}

int checkConfig(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const QStringList files = options.positionalArguments();
    if (files.size() != 1 || files.first().isEmpty())
        return refuse(command.usage, err);
    const QString file = files.first();
    const bool lint = options.isSet(QStringLiteral("lint"));
    const QFileInfo info(file);
    if (info.exists() && !info.isFile()) {
        err << "tellvane-cli: " << file << " is not a regular file" << Qt::endl;
        return 1;
    }
    const ConfigCheck check = checkConfiguration(file);
    if (!check.found) {
        err << "tellvane-cli: no configuration file " << file << Qt::endl;
        return 1;
    }
    printCapped(out, check.messages);
    if (options.isSet(QStringLiteral("dump")))
        printCapped(out, check.dump);
    if (lint)
        printCapped(out, check.lint);
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
