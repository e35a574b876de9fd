#pragma once

#include "app/ErrorListWindow.h"
#include "app/HelpWindow.h"
#include "monitor/MonitorWindow.h"
#include "trace/TraceWindow.h"
#include "transmit/TransmitWindow.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>

class QMdiArea;
class QMdiSubWindow;
class QAction;
class QMenu;

namespace tellvane {

class AdapterSwitch;
class CanLink;
class Clock;
class Dialogs;
class ErrorLog;
class LineListModel;
class LogPlayback;
class MessageLogger;
class MonitorController;
class MonitorStatus;
class PollTimer;
class SettingsStore;

// What the main window works with; all of it outlives the window.
struct MainWindowParts {
    Clock& clock;
    SettingsStore& settings;
    CanLink& link;
    PollTimer& pollTimer;
    MonitorController& monitor;
    MonitorStatus& monitorStatus;
    LineListModel& monitorList;
    LogPlayback& playback;
    MessageLogger& logger;
    ErrorLog& errorLog;
    QString dataFolder;     // ends in "/"
    QString filesFolder;    // help/ lies here (see programFilesFolder)
    std::function<QDateTime()> now;
    Dialogs& dialogs;
    AdapterSwitch* adapters = nullptr;  // the Adapter menu; none without
    // The menu of the database signals chosen in the bus trace (plots, recordings).
    std::function<void(QMenu&, const std::vector<dbc::SignalRef>&)> signalMenu;
};

// What closing a child window does: deletes it (a board's window), or hides it
// to be shown again (the windows the program keeps for the whole run).
enum class ChildLifetime { DeletedOnClose, HiddenOnClose };

// Child windows whose size the program sets: no maximise button.
inline constexpr Qt::WindowFlags kFixedSizeWindow = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
    | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// Main: the multi-document frame that holds every other window, the link's
// poll timer, Help and Exit.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(MainWindowParts parts, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Main window load: caption, monitor, save log name; then shown maximised.
    void open();

    QMdiArea* mdiArea() const { return m_mdi; }
    MonitorWindow* monitorWindow() const { return m_monitorWindow; }
    ErrorListWindow* errorListWindow() const { return m_errorWindow; }
    HelpWindow* helpWindow() const { return m_helpWindow; }
    TraceWindow* traceWindow() const { return m_traceWindow; }
    TransmitWindow* transmitWindow() const { return m_transmitWindow; }
    QString saveLogFile() const { return m_saveLogFile; }

    // HelpContents.
    void showHelp();
    // View > Bus Trace: made the first time, shown again after that.
    void showTrace();
    // View > Transmit: made the first time (with the list of the last run), shown again after that.
    void showTransmit();
    // Exit: stop polling and sending and end at once, without any window's closing steps.
    void exitNow();
    // The error list shows (made on first use, shown again after it was closed).
    void showErrorList();

    // Adds a child window, outer size kept by the child itself.
    QMdiSubWindow* addChild(QWidget* child, Qt::WindowFlags flags = {},
                            ChildLifetime lifetime = ChildLifetime::DeletedOnClose);
    // Adds a board window at the next free place of a cascade beside the monitor.
    void addBoardWindow(QWidget* window);
    // Moves a new child window (sized already) to a free place.
    void placeNewWindow(QWidget& window);
    // Moves a new child window (sized already) to its kept place when that is
    // given and clear of the windows listed, else to a free place.
    void placeChild(QMdiSubWindow& sub, std::optional<QPoint> kept = std::nullopt,
                    const QList<const QMdiSubWindow*>& clearOf = {});
    // A size the frame shows whole: at most the frame, at least the minimum.
    QSize fittedToFrame(const QSize& size, const QSize& minimum) const;
    // Moves a child window whose title bar lies outside the frame's visible
    // part back into it.
    void keepInView(QMdiSubWindow* sub);

signals:
    // The run ends; the app quits its event loop.
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void buildMenus();
    void fillAdapterMenu();
    // Where a new window of this size goes: the first free place, else a cascade.
    QPoint freePlaceFor(const QSize& size);
    // Shows a resizable window the program keeps for the run and makes it the
    // active one. Not yet a child (made just now): added, hidden on close,
    // given its starting size, then its size and place kept under `section`,
    // else a free place.
    void showKeptWindow(MdiChild& window, const QString& section, int widthTwips, int heightTwips, QSize minimum);
    void announceFinished();

    MainWindowParts m_parts;
    QMdiArea* m_mdi;
    QPointer<MonitorWindow> m_monitorWindow;
    QPointer<ErrorListWindow> m_errorWindow;
    QPointer<HelpWindow> m_helpWindow;
    QPointer<TraceWindow> m_traceWindow;
    QPointer<TransmitWindow> m_transmitWindow;
    QMenu* m_adapterMenu = nullptr;
    QString m_saveLogFile;
    int m_cascade = 0;
    bool m_loaded = false;
    bool m_closing = false;
    bool m_finished = false;
};

}  // namespace tellvane
