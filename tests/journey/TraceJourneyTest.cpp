// Journeys through the bus trace: opened from the View menu, filtered with
// typed expressions, paused, closed and opened again; logs replayed into the
// program and onto the bus; the ring exported and resized; with real input.

#include "../trace/TraceSamples.h"
#include "Session.h"

#include "can/CanLink.h"
#include "core/DataFolder.h"
#include "plot/PlotSeries.h"
#include "plot/PlotWindow.h"
#include "plot/Plots.h"
#include "sim/SimAdapter.h"
#include "trace/ChangedBytesDelegate.h"
#include "trace/IdentifierStatsModel.h"
#include "trace/TraceRecorder.h"
#include "trace/TraceReplayBar.h"
#include "trace/TraceTableModel.h"
#include "trace/TraceWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QTabBar>
#include <QTabWidget>
#include <QMenu>
#include <QStandardItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QMenuBar>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

using namespace tellvane;
using namespace tellvane::test;

namespace {

class TraceJourney : public Session {
protected:
    TraceWindow* trace() const { return h->main().traceWindow(); }
    // View > Bus Trace; its tables follow on the fake clock.
    void openTrace()
    {
        ASSERT_TRUE(h->chooseFromMenu("View", QStringLiteral("ViewBusTrace")));
        ASSERT_NE(trace(), nullptr);
        h->watchTimer(trace()->refreshTimer());
    }
    QString replayState() const { return trace()->findChild<QLabel*>(QStringLiteral("TraceReplayStatus"))->text(); }
    // "Replay log...", the file chosen in the dialog.
    void replay(const QString& path)
    {
        h->dialogs.fileAnswers = {path};
        h->watchTimer(trace()->replay().timer());
        ASSERT_TRUE(h->clickButton(trace(), "TraceReplayOpen"));
    }
    // One of the Export button's entries, the file named in the save dialog.
    void exportAs(const char* entry, const QString& path)
    {
        h->dialogs.saveAnswers = {path};
        ASSERT_TRUE(h->clickButton(trace(), "TraceExport"));
        auto* menu = trace()->findChild<QMenu*>(QStringLiteral("TraceExportMenu"));
        ASSERT_TRUE(h->clickMenuEntry(menu, QString::fromLatin1(entry)));
    }
    // The times of the frames the trace keeps that are wanted.
    std::vector<std::int64_t> tracedTimes(const std::function<bool(const TraceFrame&)>& wanted) const
    {
        std::vector<std::int64_t> times;
        const TraceRing& ring = trace()->ring();
        for (std::uint64_t seq = ring.firstSequence(); seq < ring.endSequence(); ++seq) {
            if (wanted(ring.bySequence(seq)))
                times.push_back(ring.bySequence(seq).timeUs);
        }
        return times;
    }
    std::vector<std::int64_t> tracedTimes(std::uint32_t id) const
    {
        return tracedTimes([id](const TraceFrame& f) { return f.id == id; });
    }
    QTableView* table() const { return trace()->findChild<QTableView*>(QStringLiteral("TraceTable")); }
    int rows() const { return table()->model()->rowCount(); }
    QString cell(int row, int column) const { return table()->model()->index(row, column).data().toString(); }
    // Types into a box of the window over what it held, as a technician does, and Return.
    void typeInto(const char* box, const char* text)
    {
        auto* widget = trace()->findChild<QWidget*>(QString::fromLatin1(box));
        ASSERT_TRUE(h->click(widget));
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(widget, QString::fromLatin1(text));
        h->key(Qt::Key_Return);
    }
    // A right-click on a row of a table, as the window system reports it; the menu it opens.
    QMenu* rightClickRow(QAbstractItemView* view, int row)
    {
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        h->deliver([&] { QApplication::sendEvent(view->viewport(), &event); });
        h->settle();
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    // A filter typed and applied; the table follows on its refresh.
    void typeFilter(const char* text)
    {
        typeInto("TraceFilter", text);
        h->pass(2 * TraceWindow::kRefreshMs);
    }
};

// Opened from the View menu it records; Find and the per-identifier table move
// with the keys and buttons; it filters, pauses, copies, and comes back with
// what it kept; it follows the newest frame, clears, grows and keeps its size;
// the controller's troubles show in its status line.
TEST_F(TraceJourney, FromTheViewMenuItRecordsFindsFiltersPausesFollowsGrowsAndComesBack)
{
    openTrace();
    EXPECT_EQ(h->shownWindow<TraceWindow>(), trace());
    EXPECT_TRUE(trace()->recording());
    h->pass(3000);  // the boards' broadcasts, every half second
    const int all = rows();
    ASSERT_GE(all, 5);

    typeInto("TraceSearch", "pgn=FEF1");
    const int first = table()->currentIndex().row();
    ASSERT_GE(first, 0);
    EXPECT_EQ(cell(first, TraceTableModel::Pgn), QStringLiteral("FEF1"));
    ASSERT_TRUE(h->clickButton(trace(), "TraceFindNext"));
    const int second = table()->currentIndex().row();
    EXPECT_GT(second, first);
    EXPECT_EQ(cell(second, TraceTableModel::Pgn), QStringLiteral("FEF1"));
    ASSERT_TRUE(h->clickButton(trace(), "TraceFindPrevious"));
    EXPECT_EQ(table()->currentIndex().row(), first);

    ASSERT_TRUE(h->clickButton(trace(), "TracePerIdentifier"));
    auto* identifiers = trace()->findChild<QTableView*>(QStringLiteral("TraceIdentifiers"));
    EXPECT_TRUE(identifiers->isVisible());
    EXPECT_FALSE(table()->isVisible());
    // Every frame since the window opened was one board's broadcast: one row
    // that counts them all, half a second apart.
    ASSERT_EQ(identifiers->model()->rowCount(), 1);
    const QAbstractItemModel* m = identifiers->model();
    EXPECT_EQ(m->index(0, IdentifierStatsModel::Identifier).data().toString(), QStringLiteral("18FEF100"));
    EXPECT_EQ(m->index(0, IdentifierStatsModel::Count).data().toInt(), rows());
    EXPECT_EQ(m->index(0, IdentifierStatsModel::Period).data().toString(), QStringLiteral("500.0"));
    ASSERT_TRUE(h->clickButton(trace(), "TracePerIdentifier"));
    EXPECT_TRUE(table()->isVisible());

    typeFilter("pgn=FEF1 rx");
    ASSERT_GT(rows(), 0);
    EXPECT_LT(rows(), all + 6);
    for (int r = 0; r < rows(); ++r) {
        EXPECT_EQ(cell(r, TraceTableModel::Pgn), QStringLiteral("FEF1")) << r;
        EXPECT_EQ(cell(r, TraceTableModel::Direction), QStringLiteral("Rx")) << r;
    }
    const int filtered = rows();

    // A filter that does not parse is named and the one before stays.
    typeFilter("rx prio=9");
    auto* error = trace()->findChild<QLabel*>(QStringLiteral("TraceFilterError"));
    EXPECT_TRUE(error->isVisible());
    EXPECT_TRUE(error->text().contains(QStringLiteral("prio"))) << error->text().toStdString();
    EXPECT_TRUE(error->text().contains(QStringLiteral("pgn=FEF1 rx"))) << "the filter that stays";
    EXPECT_GE(rows(), filtered);

    // Paused, the table stands still while recording goes on behind it.
    ASSERT_TRUE(h->clickButton(trace(), "TracePause"));
    const int frozen = rows();
    const std::size_t keptBefore = trace()->ring().size();
    h->pass(2000);
    EXPECT_EQ(rows(), frozen);
    EXPECT_GT(trace()->ring().size(), keptBefore);
    ASSERT_TRUE(h->clickButton(trace(), "TracePause"));
    h->pass(2 * TraceWindow::kRefreshMs);
    EXPECT_GT(rows(), frozen) << "resumed at the newest frame";

    // Rows selected by the mouse and copied with Ctrl+C as message lines.
    ASSERT_TRUE(h->clickRow(table(), 0));
    h->key(Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QStringLiteral(" 18FEF1"))) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith(QStringLiteral("\r\n")));

