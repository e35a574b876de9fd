// tellvane-cli flash: the download dialogue with one board, or with the boards
// of a plan one after another, from the console.

#include "cli/BatchConsole.h"
#include "cli/BatchFlash.h"
#include "cli/BoardDiscovery.h"
#include "cli/CliSupport.h"
#include "cli/TransferMeter.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "firmware/ListDownloaderView.h"
#include "stack/BusStack.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tellvane::cli {

namespace {

// The downloader window on the console: status lines as they change, the
// progress every tenth.
class ConsoleView final : public MeteredDownloaderView {
public:
    ConsoleView(QTextStream& out, TransferMeter& meter) : MeteredDownloaderView(meter), m_out(out) {}

protected:
    void statusChanged(const QString& text) override
    {
        // "Downloading n%" changes with the lines: shown with the progress.
        if (!text.startsWith(QLatin1String("Downloading ")))
            m_out << text << Qt::endl;
    }
    void progressChanged(int percent, int previous) override
    {
        if (percent >= 0 && percent / 10 != previous / 10)
            m_out << "  " << status() << Qt::endl;
    }
    // The count of packets acknowledged but reported as not sent is
    // printed after the download, with the adapter's name.

private:
    QTextStream& m_out;
};

// Boxes become console lines; the file "dialog" answers the file given.
class ConsoleDialogs final : public Dialogs {
public:
    ConsoleDialogs(QTextStream& err, QString file) : m_err(err), m_file(std::move(file)) {}
    void information(const QString& title, const QString& text) override { m_err << title << ": " << text << Qt::endl; }
    QString openFileName(const QString&, const QString&, const QString&) override { return m_file; }
    void beep() override {}

private:
    QTextStream& m_err;
    QString m_file;
};

// Options of one mode of flash only.
const char* const kPlanOnly[] = {"report", "stop-on-error"};
const char* const kBoardOnly[] = {"board", "area", "file", "no-flash"};

// The first of the options that was given, or empty.
template <std::size_t N>
QString givenOf(const QCommandLineParser& options, const char* const (&names)[N])
{
    for (const char* name : names) {
        if (options.isSet(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    }
    return {};
}

// The bus a flash works on, with the console attached: the downloader's
// settings (its last folder) in a scratch store, not the user's; errors on
// stderr, counted; the link's state on stderr.
struct ConsoleBus {
    QTemporaryDir scratch;
    SettingsStore settings{scratch.filePath(QStringLiteral("flash.ini"))};
    int errorsReported = 0;
    ConsoleDialogs dialogs;
    BusStack bus;
    ConsoleStatus status;

    ConsoleBus(std::unique_ptr<Adapter> adapter, Clock& clock, QTextStream& err, const QString& file)
        : dialogs(err, file), bus(std::move(adapter), {clock, dialogs, settings, QCoreApplication::applicationDirPath()}),
          status(err)
    {
        installErrorSink([this, &err](const QString& message) {
            ++errorsReported;
            err << message << Qt::endl;
        });
        bus.link().setStatusView(&status);
        installStopSignals();
    }
    ~ConsoleBus() { installErrorSink({}); }
};

int flashPlan(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err);

int flash(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    if (options.isSet(QStringLiteral("plan")))
        return flashPlan(command, options, out, err);
    const bool complete = options.isSet(QStringLiteral("adapter")) && options.isSet(QStringLiteral("board"))
        && options.isSet(QStringLiteral("area")) && options.isSet(QStringLiteral("file"));
    const NumberOption address = boardAddressOption(options);
    const QString areaWord = options.value(QStringLiteral("area"));
    const QString areaId = areaIdOfWord(areaWord);
    // Everything typed is checked before the adapter is opened.
    QString refusal;
    if (!options.positionalArguments().isEmpty())
        refusal = QStringLiteral("unexpected argument %1").arg(options.positionalArguments().first());
    else if (!address.ok())
        refusal = address.error;
    else if (options.isSet(QStringLiteral("area")) && areaId.isEmpty())
        refusal = areaWordError(areaWord);
    else if (const QString batchOnly = givenOf(options, kPlanOnly); !batchOnly.isEmpty())
        refusal = QStringLiteral("--%1 goes with --plan").arg(batchOnly);
    if (!refusal.isEmpty() || !complete)
        return refuse(command.usage, err, {refusal});
    const int board = static_cast<int>(*address.value);
    const QString file = options.value(QStringLiteral("file"));
    if (!QFileInfo(file).isFile()) {
        err << "tellvane-cli: no file " << file << Qt::endl;
        return 1;
    }

    RealClock clock;
    std::unique_ptr<Adapter> adapter = openAdapter(options.value(QStringLiteral("adapter")), clock, err);
    if (!adapter)
        return 2;

    ConsoleBus console(std::move(adapter), clock, err, file);
    BusStack& bus = console.bus;
    CanLink& link = bus.link();
    FirmwareDownloader& downloader = bus.downloader();
    TransferMeter meter(clock);
    meter.setBoard(board);
    link.setMessageSink(&meter);
    ConsoleView view(out, meter);
    downloader.setView(&view);

    // The link comes up, and the board announces itself.
    switch (awaitBoards(bus, clock, [&] { return bus.boards().knows(board); }, &stopRequested)) {
    case BoardWait::Found:
        break;
    case BoardWait::Stopped:
        return 1;
    case BoardWait::LinkDown:
        err << "tellvane-cli: the adapter does not come up: " << interfaceStateText(link.interfaceState()) << Qt::endl;
        return 1;
    case BoardWait::TimedOut:
        err << "tellvane-cli: no board at address " << board << " announced itself" << Qt::endl;
        return 1;
    }

    bus.boards().setDownloadBoardAddress(static_cast<std::int16_t>(board));
    downloader.open();
    downloader.requestNodeInfo();
    out << "Board " << board << ":" << Qt::endl;
    for (const QString& line : std::as_const(view.info))
        out << "  " << line << Qt::endl;
    if (!downloader.lastStageSucceeded()) {
        err << "tellvane-cli: the board does not list its memory areas" << Qt::endl;
        return 1;
    }

    const int row = areaLine(view.info, areaId);
    if (row < 0) {
        err << "tellvane-cli: board " << board << " lists no memory area " << areaId << " (no \""
            << areaKeyword(areaId) << "\" line)" << Qt::endl;
        return 1;
    }
    view.selected = row;
    downloader.infoListClicked(row);
    view.setFileName(file);
    out << "Area " << downloader.areaId() << ": " << view.info[row] << Qt::endl;

    downloader.startDownload();
    meter.end();
    if (meter.started())
        out << meter.summary() << Qt::endl;
    if (downloader.downloadWarnings() > 0) {
        out << "Warning: the adapter " << bus.adapter().name() << " reported " << downloader.downloadWarnings()
            << " packets as not sent although the board acknowledged them" << Qt::endl;
    }
    if (!downloader.lastStageSucceeded()) {
        err << "tellvane-cli: download failed: " << view.status() << Qt::endl;
        return 1;
    }
    if (!options.isSet(QStringLiteral("no-flash"))) {
        downloader.flashToMemory();
        if (!downloader.lastStageSucceeded()) {
            err << "tellvane-cli: flashing failed: " << view.status() << Qt::endl;
            return 1;
        }
    }
    return console.errorsReported == 0 ? 0 : 1;
}

bool stdoutIsTerminal()
{
#ifdef Q_OS_UNIX
    return isatty(STDOUT_FILENO) == 1;
#else
    return false;
#endif
}

int flashPlan(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    // Everything typed is checked before the plan is read.
    QString refusal;
    if (!options.positionalArguments().isEmpty())
        refusal = QStringLiteral("unexpected argument %1").arg(options.positionalArguments().first());
    else if (const QString single = givenOf(options, kBoardOnly); !single.isEmpty())
        refusal = QStringLiteral("--%1 does not go with --plan: the plan names the boards, areas and files").arg(single);
    if (!refusal.isEmpty())
        return refuse(command.usage, err, {refusal});
    const QString planFile = options.value(QStringLiteral("plan"));
    const QString reportFile = options.value(QStringLiteral("report"));
    if (options.isSet(QStringLiteral("report"))) {
        // Found out now, not after the boards are done.
        QFile probe(reportFile);
        if (reportFile.isEmpty() || !probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return refuse(command.usage, err, {QStringLiteral("--report %1 cannot be written: %2")
                                                   .arg(reportFile, reportFile.isEmpty() ? QStringLiteral("no name")
                                                                                         : probe.errorString())});
    }

    BatchReport report;
    report.planFile = QFileInfo(planFile).absoluteFilePath();
    auto finish = [&] {
        report.end = QDateTime::currentDateTimeUtc();
        if (!reportFile.isEmpty()) {
            QSaveFile file(reportFile);
            if (!file.open(QIODevice::WriteOnly) || file.write(reportJson(report)) < 0 || !file.commit()) {
                err << "tellvane-cli: cannot write the report " << reportFile << ": " << file.errorString() << Qt::endl;
                return std::max(report.exitCode(), 1);
            }
        }
        return report.exitCode();
    };
    auto showRefusal = [&] {
        err << "tellvane-cli: the plan " << planFile << " is refused; nothing was downloaded:" << Qt::endl;
        for (const PlanError& e : report.refusal)
            err << "  " << e.text() << Qt::endl;
    };

    report.start = QDateTime::currentDateTimeUtc();
    PlanReading reading = loadFlashPlan(planFile);
    if (!reading.ok()) {
        report.planBoards = static_cast<int>(reading.named.size());
        report.refusal = reading.errors;
        showRefusal();
        return finish();
    }
    const FlashPlan& plan = reading.plan;
    const QString adapterName = options.isSet(QStringLiteral("adapter")) ? options.value(QStringLiteral("adapter"))
                                                                          : plan.adapter;
    if (adapterName.isEmpty())
        return refuse(command.usage, err, {QStringLiteral("--adapter is needed: the plan names no adapter")});

    RealClock clock;
    std::unique_ptr<Adapter> adapter = openAdapter(adapterName, clock, err);
    if (!adapter)
        return 2;
    ConsoleBus console(std::move(adapter), clock, err, QString());
    out << "Plan " << planFile << ": " << plan.boards.size() << " boards on " << console.bus.adapter().name()
        << Qt::endl;

    BatchFlasher flasher(console.bus, clock, [] { return QDateTime::currentDateTimeUtc(); });
    ConsoleBatch progress(out, stdoutIsTerminal());
    flasher.setObserver(&progress);
    flasher.setStop(&stopRequested);
    const QString planPath = report.planFile;
    report = flasher.run(plan, options.isSet(QStringLiteral("stop-on-error")));
    report.planFile = planPath;
    if (report.refused()) {
        showRefusal();
    } else {
        const int failed = report.failedBoards();
        out << "Plan done: " << (report.planBoards - failed) << " of " << report.planBoards << " boards succeeded";
        if (failed > 0)
            out << ", " << failed << " failed";
        out << Qt::endl;
    }
    return finish();
}
}  // namespace

Command flashCommand()
{
    return {.name = QStringLiteral("flash"),
            .description = QStringLiteral("Downloads an S-record file into a memory area of a board, then flashes it; "
                                          "or the boards of a plan, one after another."),
            .usage = QStringLiteral("usage: tellvane-cli flash --adapter NAME --board ADDRESS --area AREA --file FILE "
                                    "[--no-flash]\n       tellvane-cli flash --plan PLAN [--adapter NAME] [--report "
                                    "REPORT] [--stop-on-error]\n       ADDRESS: 0 to 253, decimal or 0x hexadecimal; "
                                    "AREA: 0, 1, 2, 3 or boot, sys, pcode, config"),
            .options = {adapterOption(),
                        {QStringLiteral("board"), QStringLiteral("The board's address: 0 to 253."),
                         QStringLiteral("ADDRESS")},
                        {QStringLiteral("area"), QStringLiteral("The memory area: 0 to 3, boot, sys, pcode, config."),
                         QStringLiteral("AREA")},
                        {QStringLiteral("file"), QStringLiteral("The S-record file."), QStringLiteral("FILE")},
                        {QStringLiteral("no-flash"), QStringLiteral("Downloads the file, flashes nothing.")},
                        {QStringLiteral("plan"),
                         QStringLiteral("A batch: the boards, areas and files of a JSON plan, board after board."),
                         QStringLiteral("PLAN")},
                        {QStringLiteral("report"), QStringLiteral("With --plan: writes what became of each board as JSON."),
                         QStringLiteral("REPORT")},
                        {QStringLiteral("stop-on-error"),
                         QStringLiteral("With --plan: stops at the first board that fails.")}},
            .run = &flash};
}

}  // namespace tellvane::cli
