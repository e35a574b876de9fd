#pragma once

#include "diagnostics/ScreenMenu.h"
#include "plot/BoardTap.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tellvane {

class BoardWindow;
class Dialogs;
class PlotSeries;
class PlotWindow;
class ValueRecorder;

// What the plots work with.
struct PlotsServices {
    Dialogs& dialogs;
    QString folder;  // where exports are offered to go
    // A free file name for a recording of a board ("1201-0003_33").
    std::function<QString(const QString& board)> recordingFileName;
    // Puts a new plot window into the main window and shows it.
    std::function<void(PlotWindow&)> showWindow;
};

// The plots and recordings of the boards' diagnostic values: the menu of a
// board window's screen (Plot, Plot in, Record, Stop recording), the plot
// windows, and for each board whose values are plotted or recorded the tap
// its screen hands them to. A screen with neither has no observer.
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

    PlotsServices m_services;
    std::map<BoardWindow*, std::unique_ptr<BoardTap>> m_taps;
    std::vector<std::unique_ptr<BoardTap>> m_closedTaps;  // deleted once their call has returned
    std::map<PlotSeries*, std::pair<BoardTap*, QPointer<PlotWindow>>> m_fed;
    std::vector<QPointer<PlotWindow>> m_windows;
    int m_nextNumber = 1;
};

}  // namespace tellvane