    // Closed, it records nothing; opened again it is the same window with what it kept.
    const std::size_t kept = trace()->ring().size();
    ASSERT_TRUE(h->closeBox(trace()));
    EXPECT_FALSE(trace()->recording());
    h->pass(2000);
    EXPECT_EQ(trace()->ring().size(), kept);
    openTrace();
    EXPECT_TRUE(trace()->isVisible());
    EXPECT_TRUE(trace()->recording());
    h->pass(1000);
    EXPECT_GT(trace()->ring().size(), kept);

    // The table follows the newest frame like a terminal unless the technician
    // scrolls up; Clear starts afresh; the window is resized by its corner and
    // maximised from its title bar, and keeps its size when opened again.
    h->pass(20'000);
    QScrollBar* bar = table()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "more rows than the window shows";
    EXPECT_EQ(bar->value(), bar->maximum()) << "at the newest frame";
    ASSERT_TRUE(h->clickRow(table(), rows() - 1));
    h->key(Qt::Key_Home, Qt::ControlModifier);
    h->pass(2000);
    EXPECT_EQ(bar->value(), 0) << "scrolled up, the table stays where the technician reads";
    h->key(Qt::Key_End, Qt::ControlModifier);
    h->pass(2000);
    EXPECT_EQ(bar->value(), bar->maximum()) << "back at the bottom, it follows again";

    ASSERT_TRUE(h->clickButton(trace(), "TraceClear"));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(trace()->ring().size(), 0u);
    h->pass(1000);
    EXPECT_GT(rows(), 0);

    QMdiSubWindow* sub = trace()->subWindow();
    const QSize before = sub->size();
    h->deliver([&] { JourneyHarness::dragFrom(sub, QPoint(sub->width() - 2, sub->height() - 2), QPoint(60, 40)); });
    h->settle();
    EXPECT_EQ(sub->size(), before + QSize(60, 40)) << "dragged by its corner";
    const QSize resized = sub->size();
    ASSERT_TRUE(h->maximiseBox(trace()));
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_EQ(sub->size(), sub->parentWidget()->size()) << "it fills the frame";
    EXPECT_GT(table()->height(), resized.height() - 200) << "the table takes the room";
    ASSERT_TRUE(h->closeBox(trace()));
    EXPECT_EQ(h->settings.value(QStringLiteral("BusTrace"), QStringLiteral("Maximized")), QStringLiteral("1"));
    openTrace();
    EXPECT_TRUE(trace()->subWindow()->isMaximized());
    // Maximised, its system menu sits in the menu bar: Restore from there.
    QWidget* systemMenu = h->main().menuBar()->cornerWidget(Qt::TopLeftCorner);
    ASSERT_NE(systemMenu, nullptr);
    ASSERT_TRUE(h->click(systemMenu));
    ASSERT_TRUE(h->clickMenuEntry(qobject_cast<QMenu*>(QApplication::activePopupWidget()), QStringLiteral("Restore")));
    EXPECT_FALSE(sub->isMaximized());
    EXPECT_EQ(sub->size(), resized) << "its own size again";

    // The controller's troubles as the link check reads them, in the status line.
    auto* status = trace()->findChild<QLabel*>(QStringLiteral("TraceStatus"));
    EXPECT_TRUE(status->text().contains(QStringLiteral(" 0 errors, 0 overflows"))) << status->text().toStdString();
    h->bench()->raiseErrorFlags(SimAdapter::kFlagBusOff | SimAdapter::kFlagBuffer1);
    h->pass(1100);
    EXPECT_TRUE(status->text().contains(QStringLiteral(" 1 errors, 1 overflows"))) << status->text().toStdString();
}

// Half an hour of a technician's session on the fake clock: the trace opened
// late, the bus quiet for spells longer than the adapter's 134.2 s stamp turn
// (the monitor in file mode), and a log replayed into the program beside the
// live bus. The bus's times only go on and match the session's clock, the
// figures follow the clock, and the replay keeps its log's time line.
TEST_F(TraceJourney, HalfAnHourWithQuietSpellsAndAReplayBesideTheBus)
{
    MonitorWindow* monitor = h->main().monitorWindow();
    auto quietFor = [&](int seconds) {
        ASSERT_TRUE(h->clickButton(monitor, "ModePicture"));  // file mode: nothing is received
        h->clock.advanceMs(seconds * 1000);
        h->pass(1000);
    };
    quietFor(300);
    ASSERT_TRUE(h->clickButton(monitor, "ModePicture"));
    h->pass(1000);
    openTrace();
    h->pass(3000);
    auto* status = trace()->findChild<QLabel*>(QStringLiteral("TraceStatus"));
    const QAbstractItemModel* ids = trace()->findChild<QTableView*>(QStringLiteral("TraceIdentifiers"))->model();
    auto busTimes = [&] { return tracedTimes([](const TraceFrame& f) { return !f.replayed(); }); };
    // A cell of the board's broadcast's row, as the bus brought it or as a log replayed it.
    auto broadcast = [&](int column, int role = Qt::DisplayRole, const QString& direction = QStringLiteral("Rx")) {
        for (int r = 0; r < ids->rowCount(); ++r) {
            if (ids->index(r, IdentifierStatsModel::Identifier).data().toString() == QStringLiteral("18FEF100")
                && ids->index(r, IdentifierStatsModel::Direction).data().toString() == direction)
                return ids->index(r, column).data(role);
        }
        return QVariant();
    };
    ASSERT_FALSE(busTimes().empty());
    EXPECT_GT(busTimes().front(), 300'000'000) << "a listener that starts late sees the session's time";
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("2 frames a second"))) << status->text().toStdString();

    for (const int quiet : {200, 500, 1100}) {
        const std::int64_t before = busTimes().back();
        quietFor(quiet);
        EXPECT_TRUE(status->text().startsWith(QStringLiteral("0 frames a second, bus load 0.0 %"))) << status->text().toStdString();
        EXPECT_GE(broadcast(IdentifierStatsModel::SinceLast, IdentifierStatsModel::SortRole).toDouble(), quiet * 1000.0)
            << "since last grows on a silent bus";
        ASSERT_TRUE(h->clickButton(monitor, "ModePicture"));
        h->pass(2000);
        const std::vector<std::int64_t> times = busTimes();
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "never back, after " << quiet << " s";
        EXPECT_GE(times.back() - before, quiet * std::int64_t{1'000'000}) << quiet;
        EXPECT_LE(times.back(), h->app->link().sessionNowUs());
        EXPECT_GE(times.back(), h->app->link().sessionNowUs() - 600'000) << "within a broadcast of the clock";
        EXPECT_EQ(broadcast(IdentifierStatsModel::Period).toString(), QStringLiteral("500.0"));
    }
    EXPECT_GT(h->app->link().sessionNowUs(), std::int64_t{30} * 60 * 1'000'000);

    // Twenty frames 10 ms apart and a standard one, replayed beside the bus.
    QByteArray log = "(1700000000.000000) can0 7FF#01\n";
    for (int i = 0; i < 20; ++i)
        log += QStringLiteral("(1700000000.%1) can0 18FEF100#0102\n").arg(i * 10'000, 6, 10, QLatin1Char('0')).toLatin1();
    replay(writeFile(h->dir.filePath(QStringLiteral("beside.log")), log));
    h->pass(1000);
    ASSERT_FALSE(trace()->replay().playing());
    std::vector<std::pair<QString, QString>> replayed;  // time, identifier
    for (int r = 0; r < rows(); ++r) {
        if (cell(r, TraceTableModel::Direction) == QStringLiteral("Replay 1"))
            replayed.emplace_back(cell(r, TraceTableModel::Time), cell(r, TraceTableModel::Identifier));
    }
    ASSERT_EQ(replayed.size(), 21u);
    EXPECT_EQ(replayed.front(), std::make_pair(QStringLiteral("0.000000"), QStringLiteral("7FF"))) << "an 11-bit identifier stays one";
    EXPECT_EQ(replayed.back().first, QStringLiteral("0.190000")) << "the log's own time";
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("2 frames a second"))) << "the replay never was on the bus";
    EXPECT_EQ(broadcast(IdentifierStatsModel::Period).toString(), QStringLiteral("500.0")) << "the bus's own row";
    EXPECT_EQ(broadcast(IdentifierStatsModel::MeanPeriod, Qt::DisplayRole, QStringLiteral("Replay 1")).toString(),
              QStringLiteral("10.0"))
        << "a row of its own";

    // Looped, the log's time line goes on from pass to pass.
    ASSERT_TRUE(h->click(trace()->findChild<QCheckBox*>(QStringLiteral("TraceReplayLoop"))));
    replay(h->dir.filePath(QStringLiteral("beside.log")));
    h->pass(700);
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayStop"));
    const std::vector<std::int64_t> looped = tracedTimes([](const TraceFrame& f) { return f.line == 2; });
    ASSERT_GT(looped.size(), 42u) << "more than two passes";
    EXPECT_TRUE(std::is_sorted(looped.begin(), looped.end()));
    EXPECT_GT(looped.back(), 380'000);
}

