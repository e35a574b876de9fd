// tellvane-cli flash: the download dialogue with one board, from the console.

#include "can/AdapterFactory.h"
#include "can/BoardDirectory.h"
#include "can/CanLink.h"
#include "can/TextTransport.h"
#include "cli/CliSupport.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "firmware/DownloadRules.h"
#include "firmware/FirmwareDownloader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

namespace tellvane::cli {

namespace {

constexpr int kLinkWaitMs = 5000;
constexpr int kBoardWaitMs = 5000;
constexpr int kPollIntervalMs = 25;

// The downloader window on the console: status lines as they change, the
// progress every tenth.
class ConsoleView final : public DownloaderView {
public:
    explicit ConsoleView(QTextStream& out) : m_out(out) {}

    QStringList info;
    int selected = -1;
    QString file;

    void showWindow() override {}
    void hideWindow() override {}
    void clearInfo() override
    {
        info.clear();
        selected = -1;
    }
    void addInfoLine(const QString& line) override { info.append(line); }
    int selectedInfoLine() const override { return selected; }
    QString infoLine(int row) const override { return info.value(row); }
    void clearInfoSelection() override { selected = -1; }
    QString fileName() const override { return file; }
    void setFileName(const QString& path) override { file = path; }
    void setStatus(const QString& text) override
    {
        if (text.isEmpty() || text == m_status)
            return;
        m_status = text;
        // "Downloading line n of m" changes with every line: shown with the progress.
        if (!text.startsWith(QLatin1String("Downloading ")))
            m_out << text << Qt::endl;
    }
    void setProgress(int percent) override
    {
        if (percent >= 0 && percent / 10 != m_progress / 10)
            m_out << "  " << m_status << Qt::endl;
        m_progress = percent;
    }
    void setWarningVisible(bool visible) override
    {
        if (visible)
            m_out << "Warning: the board reported problems with some lines" << Qt::endl;
    }
    void setBusy(bool) override {}
    void yield() override {}

    QString status() const { return m_status; }

private:
    QTextStream& m_out;
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

bool boardKnown(const BoardDirectory& boards, int address)
{
    for (int s = 0; s < boards.slotCount(); ++s) {
        if (boards.slot(s).nodeAddress == address)
            return true;
    }
    return false;
}

}  // namespace

int flashCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const Options options = parseOptions(
        args, {QStringLiteral("adapter"), QStringLiteral("board"), QStringLiteral("area"), QStringLiteral("file")},
        {QStringLiteral("no-flash")});
    const auto address = options.number(QStringLiteral("board"));
    const bool complete = options.has(QStringLiteral("adapter")) && options.has(QStringLiteral("area"))
        && options.has(QStringLiteral("file"));
    if (!options.error.isEmpty() || !options.positional.isEmpty() || !complete || !address || *address < 0
        || *address > 253) {
        err << "usage: tellvane-cli flash --adapter NAME --board ADDRESS --area WORD --file FILE [--no-flash]"
            << Qt::endl;
        if (!options.error.isEmpty())
            err << "tellvane-cli: " << options.error << Qt::endl;
        else if (complete)
            err << "tellvane-cli: the board's address is a number from 0 to 253" << Qt::endl;
        return 2;
    }
    const QString file = options.value(QStringLiteral("file"));
    if (!QFileInfo(file).isFile()) {
        err << "tellvane-cli: no file " << file << Qt::endl;
        return 1;
    }

    RealClock clock;
    const QString programFolder = QCoreApplication::applicationDirPath();
    AdapterChoice choice = createAdapter(options.value(QStringLiteral("adapter")), AdapterEnvironment{clock, programFolder});
    if (!choice.adapter) {
        err << "tellvane-cli: " << choice.error << Qt::endl;
        return 2;
    }
    for (const QString& warning : choice.warnings)
        err << warning << Qt::endl;

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

    CanLink link(*choice.adapter, clock);
    ConsoleStatus status(err);
    link.setStatusView(&status);
    BoardDirectory boards(link, settings);
    TextTransport transport(link, clock, boards);
    ConsoleDialogs dialogs(err, file);
    ConsoleView view(out);
    FirmwareDownloader downloader(transport, boards, link, clock, dialogs, settings, programFolder);
    link.setRouter(&boards);
    boards.setPacketReceiver(&transport);
    boards.setDownloaderControl(&downloader);
    downloader.setView(&view);
    installStopSignals();

    // The link comes up, and the board announces itself.
    const std::int64_t start = clock.nowMicroseconds();
    auto waited = [&] { return (clock.nowMicroseconds() - start) / 1000; };
    while (link.interfaceState() != InterfaceState::Ok || !boardKnown(boards, static_cast<int>(*address))) {
        if (stopRequested())
            return 1;
        if (link.interfaceState() != InterfaceState::Ok && waited() > kLinkWaitMs) {
            err << "tellvane-cli: the adapter does not come up: " << interfaceStateText(link.interfaceState())
                << Qt::endl;
            return 1;
        }
        if (waited() > kLinkWaitMs + kBoardWaitMs) {
            err << "tellvane-cli: no board at address " << *address << " announced itself" << Qt::endl;
            return 1;
        }
        link.pollTick();
        if (!boardKnown(boards, static_cast<int>(*address)) && link.interfaceState() == InterfaceState::Ok
            && waited() > kLinkWaitMs / 2 && waited() < kLinkWaitMs / 2 + kPollIntervalMs * 2)
            boards.sendAllBoardRequest();  // not heard yet: ask every board once
        clock.delayMs(kPollIntervalMs);
    }
    // The board's P-code reply and the rest of its start-up chatter.
    for (int i = 0; i < 4; ++i) {
        link.pollTick();
        clock.delayMs(kPollIntervalMs);
    }

    boards.setDownloadBoardAddress(static_cast<std::int16_t>(*address));
    downloader.open();
    downloader.requestNodeInfo();
    out << "Board " << *address << ":" << Qt::endl;
    for (const QString& line : std::as_const(view.info))
        out << "  " << line << Qt::endl;
    if (!downloader.lastStageSucceeded()) {
        err << "tellvane-cli: the board does not list its memory areas" << Qt::endl;
        return 1;
    }

    const QString word = options.value(QStringLiteral("area"));
    int row = -1;
    for (int i = 0; i < view.info.size() && row < 0; ++i) {
        if (!firmware::areaOfLine(view.info[i]).isEmpty() && view.info[i].contains(word, Qt::CaseInsensitive))
            row = i;
    }
    if (row < 0) {
        err << "tellvane-cli: no memory area of the board matches \"" << word << "\"" << Qt::endl;
        return 1;
    }
    view.selected = row;
    downloader.infoListClicked(row);
    view.setFileName(file);
    out << "Area " << downloader.areaId() << ": " << view.info[row] << Qt::endl;

    downloader.startDownload();
    if (!downloader.lastStageSucceeded()) {
        err << "tellvane-cli: download failed: " << view.status() << Qt::endl;
        return 1;
    }
    if (!options.has(QStringLiteral("no-flash"))) {
        downloader.flashToMemory();
        if (!downloader.lastStageSucceeded()) {
            err << "tellvane-cli: flashing failed: " << view.status() << Qt::endl;
            return 1;
        }
    }
    return errorsReported == 0 ? 0 : 1;
}

}  // namespace tellvane::cli
