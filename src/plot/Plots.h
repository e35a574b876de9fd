#pragma once

#include "diagnostics/ScreenMenu.h"
#include "plot/BoardTap.h"
#include "signals/SignalRef.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tellvane {

class BoardWindow;
class CanLink;
class Dialogs;
class PlotSeries;
class PlotWindow;
class SignalTap;
class ValueRecorder;

// What the plots work with.
struct PlotsServices {
    Dialogs& dialogs;
    QString folder;  // where exports are offered to go
    // A free file name for a recording of a board ("1201-0003_33").
    std::function<QString(const QString& board)> recordingFileName;
    // Puts a new plot window into the main window and shows it.
    std::function<void(PlotWindow&)> showWindow;
    // Where the signals of databases are read: every frame it sends or receives.
    CanLink* link = nullptr;
};

// The plots and recordings of the boards' diagnostic values: the menu of a
// board window's screen (Plot, Plot in, Record, Stop recording), the plot
// windows, and for each board whose values are plotted or recorded the tap
// its screen hands them to. A screen with neither has no observer.
//
// Beside them, the signals of the databases loaded in the bus trace, read
// from every frame the link sends or receives (SignalTap): plotted in the
// same windows, on the same time lines, and recorded to a CSV file of their
// own, whether the trace window is open or not.
class Plots final : public QObject, public ScreenMenu {
    Q_OBJECT

public:
    explicit Plots(PlotsServices services, QObject* parent = nullptr);
    ~Plots() override;

    void fillScreenMenu(QMenu& menu, BoardWindow& window, int cntrlIndex) override;

    // Plots an indicator of a board window's screen: in `into` while it takes
    // more lines, else in a new plot window. Null when the control is no
    // lamp or value box, or the window is not in diagnostic mode.
    PlotWindow* plot(BoardWindow& window, int cntrlIndex, PlotWindow* into = nullptr);

    // Record: every value the board window's screen decodes, to a new file.
    bool startRecording(BoardWindow& window);
    void stopRecording(BoardWindow& window);
    // The recording of a board window under way; null for none.
    const ValueRecorder* recording(const BoardWindow& window) const;

    // The plot windows open, oldest first.
    std::vector<PlotWindow*> windows() const;
    // Whether a board window's screen has an observer of ours.
    bool observes(const BoardWindow& window) const;

    // "1201-0003_33": style, variant and address, for file names.
    static QString boardTag(const BoardWindow& window);

    // Plots a signal of a database: in `into` while it takes more lines,
    // else in a new plot window; null for a signal that is not valid.
    PlotWindow* plotSignal(const dbc::SignalRef& signal, PlotWindow* into = nullptr);
    // Records every value of these signals to a new file ("Signals" in its
    // name); one recording of signals at a time.
    bool startSignalRecording(const std::vector<dbc::SignalRef>& signalList);
    void stopSignalRecording();
    const ValueRecorder* signalRecording() const;
    // Whether the signals' tap listens to the link (it does while it feeds anything).
    bool readsSignals() const { return m_signalTapListening; }
    // The menu of signals chosen in the bus trace: Plot, Plot in, Record or Stop recording.
    void fillSignalMenu(QMenu& menu, const std::vector<dbc::SignalRef>& signalList);

private:
    BoardTap& tapFor(BoardWindow& window);
    BoardTap* findTap(const BoardWindow& window) const;
    void tapClosed(BoardTap& tap);
    void tapRebuilt(BoardTap& tap, const std::vector<BoardTap::Kept>& kept, const std::vector<PlotSeries*>& ended);
    // The series' screen went: its line stays in its window, marked ended.
    void endSeries(PlotSeries* series);
    // Takes a tap off its screen, deleted once the call it is in has returned.
    void retire(BoardTap& tap);
    void seriesGone(PlotSeries* series);
    // Takes the tap off the screen when it has nothing left to feed.
    void releaseIfIdle(BoardTap* tap);
    PlotWindow* newWindow();
    void showPlot(PlotWindow& window);
    // Listens to the link while the signals' tap has anything to feed.
    void updateSignalTap();
    // "Plot in": a submenu of the plot windows open (none: no submenu).
    void addPlotInMenu(QMenu& menu, std::function<void(PlotWindow*)> plotInto);
    void addStopRecordingAction(QMenu& menu, const ValueRecorder& recorder, std::function<void()> stop);

    PlotsServices m_services;
    std::map<BoardWindow*, std::unique_ptr<BoardTap>> m_taps;
    std::vector<std::unique_ptr<BoardTap>> m_closedTaps;  // deleted once their call has returned
    std::map<PlotSeries*, std::pair<BoardTap*, QPointer<PlotWindow>>> m_fed;
    std::vector<QPointer<PlotWindow>> m_windows;
    int m_nextNumber = 1;
    std::unique_ptr<SignalTap> m_signalTap;
    bool m_signalTapListening = false;
    std::map<PlotSeries*, QPointer<PlotWindow>> m_signalFed;
};

}  // namespace tellvane
