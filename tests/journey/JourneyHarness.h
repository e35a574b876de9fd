#pragma once

#include "AppTestSupport.h"
#include "ProgramTimers.h"
#include "ToolFrames.h"

#include <QMdiSubWindow>
#include <QPoint>
#include <QPointer>
#include <QStyle>

#include <functional>
#include <memory>
#include <optional>

class QAbstractItemView;
class QAction;
class QListWidget;
class QMenu;

namespace tellvane {
class BoardWindow;
class DownloaderWindow;
class SimAdapter;
class SimBoard;
}  // namespace tellvane

namespace tellvane::test {

// The whole program as a technician meets it: the real composition root on the
// simulated bench, its main window open, driven only by mouse and key events
// on the real widgets. After every step the event loop runs and deferred
// deletes are done, as when control returns to the program's event loop. Time
// passes only on the fake clock; the program's timers fire on it.
class JourneyHarness : public AppHarness {
public:
    // The bench (the simulated boards) as its text; the shipped bench when empty.
    // With a preview file, the program starts as for --preview: one board
    // animating that file's screen.
    explicit JourneyHarness(const QString& benchText = {}, const QString& previewFile = {});
    ~JourneyHarness();

    // --- Time and the event loop.
    // Runs the event loop until nothing is left to do; deferred deletes included
    // when called from the test itself (not from inside a yield of the program).
    void settle();
    // Lets ms of fake time pass in 25 ms steps; the program's timers (the link's
    // poll among them) fire when due, and the event loop runs after each step.
    void pass(int ms);
    // Fires the timers due now and lets the event loop run (what a yield of the program sees).
    void runDueTimers();
    // A timer of a window the program makes later, to fire on the fake clock too.
    void watchTimer(const QTimer& timer);

    // --- Input. Each returns false (and fails the test) when the target cannot
    // be used as asked, and settles afterwards.
    bool click(QWidget* widget, QPoint at = {});
    bool clickButton(QWidget* window, const char* objectName);
    bool clickRow(QAbstractItemView* view, int row);
    // A key to whoever takes it: an open menu, else the focus widget, else the active window.
    void key(int key, Qt::KeyboardModifiers modifiers = {});
    QWidget* keyTarget() const;
    // The close box in the title bar of the child window holding `window`.
    bool closeBox(QWidget* window);
    // Drags the child window holding `window` by its title bar.
    bool dragTitleBar(QWidget* window, QPoint by);
    // Close from the system menu of the title bar.
    bool closeFromSystemMenu(QWidget* window);
    // The maximise button in the title bar.
    bool maximiseBox(QWidget* window);
    // Clicks an entry of an open menu, by object name or text.
    bool clickMenuEntry(QMenu* menu, const QString& entry);
    // Opens a menu of the menu bar by a click on its title, then clicks the entry.
    bool chooseFromMenu(const char* menuObjectName, const QString& actionObjectName);

    // --- What is on the screen (shown windows only).
    QList<QMdiSubWindow*> shownSubWindows() const;
    template <typename T>
    QList<T*> shownWindows() const
    {
        QList<T*> windows;
        for (QMdiSubWindow* sub : shownSubWindows()) {
            if (auto* w = qobject_cast<T*>(sub->widget()))
                windows.append(w);
        }
        return windows;
    }
    template <typename T>
    T* shownWindow() const
    {
        return shownWindows<T>().value(0);
    }
    QList<BoardWindow*> boardWindows() const { return shownWindows<BoardWindow>(); }
    BoardWindow* boardWindow(const QString& title) const;
    DownloaderWindow* downloaderWindow() const;
    // The downloader's information list and its lines.
    QListWidget* infoList() const;
    QStringList infoLines() const;
    QString downloaderStatus() const;

    // --- The simulated bench in use (null when another adapter is in use).
    SimAdapter* bench() const;
    SimBoard* simBoard(int address) const;
    const ToolFrames* toolFrames() const;

    // A firmware file written under the temporary folder.
    QString writeFirmware(const QString& name, const QByteArray& text);

    // Runs the event loop until the system has told the board window's watcher
    // of a change to its screen's files, then lets the settling time pass (its
    // settle timer watched).
    bool settleScreenFiles(BoardWindow* window);

    // Ends the program (destroys the composition root) and lets the event loop run.
    void endProgram();
    // Ends the program and starts it again on a new bench, with the same settings and folders.
    void restartProgram();

    // Delivers input the caller makes up (the monkey's); no settling.
    void deliver(const std::function<void()>& input);
    // The pointer comes to rest at a point of the widget; false when the widget
    // went away meanwhile.
    static bool hover(QWidget* widget, QPoint at);
    // Hovers, then clicks there; false when the widget went away.
    static bool clickAt(QWidget* widget, QPoint at);
    // Presses at a point of the title bar, moves by `by`, releases.
    static void dragFrom(QMdiSubWindow* sub, QPoint at, QPoint by);
    // The entry of a menu with this object name or this text (without its '&').
    static QAction* entryNamed(const QMenu* menu, const QString& name);

    static QString describe(const QObject* object);
    // The window of a kind a widget lies in; null for none.
    template <typename T>
    static T* enclosing(QWidget* widget)
    {
        for (QWidget* w = widget; w; w = w->parentWidget()) {
            if (auto* found = qobject_cast<T*>(w))
                return found;
        }
        return nullptr;
    }
    static QMdiSubWindow* subWindowOf(QWidget* widget) { return enclosing<QMdiSubWindow>(widget); }
    // Where a part of a child window's title bar lies (the close box, the system menu).
    static QPoint titleBarPoint(QMdiSubWindow* sub, QStyle::SubControl part);
    // The pointer at that point would land on the widget, not on a window over it.
    static bool reachable(QWidget* widget, QPoint at);
    // A click on a free part of the title bar: the window comes to the front.
    bool bringToFront(QMdiSubWindow* sub);
    // A point of the title bar's caption that the pointer can reach; null when it is all covered.
    static std::optional<QPoint> freeTitleBarPoint(QMdiSubWindow* sub);

private:
    // A click that lets the event loop run afterwards.
    void press(QWidget* widget, QPoint at);
    // A part of the title bar of the child window holding `window`, clicked.
    bool pressTitleBar(QWidget* window, QStyle::SubControl part);
    template <typename T>
    T* node(const std::function<bool(const T&)>& wanted) const;
    std::unique_ptr<Adapter> makeBench();
    void startProgram();

    QString m_benchText;
    std::unique_ptr<ProgramTimers> m_timers;
    int m_depth = 0;  // inputs and settling loops running, one inside the other
};

}  // namespace tellvane::test
