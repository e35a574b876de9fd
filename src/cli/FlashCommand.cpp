// tellvane-cli flash: the download dialogue with one board, or with the boards
// of a plan one after another, from the console.

#include "cli/BatchConsole.h"
#include "cli/CliSupport.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "firmware/DownloadRules.h"
#include "firmware/ListDownloaderView.h"
#include "firmware/TransferMeter.h"
#include "stack/BatchFlash.h"
#include "stack/BoardDiscovery.h"
#include "stack/BusStack.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tellvane::cli {

namespace {

// The downloader window on the console: status lines as they change, the
// progress every tenth.
class ConsoleView final : public firmware::MeteredDownloaderView {
public:
    ConsoleView(QTextStream& out, firmware::TransferMeter& meter) : firmware::MeteredDownloaderView(meter), m_out(out) {}

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
    const QString areaId = firmware::areaIdOfWord(areaWord);
    // Everything typed is checked before the adapter is opened.
    QString refusal;
    if (!options.positionalArguments().isEmpty())
        refusal = QStringLiteral("unexpected argument %1").arg(options.positionalArguments().first());
    else if (!address.ok())
        refusal = address.error;
    else if (options.isSet(QStringLiteral("area")) && areaId.isEmpty())
        refusal = firmware::areaWordError(areaWord);
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
    // The board erases the area before the file goes out: a file the check
    // refuses is refused here, before the adapter is opened, with its line.
    int badLine = 0;
    if (const int checked = firmware::checkS19File(file, &badLine); checked < 0) {
        err << "tellvane-cli: " << file << ": " << firmware::fileCheckMessage(checked, badLine) << Qt::endl;
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
    firmware::TransferMeter meter(clock);
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

    const int row = firmware::areaLine(view.info, areaId);
    if (row < 0) {
        err << "tellvane-cli: board " << board << " lists no memory area " << areaId << " (no \""
            << firmware::areaKeyword(areaId) << "\" line)" << Qt::endl;
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

// Whether two names are one file: the same path, a link to it, or a hard link.
bool sameFile(const QString& a, const QString& b)
{
#ifdef Q_OS_UNIX
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#else
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
#endif
}

// Why the report cannot be written, found out before the boards are done;
// empty when it can. A file that was not there is not left behind.
QString reportUnwritable(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (info.exists()) {
        if (!info.isFile())  // a device or a pipe: opening a pipe would wait for its reader
            return info.isWritable() ? QString() : QStringLiteral("Permission denied");
        QFile file(fileName);
        return file.open(QIODevice::WriteOnly | QIODevice::Append) ? QString() : file.errorString();
    }
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return file.errorString();
    file.remove();
    return {};
}

QString counted(qsizetype n, const char* thing)
{
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(thing), n == 1 ? QString() : QStringLiteral("s"));
}

int flashPlan(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    // Everything typed is checked before the plan is read.
    const QString planFile = options.value(QStringLiteral("plan"));
    const QString reportFile = options.value(QStringLiteral("report"));
    QString refusal;
    if (!options.positionalArguments().isEmpty())
        refusal = QStringLiteral("unexpected argument %1").arg(options.positionalArguments().first());
    else if (const QString single = givenOf(options, kBoardOnly); !single.isEmpty())
        refusal = QStringLiteral("--%1 does not go with --plan: the plan names the boards, areas and files").arg(single);
    else if (planFile.isEmpty())
        refusal = QStringLiteral("--plan needs the name of the plan file");
    else if (options.isSet(QStringLiteral("report")) && reportFile.isEmpty())
        refusal = QStringLiteral("--report needs the name of the file to write");
    else if (!reportFile.isEmpty() && sameFile(reportFile, planFile))
        refusal = QStringLiteral("--report %1 is the plan itself: the report would write over it").arg(reportFile);
    else if (const QString why = reportFile.isEmpty() ? QString() : reportUnwritable(reportFile); !why.isEmpty())
        refusal = QStringLiteral("--report %1 cannot be written: %2").arg(reportFile, why);
    if (!refusal.isEmpty())
        return refuse(command.usage, err, {refusal});

    // From here on every ending is reported, and has its exit code.
    BatchReport report;
    report.planFile = QFileInfo(planFile).absoluteFilePath();
    const bool adapterTyped = options.isSet(QStringLiteral("adapter"));  // it wins over the plan's
    report.adapter = options.value(QStringLiteral("adapter"));
    report.start = QDateTime::currentDateTimeUtc();
    auto finish = [&] {
        report.end = QDateTime::currentDateTimeUtc();
        if (!reportFile.isEmpty()) {
            if (const QString why = writeReport(reportFile, report); !why.isEmpty()) {
                err << "tellvane-cli: the report " << reportFile << " cannot be written: " << why << Qt::endl;
                return kExitReportNotWritten;
            }
        }
        return report.exitCode();
    };
    auto showRefusal = [&] {
        err << "tellvane-cli: the plan " << planFile << " is refused; nothing was downloaded:" << Qt::endl;
        for (const firmware::PlanError& e : report.refusal)
            err << "  " << e.text() << Qt::endl;
    };

    const firmware::PlanReading reading = firmware::loadFlashPlan(planFile);
    if (!reading.ok()) {
        report.refusal = reading.errors;
        report.endBefore(reading.named, QStringLiteral("the plan was refused"));
        showRefusal();
        return finish();
    }
    const firmware::FlashPlan& plan = reading.plan;
    if (!adapterTyped)
        report.adapter = plan.adapter;
    if (report.adapter.isEmpty()) {
        report.notStarted = QStringLiteral("--adapter is needed: the plan names no adapter");
        refuse(command.usage, err, {report.notStarted});
    }

    RealClock clock;
    std::unique_ptr<Adapter> adapter;
    if (report.notStarted.isEmpty()) {
        adapter = openAdapter(report.adapter, clock, err, &report.notStarted);
        if (!adapter && report.notStarted.isEmpty())
            report.notStarted = QStringLiteral("the adapter %1 does not open").arg(report.adapter);
    }
    if (!adapter) {
        report.endBefore(plan.boards, QStringLiteral("not started: ") + report.notStarted);
        return finish();
    }
    ConsoleBus console(std::move(adapter), clock, err, QString());
    out << "Plan " << planFile << ": " << counted(static_cast<qsizetype>(plan.boards.size()), "board") << " on "
        << console.bus.adapter().name() << Qt::endl;

    BatchFlasher flasher(console.bus, clock, [] { return QDateTime::currentDateTimeUtc(); });
    BatchConsole progress(out, stdoutIsTerminal());
    flasher.setObserver(&progress);
    flasher.setStop(&stopRequested);
    const QString planPath = report.planFile;
    report = flasher.run(plan, options.isSet(QStringLiteral("stop-on-error")));
    report.planFile = planPath;
    if (report.refused()) {
        showRefusal();
    } else {
        const int failed = report.failedBoards();
        const qsizetype total = static_cast<qsizetype>(report.boards.size());
        out << "Plan done: " << (total - failed) << " of " << counted(total, "board") << " succeeded";
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
            .helpEnd = QStringLiteral("\nExit codes:\n"
                                      "  0         the board, or every board of the plan, succeeded\n"
                                      "  1         the board failed: not found, no such area, the download or the flash\n"
                                      "  1 to %1  with --plan: that many boards failed (%1: a hundred or more)\n"
                                      "  2         the command line was refused, no adapter was named, or it does not\n"
                                      "            open: nothing was tried\n"
                                      "  %2       with --plan: the plan was refused (its text, its files, or the\n"
                                      "            boards on the bus): nothing was downloaded\n"
                                      "  %3       with --report: the report could not be written\n")
                            .arg(kMostFailedBoards)
                            .arg(kExitPlanRefused)
                            .arg(kExitReportNotWritten),
            .run = &flash};
}

}  // namespace tellvane::cli
