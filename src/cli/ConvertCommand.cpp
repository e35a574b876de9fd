// tellvane-cli convert: a log of frames in another log format, each chosen by
// its file's extension.

#include "cli/CliSupport.h"
#include "core/OutputFile.h"
#include "logs/TraceLog.h"

#include <QFileInfo>

namespace tellvane::cli {

namespace {

int convert(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const QStringList files = options.positionalArguments();
    if (files.size() != 2 || files.at(0).isEmpty() || files.at(1).isEmpty())
        return refuse(command.usage, err, {QStringLiteral("convert takes an input and an output file")});
    const QString& input = files.at(0);
    const QString& output = files.at(1);
    QStringList reasons;
    for (const QString& file : files) {
        if (traceLogFormatOf(file) == TraceLogFormat::Unknown)
            reasons << QStringLiteral("%1: the extension is none of .txt, .log, .asc, .csv").arg(file);
    }
    // One file under two names (a hard link) is one file too.
    const QFileInfo in(input);
    if ((in.exists() && in.canonicalFilePath() == QFileInfo(output).canonicalFilePath()) || sameFile(input, output))
        reasons << QStringLiteral("the output would overwrite the input");
    if (!reasons.isEmpty())
        return refuse(command.usage, err, reasons);

    // Opening a pipe waits for its writer, and a read of one for its bytes.
    installStopSignals(true);
    ReadProgress progress(err, input);
    const ConvertResult result = convertLog(
        input, output,
        [&](const TraceLogWarning& warning) {
            // Line 0 is about the whole output.
            if (warning.line == 0)
                err << output << ": " << warning.text << '\n';
            else
                err << input << ':' << warning.line << ": " << warning.text << '\n';
        },
        [&](std::int64_t bytes, std::int64_t frames) {
            err.flush();
            return progress.check(bytes, frames);
        });
    if (result.unnamedWarnings > 0)
        err << input << ": and " << result.unnamedWarnings << " more warnings" << '\n';
    if (!result.ok()) {
        err << "tellvane-cli: " << result.error << Qt::endl;
        return 1;
    }
    out << result.frames << " frames written to " << output;
    if (result.skipped > 0)
        out << ", " << result.skipped << " lines or frames skipped";
    out << Qt::endl;
    err.flush();
    if (stopRequested())
        return stoppedExitCode();
    return result.warnings == 0 ? 0 : 1;
}

}  // namespace

Command convertCommand()
{
    return {.name = QStringLiteral("convert"),
            .description = QStringLiteral("Converts a log of frames to another format, each chosen by its extension: "
                                          ".txt (message lines), .log (candump), .asc (Vector ASC), .csv. Exit code 1 "
                                          "when a line was skipped or changed (each is named on stderr); 130 after Ctrl+C, "
                                          "143 after SIGTERM."),
            .usage = QStringLiteral("usage: tellvane-cli convert IN OUT\n       IN, OUT: .txt, .log, .asc or .csv"),
            .options = {},
            .arguments = QStringLiteral("IN OUT"),
            .argumentsHelp = QStringLiteral("The log to read and the log to write (replaced when it exists)."),
            .run = &convert};
}

}  // namespace tellvane::cli