// A log of announcements of boards the bench does not have, in candump's
// format, with a remote frame the program cannot take.
QByteArray announcementsLog()
{
    QByteArray log;
    const std::pair<int, const char*> at[] = {{40, "1700000000.000000"}, {41, "1700000000.500000"}};
    for (const auto& [address, time] : at) {
        const SimFrame frame = pumpAnnouncementAt(address);
        log += QByteArray("(") + time + ") can0 " + QByteArray::number(frame.id, 16).toUpper().rightJustified(8, '0') + '#'
            + QByteArray(reinterpret_cast<const char*>(frame.data.data()), frame.length).toHex().toUpper() + '\n';
    }
    log += "(1700000000.600000) can0 0CF00400#R\n";
    return log;
}

// The technician closes the trace window while the first replayed frame is
// still being handled (its board's window coming up): the replay stops there,
// the frame in hand finished with first. Opened again, the trace replays the
// log from its start, each frame at its recorded time.
TEST_F(TraceJourney, AReplayedLogReachesTheBoardsAndTheTraceAtItsRecordedTimes)
{
    openTrace();
    const QString path = writeFile(h->dir.filePath(QStringLiteral("announced.log")), announcementsLog());
    struct CloseOnBoardWindow final : QObject {
        QMdiSubWindow* trace = nullptr;
        int closed = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show && qobject_cast<BoardWindow*>(watched) && trace && trace->isVisible()) {
                trace->close();
                ++closed;
            }
            return false;
        }
    } closer;
    closer.trace = JourneyHarness::subWindowOf(trace());
    EXPECT_EQ(replayState(), QStringLiteral("No log replayed yet"));
    qApp->installEventFilter(&closer);
    replay(path);
    qApp->removeEventFilter(&closer);
    ASSERT_EQ(closer.closed, 1) << "the first frame plays at once, into the program as if received";
    EXPECT_TRUE(boardWindowAt(40));
    EXPECT_FALSE(trace()->isVisible());
    EXPECT_FALSE(trace()->replay().playing());
    h->pass(1000);
    EXPECT_FALSE(boardWindowAt(41)) << "nothing more is replayed after the window closed";

    openTrace();
    replay(path);
    EXPECT_TRUE(trace()->replay().playing());
    EXPECT_TRUE(replayState().startsWith(QStringLiteral("Replaying announced.log into the program"))) << replayState().toStdString();
    EXPECT_TRUE(h->dialogs.questions.empty()) << "playing into the program asks nothing";
    h->pass(400);
    EXPECT_FALSE(boardWindowAt(41)) << "the second frame waits for its time";
    h->pass(200);
    EXPECT_TRUE(boardWindowAt(41));
    EXPECT_FALSE(trace()->replay().playing());
    EXPECT_EQ(replayState(), QStringLiteral("Replayed announced.log into the program: 2 frames; 1 remote or error frames left out"));
    const std::uint32_t announcement40 = pumpAnnouncementAt(40).id;
    EXPECT_EQ(tracedTimes(announcement40), (std::vector<std::int64_t>{0, 0})) << "the frame's time in the log, both times";
    EXPECT_EQ(tracedTimes(announcement40 + 1), (std::vector<std::int64_t>{500'000}));

    // A file of no log format is named and nothing plays.
    replay(writeFile(h->dir.filePath(QStringLiteral("notes.doc")), "x"));
    ASSERT_EQ(h->dialogs.boxes.size(), 1u);
    EXPECT_TRUE(h->dialogs.boxes[0].text.startsWith(QStringLiteral("Cannot replay "))) << h->dialogs.boxes[0].text.toStdString();
    EXPECT_FALSE(trace()->replay().playing());
}

// Half a megabyte of bytes that are no frames before the log's frames: the
// replay reads it a slice a turn, the window lives on between the turns, and
// Stop ends it; Step goes on over the turns to the first frame. A pipe and a
// device are no logs to replay.
TEST_F(TraceJourney, AStretchOfNoFramesIsReadATurnAtATimeAndPipesAreRefused)
{
    openTrace();
    QByteArray garbage(512 << 10, '\0');
    QRandomGenerator random(26);
    for (char& c : garbage)
        c = static_cast<char>(random.bounded(256));
    const QString path = writeFile(h->dir.filePath(QStringLiteral("garbage.log")), garbage + '\n' + announcementsLog());
    trace()->findChild<TraceReplayBar*>()->setReadSlice(16 << 10);
    auto skipped = [&] {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("; (\\d+) lines skipped")).match(replayState());
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };

    replay(path);
    const int first = skipped();
    EXPECT_GT(first, 0);
    h->runDueTimers();
    EXPECT_GT(skipped(), first) << replayState().toStdString();
    EXPECT_TRUE(trace()->replay().playing());
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayStop"));
    EXPECT_TRUE(replayState().startsWith(QStringLiteral("Stopped replaying garbage.log into the program: 0 frames")))
        << replayState().toStdString();
    const int stopped = skipped();
    h->runDueTimers();
    EXPECT_EQ(skipped(), stopped);

    replay(path);
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayPause"));
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayStep"));
    int turns = 0;
    for (; !boardWindowAt(40) && turns < 100; ++turns)
        h->runDueTimers();
    EXPECT_TRUE(boardWindowAt(40));
    EXPECT_GE(turns, 20) << "512 KiB in slices of 16 KiB";
    EXPECT_EQ(h->dialogs.beeps, 0);

    const QString fifo = h->dir.filePath(QStringLiteral("pipe.log"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString zero = h->dir.filePath(QStringLiteral("zero.log"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& endless : {fifo, zero}) {
        h->dialogs.boxes.clear();
        replay(endless);
        ASSERT_EQ(h->dialogs.boxes.size(), 1u);
        EXPECT_EQ(h->dialogs.boxes[0].text, QStringLiteral("Cannot replay %1: it is not a regular file").arg(endless));
    }
}

TEST_F(TraceJourney, ReplayOntoTheBusIsConfirmedAndPausesStepsAndStopsWithTheWindow)
{
    openTrace();
    const QString path = writeFile(h->dir.filePath(QStringLiteral("sent.asc")),
                                   "date Mon Dec 7 09:00:00.000 am 2026\n"
                                   "base hex  timestamps absolute\n"
                                   "   0.000000 1  18FF00F9x       Rx   d 1 01\n"
                                   "   0.500000 1  18FF00F9x       Rx   d 1 02\n"
                                   "   garbage\n"
                                   "   1.000000 1  18FF00F9x       Rx   d 1 03\n"
                                   "   1.500000 1  18FF00F9x       Rx   d 1 04\n");
    auto sentByReplay = [&] {
        int n = 0;
        for (const ToolFrames::Frame& f : h->toolFrames()->frames())
            n += f.frame.id == 0x18FF00F9u ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(h->click(trace()->findChild<QCheckBox*>(QStringLiteral("TraceReplayOntoBus"))));

    // "No" sends nothing.
    h->dialogs.questionAnswers = {false};
    replay(path);
    ASSERT_EQ(h->dialogs.questions.size(), 1u);
    EXPECT_TRUE(h->dialogs.questions[0].text.contains(QStringLiteral("sent.asc"))) << h->dialogs.questions[0].text.toStdString();
    EXPECT_FALSE(trace()->replay().playing());
    h->pass(1500);
    EXPECT_EQ(sentByReplay(), 0);

    h->dialogs.questionAnswers = {true};
    replay(path);
    ASSERT_TRUE(trace()->replay().playing());
    h->pass(10);
    EXPECT_EQ(sentByReplay(), 1);
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayPause"));
    h->pass(2000);
    EXPECT_EQ(sentByReplay(), 1) << "paused";
    EXPECT_TRUE(replayState().contains(QStringLiteral("(paused)"))) << replayState().toStdString();
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayStep"));
    h->pass(10);
    EXPECT_EQ(sentByReplay(), 2) << "one frame a step";
    // Resumed, it plays on to the end (the pace kept is the replay's own tests').
    ASSERT_TRUE(h->clickButton(trace(), "TraceReplayPause"));
    h->pass(600);
    EXPECT_EQ(sentByReplay(), 4);
    EXPECT_TRUE(replayState().startsWith(QStringLiteral("Replayed sent.asc onto the bus: 4 frames; 1 lines skipped, the first at line 5")))
        << replayState().toStdString();
    // The trace shows them as the tool's own.
    typeFilter("tx id=18FF00F9");
    EXPECT_EQ(rows(), 4);

    // Ten times as fast, looping: closing the window ends it.
    typeInto("TraceReplaySpeed", "10");
    ASSERT_TRUE(h->click(trace()->findChild<QCheckBox*>(QStringLiteral("TraceReplayLoop"))));
    h->dialogs.questionAnswers = {true};
    replay(path);
    h->pass(400);
    EXPECT_GE(sentByReplay(), 4 + 8) << "a pass in a tenth of the time, and again";
    ASSERT_TRUE(h->closeBox(trace()));
    EXPECT_FALSE(trace()->replay().playing());
    const int stopped = sentByReplay();
    h->pass(1000);
    EXPECT_EQ(sentByReplay(), stopped);
}

TEST_F(TraceJourney, TheRingIsExportedWholeFilteredOrSelectedAndResizedKeepingTheNewest)
{
    openTrace();
    h->pass(3000);
    // Two frames of other identifiers among the boards' broadcasts, from a
    // replayed log: on a time line of their own.
    replay(writeFile(h->dir.filePath(QStringLiteral("two.log")), "(1.0) can0 18FF0021#01\n(1.0) can0 18FF0022#02\n"));
    h->pass(100);
    const std::size_t kept = trace()->ring().size();
    ASSERT_GE(kept, 5u);
    auto framesIn = [](const QString& path) { return readFrames(path).frames; };

    const QString all = h->dir.filePath(QStringLiteral("all.log"));
    exportAs("All kept frames...", all);
    EXPECT_EQ(h->dialogs.saveCalls.value(0), h->dataFolder());
    EXPECT_EQ(framesIn(all).size(), kept - 2) << "one time line a log: the bus's";
    const QLabel* exported = trace()->findChild<QLabel*>(QStringLiteral("TraceExported"));
    EXPECT_TRUE(exported->text().contains(QStringLiteral("all.log"))) << exported->text().toStdString();
    EXPECT_TRUE(exported->text().endsWith(QStringLiteral("; 2 frames of another time line (a replayed log's) left out")))
        << exported->text().toStdString();

    typeFilter("not pgn=FEF1");
    ASSERT_EQ(rows(), 2);
    const QString shown = h->dir.filePath(QStringLiteral("shown.asc"));  // the replay's alone
    exportAs("Frames shown...", shown);
    const std::vector<TraceFrame> shownFrames = framesIn(shown);
    ASSERT_EQ(shownFrames.size(), 2u);
    EXPECT_EQ(shownFrames[0].id, 0x18FF0021u);
    EXPECT_EQ(shownFrames[1].id, 0x18FF0022u);

    ASSERT_TRUE(h->clickRow(table(), 1));
    const QString selected = h->dir.filePath(QStringLiteral("selected.csv"));
    exportAs("Selected frames...", selected);
    ASSERT_EQ(framesIn(selected).size(), 1u);
    EXPECT_EQ(framesIn(selected)[0].id, 0x18FF0022u);

    // A name without a log's extension is refused; a cancelled dialog writes nothing.
    exportAs("All kept frames...", h->dir.filePath(QStringLiteral("noformat")));
    ASSERT_EQ(h->dialogs.boxes.size(), 1u);
    EXPECT_TRUE(h->dialogs.boxes[0].text.contains(QStringLiteral(".txt, .log, .asc, .csv"))) << h->dialogs.boxes[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(h->dir.filePath(QStringLiteral("noformat"))));
    exportAs("All kept frames...", QString());
    EXPECT_EQ(h->dialogs.boxes.size(), 1u);

    // A smaller ring, chosen with the keys, keeps the newest frames.
    auto* keep = trace()->findChild<QComboBox*>(QStringLiteral("TraceKeep"));
    EXPECT_EQ(keep->currentData().toULongLong(), TraceRing::kDefaultCapacity);
    const std::size_t before = trace()->ring().size();
    h->key(Qt::Key_K, Qt::AltModifier);  // "Keep"
    ASSERT_EQ(h->keyTarget(), keep);
    h->key(Qt::Key_Up);
    EXPECT_EQ(trace()->ring().capacity(), 100'000u);
    EXPECT_EQ(trace()->ring().size(), before) << "every frame still fits";
}

// The per-identifier table marks the bytes that changed: the delegate alone,
// without a program around it.
TEST(TraceIdentifierTable, ChangedBytesAreMarkedBehindTheirDigits)
{
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), QStringLiteral("01 02 03 04"));
    model.setData(model.index(0, 0), 0b0100, IdentifierStatsModel::ChangedBytesRole);
    QTableView view;
    view.setModel(&model);
    view.setItemDelegate(new ChangedBytesDelegate(IdentifierStatsModel::ChangedBytesRole, &view));
    view.setColumnWidth(0, 200);
    view.resize(260, 80);
    const QImage image = view.viewport()->grab().toImage();
    const QRect cell = view.visualRect(model.index(0, 0));
    int from = -1;
    int to = -1;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        if (image.pixelColor(x, cell.center().y()) == ChangedBytesDelegate::kMarker) {
            from = from < 0 ? x : from;
            to = x;
        }
    }
    ASSERT_GE(from, 0) << "no marker drawn";
    const int byteWidth = view.fontMetrics().horizontalAdvance(QStringLiteral("00 "));
    EXPECT_GT(from, cell.left() + 2 * byteWidth - byteWidth / 2) << "the third byte's marker, not the first's";
    EXPECT_LT(to, cell.left() + 3 * byteWidth + byteWidth / 2);
}


// A signal database chosen with "Databases..." names the boards' broadcasts
// beside a replayed log's frames it does not know, decodes the frame clicked,
// filters by the message's name, and is loaded again at the next start.
TEST_F(TraceJourney, ADatabaseNamesTheMessagesDecodesTheFrameClickedAndFiltersByName)
{
    openTrace();
    const auto pane = [this] { return trace()->findChild<QTableWidget*>(QStringLiteral("TraceSignals")); };
    const auto databases = [this] { return trace()->findChild<QLabel*>(QStringLiteral("TraceDatabaseList")); };
    EXPECT_FALSE(pane()->isVisible()) << "without a database the window is as it was";
    h->dialogs.fileAnswers = {writeFile(h->dir.filePath(QStringLiteral("bench.dbc")),
                                        "BA_ \"ProtocolType\" \"J1939\";\n"
                                        "BO_ 2566844672 CCVS: 8 Vector__XXX\n"
                                        " SG_ First : 0|8@1+ (0.5,0) [0|127.5] \"km/h\" Vector__XXX\n"
                                        "CM_ SG_ 2566844672 First \"The first byte, halved\";\n")};
    ASSERT_TRUE(h->clickButton(trace(), "TraceDatabases"));
    EXPECT_TRUE(pane()->isVisible());
    EXPECT_EQ(databases()->text(), QStringLiteral("Databases: bench.dbc"));
    replay(writeFile(h->dir.filePath(QStringLiteral("other.log")), "(0.000000) can0 123#01\n(0.100000) can0 123#02\n"));
    h->pass(3000);

    int broadcast = -1;
    int other = -1;
    for (int r = rows() - 1; r >= 0; --r) {
        const QString id = cell(r, TraceTableModel::Identifier);
        if (id == QStringLiteral("18FEF100") && broadcast < 0)
            broadcast = r;  // the newest, in sight
        else if (id == QStringLiteral("123"))
            other = r;
    }
    ASSERT_GE(broadcast, 0);
    ASSERT_GE(other, 0);
    EXPECT_EQ(cell(broadcast, TraceTableModel::Message), QStringLiteral("CCVS@00"));
    EXPECT_EQ(cell(other, TraceTableModel::Message), QString());
    ASSERT_TRUE(h->clickRow(table(), broadcast));
    ASSERT_EQ(pane()->rowCount(), 1);
    const int first = cell(broadcast, TraceTableModel::Data).left(2).toInt(nullptr, 16);
    EXPECT_EQ(pane()->item(0, 0)->text(), QStringLiteral("CCVS.First@00"));
    EXPECT_EQ(pane()->item(0, 1)->text(), QString::number(first * 0.5) + QStringLiteral(" km/h"));
    EXPECT_EQ(pane()->item(0, 2)->text(), QString::number(first));
    EXPECT_EQ(pane()->item(0, 1)->toolTip(), QStringLiteral("The first byte, halved"));

    // The signal plotted from the pane's menu: its values on the bus's time
    // line, going on while the trace is closed, until its plot window closes.
    QMenu* menu = rightClickRow(pane(), 0);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(JourneyHarness::entryNamed(menu, QStringLiteral("PlotSignal"))->text(), QStringLiteral("Plot CCVS.First@00"));
    ASSERT_TRUE(h->clickMenuEntry(menu, QStringLiteral("PlotSignal")));
    PlotWindow* plot = h->shownWindow<PlotWindow>();
    ASSERT_NE(plot, nullptr);
    h->watchTimer(plot->refreshTimer());
    ASSERT_EQ(plot->seriesCount(), 1);
    EXPECT_EQ(plot->seriesName(0), QStringLiteral("CCVS.First@00"));
    h->pass(3000);
    const PlotSeries& plotted = plot->series(0);
    const std::vector<std::int64_t> busTimes = tracedTimes(0x18FEF100);
    ASSERT_GE(plotted.appended(), 5u) << "two frames a second";
    EXPECT_EQ(plotted.newestUs(), busTimes.back()) << "the trace's time for the same frame";
    const TraceRing& ring = trace()->ring();
    std::uint64_t newest = ring.endSequence() - 1;
    while (ring.bySequence(newest).id != 0x18FEF100)
        --newest;
    EXPECT_EQ(plotted.valueOf(plotted.pointAtOrBefore(plotted.newestUs())->raw), ring.bySequence(newest).data[0] * 0.5);
    EXPECT_EQ(plot->timeLine().leftOut(), 0u) << "the replayed frames are no CCVS";
    ASSERT_TRUE(h->closeBox(trace()));
    const std::uint64_t closedAt = plotted.appended();
    h->pass(2000);
    EXPECT_GE(plotted.appended(), closedAt + 3) << "the trace closed, the plot goes on";
    EXPECT_FALSE(plot->drawnPoints(0).empty());
    openTrace();

    // Recorded from the list of every signal, found by a part of its name.
    auto* tabs = trace()->findChild<QTabWidget*>(QStringLiteral("TraceSignalTabs"));
    ASSERT_TRUE(h->click(tabs->tabBar(), tabs->tabBar()->tabRect(1).center()));
    typeInto("TraceSignalFilter", "first");
    auto* list = trace()->findChild<QTableView*>(QStringLiteral("TraceAllSignals"));
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), QStringLiteral("CCVS.First@00")) << "by the source seen";
    menu = rightClickRow(list, 0);
    ASSERT_NE(menu, nullptr);
    EXPECT_NE(JourneyHarness::entryNamed(JourneyHarness::entryNamed(menu, QStringLiteral("PlotIn"))->menu(),
                                         QStringLiteral("PlotIn:Plot 1")),
              nullptr);
    ASSERT_TRUE(h->clickMenuEntry(menu, QStringLiteral("RecordSignals")));
    h->pass(2000);
    menu = rightClickRow(list, 0);
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(h->clickMenuEntry(menu, QStringLiteral("StopRecording")));
    const QDir logs(logFolderOf(h->dataFolder()));
    const QStringList recordings = logs.entryList({QStringLiteral("*Signals*.csv")}, QDir::Files);
    ASSERT_EQ(recordings.size(), 1);
    const QList<QByteArray> recorded = test::readFile(logs.filePath(recordings.front())).split('\n');
    ASSERT_GE(recorded.size(), 5);
    EXPECT_TRUE(recorded[1].contains(",CCVS.First@00,")) << recorded[1].toStdString();
    ASSERT_TRUE(h->closeBox(plot));
    EXPECT_FALSE(h->app->plots().readsSignals()) << "nothing left to feed: the link is let go";

    const int all = rows();
    typeFilter("msg=CCVS");
    ASSERT_GT(rows(), 0);
    EXPECT_LT(rows(), all) << "the replayed frames no database knows are left out";
    for (int r = 0; r < rows(); ++r)
        EXPECT_EQ(cell(r, TraceTableModel::Message), QStringLiteral("CCVS@00")) << r;

    h->restartProgram();
    openTrace();
    EXPECT_EQ(databases()->text(), QStringLiteral("Databases: bench.dbc")) << "remembered";
    ASSERT_TRUE(h->clickButton(trace(), "TraceDatabasesClear"));
    EXPECT_FALSE(pane()->isVisible());
    h->restartProgram();
    openTrace();
    EXPECT_FALSE(databases()->isVisible()) << "unloaded for good";
}

}  // namespace
