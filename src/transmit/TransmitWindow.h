#pragma once

#include "logs/TraceFrame.h"
#include "transmit/TransmitScheduler.h"
#include "ui/MdiChild.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;

namespace tellvane {

class Adapter;
class CanLink;
class Clock;
class Dialogs;
class SettingsStore;
class TransmitModel;

// What the transmit window works with; all of it outlives the window.
struct TransmitWindowServices {
    CanLink& link;
    Clock& clock;        // the scheduler's
    Dialogs& dialogs;    // the question before the first send, the list files
    SettingsStore& settings;  // the recent lists
    QString dataFolder;  // ends in "/": the working copy lies here, the file dialogs start here
};

// "Transmit": a list of frames sent by hand (Send now, the selected rows once)
// and on their periods (Start), through the link's one path for the tool's
// frames, so that the monitor and the Bus Trace show them as sent. Nothing
// goes out before the technician asks, the first send of a run is confirmed,
// and sending stops at once (Stop all, Escape) and by itself when the window
// closes, the adapter is switched, the link is lost or the program ends. The
// list is a file of its own; the working copy comes back at the next start.
class TransmitWindow : public MdiChild {
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 15300;
    static constexpr int kHeightTwips = 6000;
    static constexpr QSize kMinimumSize{560, 240};
    // The counts and marks of the rows are brought up to date at most this often.
    static constexpr int kRefreshMs = 100;
    static constexpr int kMaxRecent = 8;
    // The bus the link configures: 250 kbit/s.
    static constexpr int kBitRate = 250'000;
    static inline const QString kSection = QStringLiteral("Transmit");
    static inline const QString kWorkingCopyName = QStringLiteral("TransmitList.json");

    explicit TransmitWindow(TransmitWindowServices services, QWidget* parent = nullptr);
    ~TransmitWindow() override;

    const TransmitModel& model() const { return *m_model; }
    const TransmitScheduler& scheduler() const { return m_scheduler; }
    bool sending() const { return m_scheduler.running(); }
    // What waits for the next frame's time.
    const QTimer& sendTimer() const { return *m_timer; }
    QString statusText() const;
    // The list file the rows belong to; empty for a list never saved.
    QString fileName() const { return m_fileName; }
    QStringList recentFiles() const { return m_recent; }
    QString workingCopyFile() const { return m_dataFolder + kWorkingCopyName; }

    // Rows for frames copied from the bus trace (data frames only), appended.
    void appendFrames(const std::vector<TraceFrame>& frames);
    // Stops all sending because of why (shown in the status line): nothing goes out after this.
    void stopSending(const QString& why);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void build();
    void buildFileMenu(QMenu* file);
    void fillRecentMenu();
    void addRow();
    void removeRows();
    void sendNow();
    void start();
    void stopAll();
    // The link can take frames now, and the technician said so once this run.
    bool readyToSend();
    // Sends what is due and sets the timer for what comes next.
    void tick();
    void refreshRows(bool now);
    void setStatus(const QString& text);
    void showFile();
    QList<int> selectedRows() const;

    void newList();
    void openList();
    void openFile(const QString& file);
    void save();
    void saveAs();
    bool saveTo(const QString& file);
    void noteRecent(const QString& file);
    void keepWorkingCopy();
    void restoreWorkingCopy();
    void listReplaced(std::vector<TransmitRow> rows, const QString& file);

    CanLink& m_link;
    Clock& m_clock;
    Dialogs& m_dialogs;
    SettingsStore& m_settings;
    QString m_dataFolder;
    QString m_folder;  // where the file dialogs start
    TransmitScheduler m_scheduler;
    const Adapter* m_startedOn = nullptr;
    bool m_confirmed = false;
    QString m_fileName;
    bool m_modified = false;
    QStringList m_recent;
    std::int64_t m_refreshedUs = 0;

    TransmitModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    QLabel* m_status = nullptr;
    QLabel* m_file = nullptr;
    QTimer* m_timer = nullptr;
};

}  // namespace tellvane
