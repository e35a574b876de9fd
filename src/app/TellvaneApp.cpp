#include "app/TellvaneApp.h"

#include "app/MainWindow.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "firmware/DownloaderWindow.h"

#include <QCoreApplication>
#include <QMdiSubWindow>

namespace tellvane {

TellvaneApp::TellvaneApp(AppEnvironment environment, std::unique_ptr<Adapter> adapter)
    : m_env(std::move(environment)), m_adapter(std::move(adapter)), m_link(*m_adapter, m_env.clock),
      m_monitorList(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit), m_logger(m_monitorList),
      m_playback(m_monitorList, m_env.dialogs), m_status(m_link), m_pollTimer(m_link), m_boards(m_link, m_env.settings),
      m_transport(m_link, m_env.clock, m_boards),
      m_downloader(m_transport, m_boards, m_link, m_env.clock, m_env.dialogs, m_env.settings, m_env.programFolder)
{
    installErrorSink([this](const QString& message) { m_errorLog.print(message); });

    m_link.setStatusView(&m_status);
    m_link.setMessageSink(&m_logger);
    m_link.setRouter(&m_boards);
    if (m_env.yieldDuringDrain)
        m_link.setYield([] { QCoreApplication::processEvents(); });
    m_playback.setRouter(&m_boards);
    m_boards.setPacketReceiver(&m_transport);
    m_boards.setDownloaderControl(&m_downloader);
    if (m_env.yieldDuringDrain)
        m_transport.setYield([] { QCoreApplication::processEvents(); });

    m_monitor = std::make_unique<MonitorController>(m_link, m_pollTimer, m_boards, m_logger, m_playback,
                                                    m_monitorList, m_env.dialogs);

    m_main = std::make_unique<MainWindow>(MainWindowParts{
        m_env.clock, m_env.settings, m_link, m_pollTimer, *m_monitor, m_status, m_monitorList, m_playback, m_logger,
        m_errorLog, m_env.dataFolder, m_env.programFolder, m_env.now});

    m_boardWindows = std::make_unique<BoardWindows>(
        BoardWindowServices{m_boards, m_env.dialogs, m_env.settings, m_env.programFolder,
                            [this] { return m_monitor->inCanMode(); }, {}, {}, [this] { m_downloader.open(); },
                            [this](QWidget& window) { m_main->placeNewWindow(window); }},
        [this](QWidget* window) { m_main->addBoardWindow(window); });
    m_boards.setWindowFactory(m_boardWindows.get());

    // One downloader window for the run, hidden until a board asks for it.
    m_downloaderWindow = new DownloaderWindow(m_downloader, m_env.settings);
    m_main->addChild(m_downloaderWindow, kFixedSizeWindow);
    m_downloaderWindow->subWindow()->hide();
    m_downloader.setView(m_downloaderWindow);
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
    m_boards.setWindowFactory(nullptr);
    m_boards.setDownloaderControl(nullptr);
    m_downloader.setView(nullptr);
    m_main.reset();
}

}  // namespace tellvane
