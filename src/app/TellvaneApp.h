#pragma once

#include "app/AdapterSwitcher.h"
#include "app/AppEnvironment.h"
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

#include <memory>

namespace tellvane {

class MainWindow;

// The composition root: makes the long-lived objects of one run, wires them
// and installs the error list as the error sink.
class TellvaneApp final {
public:
    static constexpr int kMonitorListAnnounceMs = 100;

    TellvaneApp(AppEnvironment environment, std::unique_ptr<Adapter> adapter);

    // Reports what went wrong setting the program up, once the error list can show it.
    void reportWarnings(const QStringList& warnings);
    ~TellvaneApp();

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
    // The Adapter menu's choices and the switch to the one chosen.
    AdapterSwitcher& adapters() { return m_adapters; }

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
    AdapterSwitcher m_adapters;  // last: a chosen adapter goes before the bus it was meant for
};

}  // namespace tellvane
