#include "app/TellvaneApp.h"

#include "app/MainWindow.h"
#include "app/BenchAnimation.h"
#include "app/SaveLogName.h"
#include "core/DataFolder.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/ProgramFiles.h"
#include "core/SettingsStore.h"
#include "firmware/DownloaderWindow.h"
#include "plot/PlotWindow.h"
#include "ui/KeptGeometry.h"

#include <QCoreApplication>
#include <QMdiSubWindow>


namespace tellvane {

TellvaneApp::TellvaneApp(AppEnvironment environment, std::unique_ptr<Adapter> adapter)
    : m_env(std::move(environment)),
      m_bus(std::move(adapter), BusStackEnvironment{m_env.clock, m_env.dialogs, m_env.settings, m_env.programFolder}),
      m_monitorList(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit), m_logger(m_monitorList),
      m_playback(m_monitorList, m_env.dialogs), m_status(m_bus.link()), m_pollTimer(m_bus.link()),
      m_adapters(m_bus, m_env)
{
    installErrorSink([this](const QString& message) { m_errorLog.print(message); });
    // At a full bus the monitor's list would be laid out and painted on every
    // poll; ten times a second shows the same lines.
    m_monitorList.setAnnounceInterval(m_env.clock, kMonitorListAnnounceMs);

    link().setStatusView(&m_status);
    link().setMessageSink(&m_logger);
    if (m_env.yieldDuringDrain)
        m_bus.setYield([] { QCoreApplication::processEvents(); });
    m_playback.setRouter(&boards());
    m_playback.setLineSource([this] { return link().newPlayedLine(); });
    animateBench(m_bus.adapter(), m_env.programFolder, m_env.previewFile);

    m_monitor = std::make_unique<MonitorController>(link(), m_pollTimer, boards(), m_logger, m_playback,
                                                    m_monitorList, m_env.dialogs);

    m_main = std::make_unique<MainWindow>(MainWindowParts{.clock = m_env.clock,
                                                          .settings = m_env.settings,
                                                          .link = link(),
                                                          .pollTimer = m_pollTimer,
                                                          .monitor = *m_monitor,
                                                          .monitorStatus = m_status,
                                                          .monitorList = m_monitorList,
                                                          .playback = m_playback,
                                                          .logger = m_logger,
                                                          .errorLog = m_errorLog,
                                                          .dataFolder = m_env.dataFolder,
                                                          .filesFolder = programFilesFolder(m_env.programFolder),
                                                          .now = m_env.now,
                                                          .dialogs = m_env.dialogs,
                                                          .adapters = &m_adapters,
                                                          .signalMenu =
                                                              [this](QMenu& menu, const std::vector<dbc::SignalRef>& chosen) {
                                                                  m_plots->fillSignalMenu(menu, chosen);
                                                              }});

    // Plots and recordings of the screens' values, from the menu of a board window's screen.
    const QString logFolder = logFolderOf(m_env.dataFolder);
    m_plots = std::make_unique<Plots>(PlotsServices{
        .dialogs = m_env.dialogs,
        .folder = logFolder,
        .recordingFileName =
            [this, logFolder](const QString& board) {
                return recordingFileName(logFolder, m_env.now ? m_env.now() : QDateTime::currentDateTime(), board);
            },
        .showWindow = [this](PlotWindow& window) {
            QMdiSubWindow* sub = m_main->addChild(&window);
            window.setResizableOuterSizeTwips(PlotWindow::kWidthTwips, PlotWindow::kHeightTwips, PlotWindow::kMinimumSize);
            // The size the last plot window was left at, and its place while no other plot window lies there.
            auto* kept = new KeptGeometry(*sub, m_env.settings, QStringLiteral("PlotWindow"));
            kept->restoreSize();
            QList<const QMdiSubWindow*> otherPlots;
            for (PlotWindow* other : m_plots->windows()) {
                if (other != &window && other->subWindow())
                    otherPlots.append(other->subWindow());
            }
            m_main->placeChild(*sub, kept->keptPlace(), otherPlots);
            sub->show();
            window.show();
        },
        .link = &link()});

    m_boardWindows = std::make_unique<BoardWindows>(
        BoardWindowServices{
            .directory = boards(),
            .dialogs = m_env.dialogs,
            .settings = m_env.settings,
            .filesFolder = programFilesFolder(m_env.programFolder),
            .inCanMode = [this] { return m_monitor->inCanMode(); },
            .showDownloader = [this] { downloader().open(); },
            .placeNewWindow = [this](QWidget& window) { m_main->placeNewWindow(window); },
            .previewFile = m_env.previewFile,
            .screenReloaded = [this] { animateBench(m_bus.adapter(), m_env.programFolder, m_env.previewFile); },
            .screenMenu = m_plots.get()},
        [this](QWidget* window) { m_main->addBoardWindow(window); });
    boards().setWindowFactory(m_boardWindows.get());

    // One downloader window for the run, hidden until a board asks for it;
    // closing it hides it again.
    m_downloaderWindow = new DownloaderWindow(downloader(), m_env.settings);
    m_main->addChild(m_downloaderWindow, kFixedSizeWindow, ChildLifetime::HiddenOnClose);
    m_downloaderWindow->setDefaultPlacement([this](QWidget& window) { m_main->placeNewWindow(window); });
    m_downloaderWindow->subWindow()->hide();
    downloader().setView(m_downloaderWindow);
    // Exit ends the program at once: a download stage still running sends nothing more.
    QObject::connect(m_main.get(), &MainWindow::finished, &downloader(), [this] {
        if (downloader().isOpen())
            downloader().closeDownloader();
    });
}

void TellvaneApp::reportWarnings(const QStringList& warnings)
{
    for (const QString& warning : warnings)
        printError(warning);
}

TellvaneApp::~TellvaneApp()
{
    installErrorSink({});
    m_pollTimer.setPollingEnabled(false);
    boards().setWindowFactory(nullptr);
    boards().setDownloaderControl(nullptr);
    downloader().setView(nullptr);
    m_main.reset();
}

}  // namespace tellvane
