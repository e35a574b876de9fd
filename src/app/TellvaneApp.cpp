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
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>

namespace tellvane {

TellvaneApp::TellvaneApp(AppEnvironment environment, std::unique_ptr<Adapter> adapter)
    : m_env(std::move(environment)),
      m_bus(std::move(adapter), BusStackEnvironment{m_env.clock, m_env.dialogs, m_env.settings, m_env.programFolder}),
      m_monitorList(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit), m_logger(m_monitorList),
      m_playback(m_monitorList, m_env.dialogs), m_status(m_bus.link()), m_pollTimer(m_bus.link())
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

    m_main = std::make_unique<MainWindow>(MainWindowParts{
        m_env.clock, m_env.settings, link(), m_pollTimer, *m_monitor, m_status, m_monitorList, m_playback, m_logger,
        m_errorLog, m_env.dataFolder, programFilesFolder(m_env.programFolder), m_env.now, m_env.dialogs, this});

    // Plots and recordings of the screens' values, from the menu of a board window's screen.
    const QString logFolder = logFolderOf(m_env.dataFolder);
    m_plots = std::make_unique<Plots>(PlotsServices{
        m_env.dialogs, logFolder,
        [this, logFolder](const QString& board) {
            return recordingFileName(logFolder, m_env.now ? m_env.now() : QDateTime::currentDateTime(), board);
        },
        [this](PlotWindow& window) {
            QMdiSubWindow* sub = m_main->addChild(&window);
            window.setResizableOuterSizeTwips(PlotWindow::kWidthTwips, PlotWindow::kHeightTwips, PlotWindow::kMinimumSize);
            // The size the last plot window was left at, and its place while no other plot window lies there.
            auto* kept = new KeptGeometry(*sub, m_env.settings, QStringLiteral("PlotWindow"));
            kept->restoreSize();
            const std::optional<QPoint> place = kept->keptPlace();
            const std::vector<PlotWindow*> others = m_plots->windows();
            const bool free = place && std::none_of(others.begin(), others.end(), [&](PlotWindow* other) {
                const QMdiSubWindow* otherSub = other->subWindow();
                return other != &window && otherSub && otherSub->isVisible()
                    && otherSub->geometry().intersects(QRect(*place, sub->size()));
            });
            sub->move(free ? *place : m_main->freePlaceFor(sub->size()));
            sub->show();
            window.show();
        }});

    m_boardWindows = std::make_unique<BoardWindows>(
        BoardWindowServices{boards(), m_env.dialogs, m_env.settings, programFilesFolder(m_env.programFolder),
                            [this] { return m_monitor->inCanMode(); }, [this] { downloader().open(); },
                            [this](QWidget& window) { m_main->placeNewWindow(window); }, m_env.previewFile,
                            [this] { animateBench(m_bus.adapter(), m_env.programFolder, m_env.previewFile); },
                            m_plots.get()},
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

    m_switchRetry.setSingleShot(true);
    m_switchRetry.setInterval(kSwitchRetryMs);
    QObject::connect(&m_switchRetry, &QTimer::timeout, [this] { switchAdapterWhenFree(); });
}

AdapterChoice TellvaneApp::startingAdapter(const std::optional<QString>& commandLine, const SettingsStore& settings,
                                           const AdapterEnvironment& environment)
{
    if (commandLine)
        return createAdapter(*commandLine, environment);
    AdapterChoice choice;
    const QString remembered = settings.value(kAdapterSection, kAdapterValue);
    if (!remembered.isEmpty())
        choice = createAdapter(remembered, environment);
    if (!choice.adapter) {
        const QString why = choice.error;
        choice = createAdapter(QStringLiteral("library"), environment);
        if (!why.isEmpty())
            choice.warnings.prepend(why + QStringLiteral(" (the vendor library is used)"));
    }
    return choice;
}

QList<AdapterEntry> TellvaneApp::adapterEntries() const
{
    return m_env.listAdapters ? m_env.listAdapters() : availableAdapters();
}

QString TellvaneApp::adapterName() const
{
    return m_pendingAdapter ? m_pendingAdapter->name() : m_bus.adapter().name();
}

void TellvaneApp::chooseAdapter(const QString& name)
{
    const QString key = canonicalAdapterName(name);
    if (!key.isEmpty() && !m_env.settings.setValue(kAdapterSection, kAdapterValue, key))
        printError(QStringLiteral("The choice of adapter could not be saved in ") + m_env.settings.fileName());
    if (key == adapterName())
        return;
    AdapterChoice choice = m_env.makeAdapter ? m_env.makeAdapter(name)
                                             : createAdapter(name, AdapterEnvironment{m_env.clock, m_env.programFolder});
    reportWarnings(choice.warnings);
    if (!choice.adapter) {
        printError(choice.error);
        return;
    }
    if (choice.adapter->name() == m_bus.adapter().name()) {
        m_pendingAdapter.reset();  // back to the adapter in use
        return;
    }
    m_pendingAdapter = std::move(choice.adapter);
    switchAdapterWhenFree();
}

void TellvaneApp::switchAdapterWhenFree()
{
    if (!m_pendingAdapter)
        return;
    // The menu can be used while a drain or a download stage lets window events
    // run; the adapter they use stays until they are done.
    if (m_bus.busy()) {
        m_switchRetry.start();
        return;
    }
    const std::unique_ptr<Adapter> old = m_bus.replaceAdapter(std::move(m_pendingAdapter));
    animateBench(m_bus.adapter(), m_env.programFolder, m_env.previewFile);
    qCInfo(lcLink) << "adapter" << old->name() << "->" << m_bus.adapter().name();
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
