// tellvane-cli monitor: message lines of a bus on the console.

#include "can/CanLink.h"
#include "cli/CliSupport.h"
#include "cli/SignalText.h"
#include "core/Clock.h"
#include "core/Failure.h"
#include "logs/TraceLog.h"
#include "monitor/MessageLine.h"
#include "monitor/SaveLog.h"
#include "trace/TraceFilter.h"
#include "trace/TraceRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace tellvane::cli {

namespace {

constexpr int kPollIntervalMs = 25;

// LogCANMessage for the console: every message sent or received as its line,
// on the console and, when asked, in a log file. With a filter or another
// format it is fed as the trace is, which knows the direction of each frame:
// only the frames the filter lets through are shown and saved, in the format
// asked for on the console (at their session times, sent frames too) and as
// message lines (the adapter's seconds) in the log file. With databases each
// line on the console is followed by its frame's signals; the log file keeps
// the plain lines.
class ConsoleLog final : public CanMessageSink, public TraceSink {
public:
    ConsoleLog(QTextStream& out, QTextStream& err, SaveLog* save) : m_out(out), m_err(err), m_save(save) {}

    void setFilter(const TraceFilter& filter) { m_filter = filter; }
    // Null: message lines.
    void setWriter(TraceLogWriter* writer) { m_writer = writer; }
    void setSignals(SignalText* text) { m_signalText = text; }

    void traceMessage(const CanMessage& message, bool sent) override
    {
        const TraceFrame frame = TraceRecorder::frameOf(message, sent);
        if (!m_filter.matches(frame))
            return;
        if (!m_writer) {
            logCanMessage(message);
            return;
        }
        if (!m_writer->refusal(frame).isEmpty())
            return;
        if (!m_writer->write(frame)) {
            failOutput(m_writer->errorString());
            return;
        }
        ++m_lines;
        save(message);
    }

    void logCanMessage(const CanMessage& message) override
    {
        QString line;
        try {
            line = formatMessageLine(message);
        } catch (const Failure& failure) {
            m_err << "A message could not be shown: " << failure.description() << Qt::endl;
            return;
        }
        if (!m_failure.isEmpty())
            return;
        m_out << line;
        if (m_signalText) {
            m_decoded.clear();
            m_signalText->append(m_decoded, TraceRecorder::frameOf(message, false));
            m_out << QString::fromUtf8(m_decoded.data(), static_cast<qsizetype>(m_decoded.size()));
        }
        m_out << '\n';
        ++m_lines;
        if (m_save && !failed())
            saving([&] { m_save->writeLine(line); });
    }

    // Once per poll: the lines so far reach the console and the disk.
    void flush()
    {
        m_out.flush();
        if (m_writer && !m_writer->flush())
            failOutput(m_writer->errorString());
        if (m_save && !failed())
            saving([&] { m_save->flush(); });
    }

    void finish()
    {
        m_out.flush();
        if (m_writer && !m_writer->close())
            failOutput(m_writer->errorString());
        if (m_save && !failed())
            saving([&] { m_save->close(); });
    }

    qint64 lines() const { return m_lines; }
    // The first write that failed ends the monitor: its reason.
    bool failed() const { return !m_failure.isEmpty(); }
    QString failure() const { return m_failure; }

private:
    void failOutput(const QString& why)
    {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("cannot write to the standard output: ") + why;
    }

    void save(const CanMessage& message)
    {
        if (!m_save || failed())
            return;
        try {
            const QString line = formatMessageLine(message);
            saving([&] { m_save->writeLine(line); });
        } catch (const Failure&) {
            // a message without a line is shown, not saved
        }
    }

    template <typename Write>
    void saving(Write write)
    {
        try {
            write();
        } catch (const Failure& failure) {
            if (m_failure.isEmpty())
                m_failure = QStringLiteral("cannot write %1: %2").arg(m_save->fileName(), m_save->failureText(failure));
        }
    }

