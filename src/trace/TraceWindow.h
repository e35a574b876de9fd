#pragma once

#include "trace/BusLoad.h"
#include "trace/IdentifierStats.h"
#include "trace/TraceDatabases.h"
#include "trace/TraceRecorder.h"
#include "trace/TraceRing.h"
#include "trace/TraceView.h"
#include "ui/MdiChild.h"

#include <functional>
#include <vector>

class QAbstractItemView;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSortFilterProxyModel;
class QTabWidget;
class QStackedWidget;
class QTableView;
class QTableWidget;
class QTimer;

namespace tellvane {

class CanLink;
class Clock;
class Dialogs;
class IdentifierStatsModel;
class SettingsStore;
class SignalListModel;
class TraceReplayBar;
class TraceTableModel;

// What the trace window works with.
struct TraceWindowServices {
    CanLink& link;
    Clock& clock;      // times the replay
    Dialogs& dialogs;  // the logs to replay and export, the question before sending
    QString folder;    // where the file dialogs start
    SettingsStore* settings = nullptr;  // the signal databases loaded, for the next start
    // Fills the menu of signals chosen in the panes (Plot, Record); none: no menu.
    std::function<void(QMenu&, const std::vector<dbc::SignalRef>&)> signalMenu;
};

// "Bus Trace": every frame the link sends or receives while the window is
// open, in a table over a ring of the newest million, beside the monitor and
// never in its way. A filter picks the frames shown (the ring keeps them all),
// Pause freezes the table while recording goes on, "Per identifier" shows one
// row per identifier instead, Find moves to the next or previous frame that
// passes a second expression, Ctrl+C copies the selected frames as message
// lines (and Ctrl+T into the transmit list), and the status line tells the frames a second and the bus load.
// Signal databases (DBC) loaded with "Databases..." name the frames' messages
// in a column of both tables and decode the selected frame's signals in a pane
// below; "msg=" filters by them. They are remembered for the next start.
// The pane's second page lists every signal of them; from either, signals are
// plotted and recorded through the menu of the signals chosen.
// Below, a log can be replayed into the program or onto the bus, the ring
// exported whole, as filtered or as selected, and its size chosen.
class TraceWindow : public MdiChild {
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 15600;
    static constexpr int kHeightTwips = 7200;
    static constexpr int kRefreshMs = 100;
    // How late a frame may be drained after its time.
    static constexpr std::int64_t kLateFramesUs = 100'000;
    // The least it can be made, in pixels: the rows of controls still fit.
    static constexpr QSize kMinimumSize{560, 300};

    // The ring sizes offered, the default among them.
    static constexpr std::size_t kRingSizes[] = {100'000, 1'000'000, 2'000'000, 5'000'000, 10'000'000};

    explicit TraceWindow(TraceWindowServices services, QWidget* parent = nullptr);
    ~TraceWindow() override;

    const TraceRing& ring() const { return m_ring; }
    bool recording() const { return m_recording; }
    // What brings the tables up to date while the window is open.
    const QTimer& refreshTimer() const { return *m_timer; }
    const TraceReplayBar& replay() const { return *m_replay; }
    const TraceDatabases& databases() const { return m_databases; }

    // The settings section that keeps the databases' files.
    static constexpr const char* kDatabasesSection = "BusTraceDatabases";

signals:
    // "Copy to Transmit": the selected rows' data frames, oldest first.
    void copyToTransmit(const std::vector<TraceFrame>& frames);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void build(Clock& clock);
    // Keep (the ring's size) and Export, at the end of a row.
    void addRingControls(QHBoxLayout* row);
    void setRecording(bool on);
    void applyFilter();
    void find(bool forward);
    void refresh();
    void clear();
    void copySelection();
    void copySelectionToTransmit();
    // The frames of the selected rows, oldest first.
    std::vector<TraceFrame> selectedFrames() const;
    void showStatus();
    void setRingSize(std::size_t frames);
    enum class Export { All, Shown, Selected };
    void exportFrames(Export what);
    // Databases: one more from the file dialog, the remembered ones, none.
    QHBoxLayout* buildDatabaseRow();
    void addDatabase();
    void loadDatabases(const QStringList& files, bool remember);
    void unloadDatabases();
    void databasesChanged(const QStringList& reports, bool remember);
    void showSignals();
    void showSignalList();
    void showSignalMenu(QAbstractItemView* view, QPoint at);

    CanLink& m_link;
    Dialogs& m_dialogs;
    QString m_folder;
    SettingsStore* m_settings = nullptr;
    TraceDatabases m_databases;
    TraceRing m_ring;
    TraceView m_view{m_ring};
    IdentifierStats m_stats;
    BusLoad m_load;
    TraceRecorder m_recorder{m_ring};
    bool m_recording = false;

    TraceTableModel* m_tableModel = nullptr;
    IdentifierStatsModel* m_identifierModel = nullptr;
    QLineEdit* m_filter = nullptr;
    QLabel* m_filterError = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_perIdentifier = nullptr;
    QLineEdit* m_search = nullptr;
    QStackedWidget* m_pages = nullptr;
    QTableView* m_table = nullptr;
    QTableView* m_identifiers = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_exported = nullptr;
    QComboBox* m_keep = nullptr;
    TraceReplayBar* m_replay = nullptr;
    QWidget* m_databaseRow = nullptr;
    QLabel* m_databaseList = nullptr;
    std::function<void(QMenu&, const std::vector<dbc::SignalRef>&)> m_signalMenu;
    QTabWidget* m_signalTabs = nullptr;
    QLineEdit* m_signalFilter = nullptr;
    QTableView* m_allSignals = nullptr;
    SignalListModel* m_signalList = nullptr;
    QSortFilterProxyModel* m_signalListFilter = nullptr;
    QTableWidget* m_signals = nullptr;
    std::vector<dbc::SignalRef> m_frameSignals;  // the rows of m_signals
    QTimer* m_timer = nullptr;
};

}  // namespace tellvane
