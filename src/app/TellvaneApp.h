#pragma once

#include "app/AdapterSwitch.h"
#include "app/ErrorLog.h"
#include "app/PollTimer.h"
#include "core/LineListModel.h"
#include "diagnostics/BoardWindow.h"
#include "firmware/DownloaderWindow.h"
#include "monitor/LogPlayback.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorController.h"
#include "monitor/MonitorStatus.h"
#include "plot/Plots.h"
#include "stack/BusStack.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace tellvane {

class Clock;
class Dialogs;
class MainWindow;
class SettingsStore;

// Where the program runs: supplied by main(), or by a test.
struct AppEnvironment {
    Clock& clock;
    Dialogs& dialogs;
    SettingsStore& settings;
    QString dataFolder;     // ends in "/"
    // The executable's folder: the vendor library lies here, and the shipped
    // Configuration/ and help/ here or in ../share/tellvane (programFilesFolder).
    QString programFolder;
    std::function<QDateTime()> now;
    // Lets window events run during long drains; off in tests.
    bool yieldDuringDrain = true;
    // Makes the adapters the Adapter menu chooses; createAdapter when unset.
    std::function<AdapterChoice(const QString& name)> makeAdapter = {};
    // Lists what the Adapter menu offers; availableAdapters when unset.
    std::function<QList<AdapterEntry>()> listAdapters = {};
    // A configuration file being written: every board shows it in diagnostic
    // mode (entered by itself), and the simulated boards that animate play
    // its messages, anew each time it is saved.
    QString previewFile = {};
};

// The composition root: makes the long-lived objects of one run, wires them
// and installs the error list as the error sink.
class TellvaneApp final : public AdapterSwitch {
public:
    static constexpr int kMonitorListAnnounceMs = 100;

    // The section and value of the settings store that keep the chosen adapter.
    static inline const QString kAdapterSection = QStringLiteral("Adapter");
    static inline const QString kAdapterValue = QStringLiteral("Name");
    static constexpr int kSwitchRetryMs = 100;

    TellvaneApp(AppEnvironment environment, std::unique_ptr<Adapter> adapter);

    // The adapter a run starts with: the one named on the command line, else the
    // one last chosen in the Adapter menu, else the vendor library. Null (with the
    // reason) only for a command-line name that names no adapter.
    static AdapterChoice startingAdapter(const std::optional<QString>& commandLine, const SettingsStore& settings,
                                         const AdapterEnvironment& environment);

    // Reports what went wrong setting the program up, once the error list can show it.
    void reportWarnings(const QStringList& warnings);
    ~TellvaneApp() override;

    TellvaneApp(const TellvaneApp&) = delete;
    TellvaneApp& operator=(const TellvaneApp&) = delete;

    MainWindow& mainWindow() { return *m_main; }
    Adapter& adapter() { return m_bus.adapter(); }
    CanLink& link() { return m_bus.link(); }
    LineListModel& monitorList() { return m_monitorList; }
    MessageLogger& logger() { return m_logger; }
    LogPlayback& playback() { return m_playback; }
    MonitorStatus& monitorStatus() { return m_status; }
    MonitorController& monitor() { return *m_monitor; }
    PollTimer& pollTimer() { return m_pollTimer; }
    ErrorLog& errorLog() { return m_errorLog; }
    BoardDirectory& boards() { return m_bus.boards(); }
    TextTransport& transport() { return m_bus.transport(); }
    FirmwareDownloader& downloader() { return m_bus.downloader(); }
    DownloaderWindow* downloaderWindow() { return m_downloaderWindow.data(); }
    Plots& plots() { return *m_plots; }
    const AppEnvironment& environment() const { return m_env; }

    QList<AdapterEntry> adapterEntries() const override;
    QString adapterName() const override;
    // Remembers the choice, makes the adapter and puts it in use: at once, or
    // as soon as no drain or download stage is using the link.
    void chooseAdapter(const QString& name) override;
    bool adapterSwitchPending() const { return m_pendingAdapter != nullptr; }
    // Puts the chosen adapter in use unless the link is busy; then tries again
    // on a timer.
    void switchAdapterWhenFree();
    const QTimer& switchRetryTimer() const { return m_switchRetry; }

private:
    AppEnvironment m_env;
    ErrorLog m_errorLog;
    BusStack m_bus;
    LineListModel m_monitorList;
    MessageLogger m_logger;
    LogPlayback m_playback;
    MonitorStatus m_status;
    PollTimer m_pollTimer;
    QPointer<DownloaderWindow> m_downloaderWindow;  // owned by the main window, hidden when closed
    std::unique_ptr<MonitorController> m_monitor;
    std::unique_ptr<Plots> m_plots;  // goes after the main window: plot windows tell it as they close
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<BoardWindows> m_boardWindows;
    std::unique_ptr<Adapter> m_pendingAdapter;
    QTimer m_switchRetry;
};

}  // namespace tellvane