    QTextStream& m_out;
    QTextStream& m_err;
    SaveLog* m_save;
    TraceFilter m_filter;
    TraceLogWriter* m_writer = nullptr;
    SignalText* m_signalText = nullptr;
    TextBuffer m_decoded;
    qint64 m_lines = 0;
    QString m_failure;
};

int monitor(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const NumberOption count = numberOption(options, QStringLiteral("count"), kCountRange);
    const NumberOption seconds = numberOption(options, QStringLiteral("seconds"), kSecondsRange);
    TraceFilterError filterError;
    const std::optional<TraceFilter> filter = TraceFilter::parse(options.value(QStringLiteral("filter")), &filterError);
    const QString format = options.value(QStringLiteral("format")).toLower();
    const TraceLogFormat logFormat = format == QLatin1String("candump") ? TraceLogFormat::Candump
                                     : format == QLatin1String("asc")   ? TraceLogFormat::Asc
                                     : format == QLatin1String("csv")   ? TraceLogFormat::Csv
                                                                        : TraceLogFormat::Unknown;
    const bool lines = !options.isSet(QStringLiteral("format")) || format == QLatin1String("lines");
    QStringList reasons = {count.error, seconds.error};
    if (!filter)
        reasons << QStringLiteral("--filter: ") + filterError.message;
    if (!lines && logFormat == TraceLogFormat::Unknown)
        reasons << QStringLiteral("--format takes lines, candump, asc or csv");
    const QStringList databases = options.values(QStringLiteral("dbc"));
    // The other formats are logs other tools read: nothing goes between their lines.
    const bool dbcRefused = !databases.isEmpty() && (!lines || databases.contains(QString()));
    if (dbcRefused)
        reasons << QStringLiteral("--dbc takes a file, and goes with --format lines: the signals follow each line");
    if (!options.positionalArguments().isEmpty() || !options.isSet(QStringLiteral("adapter")) || !count.ok()
        || !seconds.ok() || !filter || (!lines && logFormat == TraceLogFormat::Unknown) || dbcRefused)
        return refuse(command.usage, err, reasons);
    SignalText signalText;
    if (!signalText.load(databases, err))
        return 1;

    RealClock clock;
    const std::unique_ptr<Adapter> adapter = openAdapter(options.value(QStringLiteral("adapter")), clock, err);
    if (!adapter)
        return 2;

    SaveLog save;
    SaveLog* saving = nullptr;
    if (options.isSet(QStringLiteral("save"))) {
        save.setFileName(options.value(QStringLiteral("save")));
        try {
            save.open();
            saving = &save;
        } catch (const Failure& failure) {
            err << "tellvane-cli: cannot open " << save.fileName() << ": " << save.failureText(failure) << Qt::endl;
            return 1;
        }
    }

    CanLink link(*adapter, clock);
    ConsoleStatus status(err);
    ConsoleLog log(out, err, saving);
    if (!databases.isEmpty())
        log.setSignals(&signalText);
    link.setStatusView(&status);
    const std::unique_ptr<TraceLogWriter> writer = lines ? nullptr : makeTraceLogWriter(logFormat);
    if (writer && !writer->openDescriptor(1)) {
        err << "tellvane-cli: cannot write to the console: " << writer->errorString() << Qt::endl;
        return 1;
    }
    // Frames carry the session's time, from the moment the adapter opened.
    if (writer)
        writer->setRecordingStart(link.session().startedAt());
    if (writer || !filter->matchesEverything()) {
        TraceFilter chosen = *filter;
        // "msg=" names the frames by the databases of --dbc.
        chosen.setMessageNames([&signalText](const TraceFrame& frame) {
            SignalText::Frame decoded;
            return signalText.decode(frame, decoded) ? decoded.message->name : QString();
        });
        log.setFilter(chosen);
        log.setWriter(writer.get());
        link.setTraceSink(&log);
    } else {
        link.setMessageSink(&log);
    }

    installStopSignals();
    QElapsedTimer running;
    running.start();
    QTimer poll;
    poll.setInterval(kPollIntervalMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        link.pollTick();
        log.flush();
        if (log.failed() || !outputFailure(out).isEmpty() || stopRequested() || (count.value && log.lines() >= *count.value)
            || (seconds.value && running.elapsed() >= *seconds.value * 1000))
            QCoreApplication::quit();
    });
    poll.start();
    QCoreApplication::exec();
    log.finish();
    if (log.failed()) {
        err << "tellvane-cli: " << log.failure() << Qt::endl;
        return 1;
    }
    // A line of a database left out is said in the exit code too.
    return signalText.reported() ? 1 : 0;
}

}  // namespace

Command monitorCommand()
{
    return {.name = QStringLiteral("monitor"),
            .description = QStringLiteral("Prints the message lines of a bus as they arrive, until Ctrl+C; with --dbc each "
                                          "line followed by its message and signals as decode prints them."),
            .usage = QStringLiteral("usage: tellvane-cli monitor --adapter NAME [--save FILE] [--count N] [--seconds "
                                    "S] [--filter EXPR] [--format lines|candump|asc|csv] [--dbc FILE...]\n"
                                    "       N: 1 to 2147483647, S: 1 to 31536000, decimal or 0x hexadecimal"),
            .options = {adapterOption(),
                        {QStringLiteral("save"), QStringLiteral("Appends the lines to a log file."),
                         QStringLiteral("FILE")},
                        {QStringLiteral("count"), QStringLiteral("Ends after N lines: 1 to 2147483647."),
                         QStringLiteral("N")},
                        {QStringLiteral("seconds"), QStringLiteral("Ends after S seconds: 1 to 31536000."),
                         QStringLiteral("S")},
                        {QStringLiteral("filter"),
                         QStringLiteral("Shows and saves only the frames the expression lets through, as the bus "
                                        "trace's filter reads it: id=18FEF100/1FFFFF00 rx, pgn=FEF1 !src=21, ..."),
                         QStringLiteral("EXPR")},
                        {QStringLiteral("format"),
                         QStringLiteral("The console's lines: lines (message lines, the default), candump, asc or csv; "
                                        "a saved log keeps message lines."),
                         QStringLiteral("FORMAT")},
                        {QStringLiteral("dbc"),
                         QStringLiteral("Decodes each line's frame with a DBC signal database (with --format lines); "
                                        "given again for more, looked up in that order. A saved log keeps the plain lines."),
                         QStringLiteral("FILE")}},
            .run = &monitor};
}

}  // namespace tellvane::cli
