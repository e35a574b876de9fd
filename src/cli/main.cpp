// tellvane-cli: the tool's companion on the command line.
//
// Numbers on the command line are whole, decimal or hexadecimal after 0x
// ("033" is 33, never octal), and in their option's range; anything else is
// refused with exit code 2 before any adapter is opened.
//
//   tellvane-cli check-config FILE [--dump] [--lint]
//       loads a configuration file as entering diagnostic mode does (groups.grp
//       from the file's folder), prints every error-list message the load gave,
//       then a summary of what was built (--dump: every control and indicator).
//       --lint adds, one "Lint:" line a finding, what the load does not report:
//       controls outside their container or FORM, controls under a tab strip,
//       a file name no board looks for, a FORM too small for its contents with
//       the window's title bar and borders.
//       Exit code 0 when nothing was reported (or found), 1 otherwise, 2 for
//       usage errors.
//
//   tellvane-cli bench --adapter NAME [--bench FILE] [--images DIR] [--seconds S]
//       runs the simulated boards (Configuration/SimulatedBench.txt beside the
//       program, or FILE) on any adapter, so that the program and the boards can
//       be separate processes: "virtualcan:can0" on one machine, a real bus for
//       a demonstration. The boards answer each frame as it arrives. With
//       --images, every area a board flashes is written to
//       DIR/board-ADDRESS-area-N.txt. Runs until Ctrl+C, or S seconds (1 to
//       31536000).
//
//   tellvane-cli monitor --adapter NAME [--save FILE] [--count N] [--seconds S]
//       prints the message lines of the bus as they arrive (and of the link's
//       probe), in the monitor's format; --save appends them to a log file the
//       monitor can play back. Runs until Ctrl+C, N lines (1 to 2147483647), or
//       S seconds (1 to 31536000).
//
//   tellvane-cli flash --adapter NAME --board ADDRESS --area AREA --file FILE [--no-flash]
//       downloads an S-record file into memory area AREA of the board at
//       ADDRESS, then flashes it. ADDRESS is 0 to 253 (254, where boards in
//       address conflict answer, is refused). AREA is 0, 1, 2, 3 or boot, sys,
//       pcode, config in any case: the board's information line "Boot:",
//       "Sys:", "pCode:" or "Config:"; a board that lists no such line is
//       refused before anything more is sent. After the download one line sums
//       up the file transfer: lines, packets, seconds, microseconds a packet.
//       Exit code 0 when the board confirmed every step.

#include "cli/CliSupport.h"
#include "core/Version.h"
#include "diagnostics/ConfigCheck.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

int usage(QTextStream& err)
{
    err << "usage: tellvane-cli check-config FILE [--dump] [--lint]\n"
           "       tellvane-cli bench --adapter NAME [--bench FILE] [--images DIR] [--seconds S]\n"
           "       tellvane-cli monitor --adapter NAME [--save FILE] [--count N] [--seconds S]\n"
           "       tellvane-cli flash --adapter NAME --board ADDRESS --area AREA --file FILE [--no-flash]\n"
           "Numbers are decimal or hexadecimal after 0x (033 is 33): ADDRESS 0 to 253, N 1 to 2147483647,\n"
           "S 1 to 31536000. AREA is 0, 1, 2, 3 or boot, sys, pcode, config."
        << Qt::endl;
    return 2;
}

int checkConfig(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QString file;
    bool dump = false;
    bool lint = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--dump"))
            dump = true;
        else if (a == QLatin1String("--lint"))
            lint = true;
        else if (file.isEmpty())
            file = a;
        else
            return usage(err);
    }
    if (file.isEmpty())
        return usage(err);
    const tellvane::ConfigCheck check = tellvane::checkConfiguration(file);
    if (!check.found) {
        err << "tellvane-cli: no configuration file " << file << Qt::endl;
        return 1;
    }
    for (const QString& message : check.messages)
        out << message << '\n';
    if (dump) {
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

int main(int argc, char* argv[])
{
    // The console shows the tool's own lines; developer logging only on request.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "tellvane.*.info=false;qt.canbus*=false");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tellvane-cli"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tellvane::kVersionText));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage(err);
    const QString command = args.takeFirst();
    if (command == QLatin1String("check-config"))
        return checkConfig(args, out, err);
    if (command == QLatin1String("bench"))
        return tellvane::cli::benchCommand(args, out, err);
    if (command == QLatin1String("monitor"))
        return tellvane::cli::monitorCommand(args, out, err);
    if (command == QLatin1String("flash"))
        return tellvane::cli::flashCommand(args, out, err);
    if (command == QLatin1String("--version")) {
        out << "tellvane-cli " << tellvane::kVersionText << Qt::endl;
        return 0;
    }
    return usage(err);
}
