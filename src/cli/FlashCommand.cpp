// tellvane-cli flash: the download dialogue with one board, from the console.

#include "cli/CliSupport.h"
#include "cli/TransferMeter.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "firmware/ListDownloaderView.h"
#include "stack/BusStack.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

namespace tellvane::cli {

namespace {

constexpr int kLinkWaitMs = 5000;
constexpr int kBoardWaitMs = 5000;
constexpr int kPollIntervalMs = 25;
// Boards that did not announce themselves when the link came up are asked
// again this often.
constexpr int kAskAgainMs = 1000;

// The downloader window on the console: status lines as they change, the
// progress every tenth.
class ConsoleView final : public ListDownloaderView {
public:
    ConsoleView(QTextStream& out, TransferMeter& meter) : m_out(out), m_meter(meter) {}

    void setStatus(const QString& text) override
    {
        if (text.isEmpty() || text == m_status)
            return;
        m_status = text;
        if (text == QLatin1String("Loading file..."))
            m_meter.begin();
        // "Downloading n%" changes with the lines: shown with the progress.
        if (!text.startsWith(QLatin1String("Downloading ")))
            m_out << text << Qt::endl;
    }
    void setProgress(int percent) override
    {
        if (percent >= 0)
            m_meter.lineDone();  // the downloader moves the progress once per line sent
        if (percent >= 0 && percent / 10 != m_progress / 10)
            m_out << "  " << m_status << Qt::endl;
        m_progress = percent;
    }
    // The count of packets acknowledged but reported as not sent is
    // printed after the download, with the adapter's name.

    QString status() const { return m_status; }

private:
    QTextStream& m_out;
    TransferMeter& m_meter;
    QString m_status;
    int m_progress = -1;
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

int flash(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
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

    // The dialogue's own settings (the last folder) stay out of the user's store.
    QTemporaryDir scratch;
    SettingsStore settings(scratch.filePath(QStringLiteral("flash.ini")));
    int errorsReported = 0;
    installErrorSink([&](const QString& message) {
        ++errorsReported;
        err << message << Qt::endl;
    });
    struct SinkReset {
        ~SinkReset() { installErrorSink({}); }
    } sinkReset;

    ConsoleDialogs dialogs(err, file);
    BusStack bus(std::move(adapter), {clock, dialogs, settings, QCoreApplication::applicationDirPath()});
    CanLink& link = bus.link();
    FirmwareDownloader& downloader = bus.downloader();
    ConsoleStatus status(err);
    link.setStatusView(&status);
    TransferMeter meter(clock);
    meter.setBoard(board);
    link.setMessageSink(&meter);
    ConsoleView view(out, meter);
    downloader.setView(&view);
    installStopSignals();

    // The link comes up, and the board announces itself: boards announce
    // themselves when asked, so they are asked as soon as the link is up,
    // and again now and then until the board is heard.
    const std::int64_t start = clock.nowMicroseconds();
    auto waited = [&] { return (clock.nowMicroseconds() - start) / 1000; };
    std::int64_t nextTickUs = start;
    std::int64_t nextAskUs = -1;
    while (link.interfaceState() != InterfaceState::Ok || !bus.boards().knows(board)) {
        if (stopRequested())
            return 1;
        if (link.interfaceState() != InterfaceState::Ok && waited() > kLinkWaitMs) {
            err << "tellvane-cli: the adapter does not come up: " << interfaceStateText(link.interfaceState())
                << Qt::endl;
            return 1;
        }
        if (waited() > kLinkWaitMs + kBoardWaitMs) {
            err << "tellvane-cli: no board at address " << board << " announced itself" << Qt::endl;
            return 1;
        }
        const std::int64_t now = clock.nowMicroseconds();
        if (now >= nextTickUs) {
            link.pollTick();
            nextTickUs = now + std::int64_t{kPollIntervalMs} * 1000;
        } else {
            link.checkForIncomingCanMessages();
        }
        if (link.interfaceState() == InterfaceState::Ok && !bus.boards().knows(board)
            && (nextAskUs < 0 || now >= nextAskUs)) {
            bus.boards().sendAllBoardRequest();
            nextAskUs = now + std::int64_t{kAskAgainMs} * 1000;
        }
        if (link.interfaceState() != InterfaceState::Ok)
            clock.sleepUntilUs(nextTickUs);
        else if (!bus.boards().knows(board))
            link.waitForArrival(nextTickUs);
    }
    // The board's P-code reply and the rest of its start-up chatter.
    for (int i = 0; i < 4; ++i) {
        link.pollTick();
        clock.delayMs(kPollIntervalMs);
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
    return errorsReported == 0 ? 0 : 1;
}

}  // namespace

Command flashCommand()
{
    return {.name = QStringLiteral("flash"),
            .description = QStringLiteral("Downloads an S-record file into a memory area of a board, then flashes it."),
            .usage = QStringLiteral("usage: tellvane-cli flash --adapter NAME --board ADDRESS --area AREA --file FILE "
                                    "[--no-flash]\n       ADDRESS: 0 to 253, decimal or 0x hexadecimal; AREA: 0, 1, "
                                    "2, 3 or boot, sys, pcode, config"),
            .options = {adapterOption(),
                        {QStringLiteral("board"), QStringLiteral("The board's address: 0 to 253."),
                         QStringLiteral("ADDRESS")},
                        {QStringLiteral("area"), QStringLiteral("The memory area: 0 to 3, boot, sys, pcode, config."),
                         QStringLiteral("AREA")},
                        {QStringLiteral("file"), QStringLiteral("The S-record file."), QStringLiteral("FILE")},
                        {QStringLiteral("no-flash"), QStringLiteral("Downloads the file, flashes nothing.")}},
            .run = &flash};
}

}  // namespace tellvane::cli
