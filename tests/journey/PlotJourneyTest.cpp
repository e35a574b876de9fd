// Journeys through the plots and recordings of diagnostic screens: the menu a
// right-click or the menu key opens on a screen, plot windows filling as the
// board's frames are decoded, boards and plot windows closed under them, a
// recording to a file, a log played in file mode plotted and recorded at its
// logged times, a plot started late in the session, a screen saved while it is
// plotted and recorded, and a plot window of ten lines resized and maximised.

#include "Session.h"

#include "core/DataFolder.h"
#include "diagnostics/DynTextBox.h"
#include "diagnostics/IndicatorInfo.h"
#include "monitor/MonitorWindow.h"
#include "plot/PlotChartView.h"
#include "plot/PlotLegend.h"
#include "plot/PlotWindow.h"
#include "plot/Plots.h"
#include "plot/ValueRecorder.h"
#include "trace/TraceReplayBar.h"
#include "trace/TraceWindow.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QValueAxis>
#include <QWheelEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineSeries>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace tellvane;
using namespace tellvane::test;

namespace {

// The pump's screen: control 3 shows its speed (message 16, word at byte 3, x 1.5, rpm).
constexpr int kSpeed = 3;

class PlotJourney : public Session {
protected:
    static QMenu* openPopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    // A right-click on a widget of the screen, as the window system reports it.
    QMenu* rightClick(QWidget* control, QPoint at = {})
    {
        if (at.isNull())
            at = control->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, control->mapToGlobal(at));
        h->deliver([&] { QApplication::sendEvent(control, &event); });
        h->settle();
        return openPopup();
    }
    // Goes down an open menu with the arrow key to the entry and takes it:
    // Return for a command, Right into a submenu (which it returns).
    QMenu* chooseByKeys(QMenu* menu, const QString& objectName)
    {
        if (!menu || !menu->isVisible()) {
            ADD_FAILURE() << "no open menu for " << objectName.toStdString();
            return nullptr;
        }
        const int entries = static_cast<int>(menu->actions().size());
        for (int i = 0; i <= entries && (!menu->activeAction() || menu->activeAction()->objectName() != objectName); ++i)
            h->key(Qt::Key_Down);
        QAction* action = menu->activeAction();
        if (!action || action->objectName() != objectName) {
            ADD_FAILURE() << "no entry " << objectName.toStdString() << " reached in " << JourneyHarness::describe(menu).toStdString();
            return nullptr;
        }
        QMenu* sub = action->menu();
        h->key(sub ? Qt::Key_Right : Qt::Key_Return);
        return sub;
    }
    PlotWindow* plotWindow(int i = 0) const
    {
        const std::vector<PlotWindow*> open = h->app->plots().windows();
        return i < static_cast<int>(open.size()) ? open[static_cast<std::size_t>(i)] : nullptr;
    }
    // "Plot" from the menu of a control of a board window's screen.
    PlotWindow* plotFromMenu(BoardWindow* w, int control)
    {
        chooseByKeys(rightClick(w->screen().control(control)->widget()), QStringLiteral("Plot"));
        PlotWindow* plot = h->app->plots().windows().empty() ? nullptr : h->app->plots().windows().back();
        if (plot)
            h->watchTimer(plot->refreshTimer());
        return plot;
    }
    static double shownNumber(BoardWindow* w, int control)
    {
        const QString text = dynamic_cast<DynTextBox*>(w->screen().control(control))->text();
        return text.section(QLatin1Char(' '), 0, 0).toDouble();
    }
    static std::vector<std::pair<std::int64_t, double>> points(const PlotSeries& s)
    {
        std::vector<std::pair<std::int64_t, double>> out;
        s.forEachExact(0, std::numeric_limits<std::int64_t>::max(),
                       [&](const PlotSeries::Point& p) { out.emplace_back(p.timeUs, s.valueOf(p.raw)); });
        return out;
    }
    // The menu of the screen as a whole, from the corner of its canvas, where no control lies.
    QMenu* screenMenu(BoardWindow* w)
    {
        auto* canvas = w->findChild<QWidget*>(QStringLiteral("ScreenCanvas"));
        return canvas ? rightClick(canvas, QPoint(canvas->width() - 3, canvas->height() - 3)) : nullptr;
    }
    QString logFolder() const { return logFolderOf(h->dataFolder()); }
    QStringList recordings() const
    {
        return QDir(logFolder()).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    }
    // The bytes of a recording, by its name.
    QByteArray recorded(const QString& name) const { return test::readFile(QDir(logFolder()).filePath(name)); }
};

TEST_F(PlotJourney, APlotFollowsTheBoardsValuesAndEndsWithItsWindow)
{
    BoardWindow* board = pump();
    ASSERT_NE(board, nullptr);
    // Out of diagnostic mode the window has no menu of its own.
    EXPECT_EQ(rightClick(board->findChild<QWidget*>(QStringLiteral("ScreenCanvas"))), nullptr);
    ASSERT_TRUE(enterDiagnostics(board));

    QMenu* menu = rightClick(board->screen().control(kSpeed)->widget());
    ASSERT_NE(menu, nullptr) << "a right-click on a value box opens the screen's menu";
    ASSERT_NE(JourneyHarness::entryNamed(menu, QStringLiteral("Plot")), nullptr);
    EXPECT_EQ(JourneyHarness::entryNamed(menu, QStringLiteral("Plot"))->text(), QStringLiteral("Plot Speed"));
    EXPECT_EQ(JourneyHarness::entryNamed(menu, QStringLiteral("PlotIn")), nullptr) << "no plot window open yet";
    chooseByKeys(menu, QStringLiteral("Plot"));
    EXPECT_EQ(openPopup(), nullptr);
    PlotWindow* plot = plotWindow();
    ASSERT_NE(plot, nullptr);
    h->watchTimer(plot->refreshTimer());
    EXPECT_EQ(h->shownWindow<PlotWindow>(), plot) << "shown in the main window";
    EXPECT_EQ(plot->windowTitle(), QStringLiteral("Plot 1"));
    ASSERT_EQ(plot->seriesCount(), 1);
    EXPECT_EQ(plot->lineSeries(0)->name(), QStringLiteral("Speed (rpm) - ") + kPump);

    // The values come as the frames are decoded, and the last is the one the box shows.
    h->pass(3000);
    const PlotSeries& speed = plot->series(0);
    ASSERT_GT(speed.appended(), 5u);
    const auto pumpPoints = points(speed);
    EXPECT_NEAR(pumpPoints.back().second, shownNumber(board, kSpeed), 0.5);
    EXPECT_GT(pumpPoints.back().first, pumpPoints.front().first) << "at the frames' times";
    EXPECT_GT(plot->drawnPoints(0).size(), 5u) << "drawn on the refresh timer";

    // A value of another board into the same plot, through "Plot in".
    // The pump's screen covers the valve's window: dragged aside by its title bar.
    QMdiSubWindow* pumpFrame = JourneyHarness::subWindowOf(board);
    ASSERT_TRUE(h->dragTitleBar(board, QPoint(-pumpFrame->x(), 0)));
    ASSERT_TRUE(enterDiagnostics(valve()));
    const std::vector<IndicatorInfo> valveValues = screenIndicators(valve()->screen().definition());
    ASSERT_FALSE(valveValues.empty());
    QMenu* valveMenu = rightClick(valve()->screen().control(valveValues.front().cntrlIndex)->widget());
    QMenu* into = chooseByKeys(valveMenu, QStringLiteral("PlotIn"));
    ASSERT_NE(into, nullptr);
    chooseByKeys(into, QStringLiteral("PlotIn:Plot 1"));
    ASSERT_EQ(plot->seriesCount(), 2);
    EXPECT_EQ(h->app->plots().windows().size(), 1u);
    h->pass(1000);
    EXPECT_GT(plot->series(1).appended(), 0u);

    // The pump's window closes: its line ends, the valve's goes on.
    const std::uint64_t pumpValues = speed.appended();
    ASSERT_TRUE(h->closeBox(board));
    EXPECT_EQ(pump(), nullptr);
    EXPECT_TRUE(plot->lineSeries(0)->name().endsWith(QStringLiteral("[ended]")));
    const std::uint64_t valveValuesSoFar = plot->series(1).appended();
    h->pass(1000);
    EXPECT_EQ(speed.appended(), pumpValues);
    EXPECT_GT(plot->series(1).appended(), valveValuesSoFar);

    // The plot window closes and another opens from the valve's screen.
    ASSERT_TRUE(h->closeBox(plot));
    EXPECT_TRUE(h->app->plots().windows().empty());
    EXPECT_FALSE(h->app->plots().observes(*valve())) << "nothing left to feed";
    h->pass(500);
    PlotWindow* again = plotFromMenu(valve(), valveValues.front().cntrlIndex);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->windowTitle(), QStringLiteral("Plot 2"));
    h->pass(1000);
    EXPECT_GT(again->series(0).appended(), 0u);
    EXPECT_GT(again->drawnPoints(0).size(), 0u);

    // Leaving diagnostic mode ends the line too; nothing reaches it afterwards.
    ASSERT_TRUE(h->clickButton(valve(), "StartDiag"));
    EXPECT_TRUE(again->seriesEnded(&again->series(0)));
    h->pass(1000);
    EXPECT_TRUE(h->dialogs.boxes.empty());
    EXPECT_EQ(h->app->errorLog().count(), 0);
}

// Every text of a plot window shown whole: the legend's names within their
// room and the window, the value axes' labels and units within theirs, none
// over another, the time axis's unshortened.
void expectNothingCut(PlotWindow* plot)
{
    PlotLegend* legend = plot->legend();
    for (int i = 0; i < legend->entryCount(); ++i) {
        const QLabel* label = legend->label(i);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width()) << i;
        EXPECT_TRUE(plot->rect().contains(QRect(label->mapTo(plot, QPoint(0, 0)), label->size()))) << i;
    }
    const QChart* chart = plot->chartView()->chart();
    const QFontMetricsF labels(plot->timeAxis()->labelsFont());
    const QFontMetricsF titles(plot->timeAxis()->titleFont());
    std::vector<QRectF> taken{chart->plotArea()};
    for (int i = 0; i < plot->seriesCount(); ++i) {
        for (const PlotWindow::AxisLabel& label : plot->valueAxisLabels(i)) {
            const double room = label.upright ? label.rect.height() : label.rect.width();
            EXPECT_LE((label.upright ? titles : labels).horizontalAdvance(label.text), room) << label.text.toStdString();
            EXPECT_TRUE(chart->rect().contains(label.rect)) << label.text.toStdString();
            for (const QRectF& other : taken)
                EXPECT_FALSE(other.intersects(label.rect)) << i << " " << label.text.toStdString();
        }
        for (const PlotWindow::AxisLabel& label : plot->valueAxisLabels(i))
            taken.push_back(label.rect);
    }
    EXPECT_FALSE(plot->timeAxis()->labelsTruncated());
}

// An ended line goes on when plotted again, a full plot takes no more, and a
// plot window of ten lines shows them whole when maximised, restored and
// made smaller; the next opens at the size it was left at.
TEST_F(PlotJourney, AnEndedLineGoesOnAFullPlotTakesNoMoreAndTenLinesShowWhole)
{
    BoardWindow* board = pump();
    ASSERT_TRUE(enterDiagnostics(board));
    PlotWindow* plot = plotFromMenu(board, kSpeed);
    ASSERT_NE(plot, nullptr);
    h->pass(1000);
    ASSERT_TRUE(h->clickButton(board, "StartDiag"));
    ASSERT_TRUE(plot->seriesEnded(&plot->series(0)));
    const std::uint64_t before = plot->series(0).appended();
    h->pass(1000);
    EXPECT_EQ(plot->series(0).appended(), before);

    // Back in diagnostic mode, "Plot in" the same window: the same line goes on.
    ASSERT_TRUE(enterDiagnostics(board));
    QMenu* into = chooseByKeys(rightClick(board->screen().control(kSpeed)->widget()), QStringLiteral("PlotIn"));
    chooseByKeys(into, QStringLiteral("PlotIn:Plot 1"));
    ASSERT_EQ(plot->seriesCount(), 1);
    EXPECT_FALSE(plot->seriesEnded(&plot->series(0)));
    EXPECT_FALSE(plot->lineSeries(0)->name().endsWith(QStringLiteral("[ended]")));
    h->pass(1000);
    EXPECT_GT(plot->series(0).appended(), before);
    // "Plot" again while it is fed, from the menu key's "Plot value" list of
    // every value of the screen: a new window, the first keeps its one line.
    // The window system makes the menu key a keyboard context-menu event for
    // the focus widget, at its middle.
    ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(board)));
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus && board->isAncestorOf(focus)) << JourneyHarness::describe(focus).toStdString();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, focus->rect().center(), focus->mapToGlobal(focus->rect().center()));
    h->deliver([&] { QApplication::sendEvent(focus, &menuKey); });
    h->settle();
    QMenu* values = chooseByKeys(openPopup(), QStringLiteral("PlotValue"));
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(values->actions().size(), static_cast<qsizetype>(screenIndicators(board->screen().definition()).size()));
    chooseByKeys(values, QStringLiteral("Plot:%1").arg(kSpeed));
    ASSERT_EQ(h->app->plots().windows().size(), 2u);
    PlotWindow* second = plotWindow(1);
    ASSERT_EQ(second->seriesCount(), 1);
    EXPECT_TRUE(second->lineSeries(0)->name().startsWith(QStringLiteral("Speed (rpm)")));
    EXPECT_EQ(plot->seriesCount(), 1);
    h->pass(500);
    EXPECT_GT(second->series(0).appended(), 0u);

    // A window with as many lines as it takes is offered, but not to be chosen.
    const std::vector<IndicatorInfo> all = screenIndicators(board->screen().definition());
    ASSERT_GE(static_cast<int>(all.size()), PlotWindow::kMostSeries);
    for (const IndicatorInfo& info : all) {
        if (plot->acceptsMore())
            h->app->plots().plot(*board, info.cntrlIndex, plot);
    }
    ASSERT_EQ(plot->seriesCount(), PlotWindow::kMostSeries);
    QMenu* menu = rightClick(board->screen().control(kSpeed)->widget());
    ASSERT_NE(menu, nullptr);
    QAction* inFull = JourneyHarness::entryNamed(JourneyHarness::entryNamed(menu, QStringLiteral("PlotIn"))->menu(),
                                                 QStringLiteral("PlotIn:Plot 1"));
    ASSERT_NE(inFull, nullptr);
    EXPECT_FALSE(inFull->isEnabled());
    h->key(Qt::Key_Escape);
    EXPECT_EQ(openPopup(), nullptr);

    // The second window filled to ten lines, the full one closed.
    ASSERT_TRUE(h->closeBox(plot));
    plot = second;
    h->watchTimer(plot->refreshTimer());
    for (const IndicatorInfo& info : all) {
        if (plot->seriesCount() < 10)
            h->app->plots().plot(*board, info.cntrlIndex, plot);
    }
    ASSERT_EQ(plot->seriesCount(), 10);
    h->pass(2000);
    expectNothingCut(plot);

    // Maximised from its title bar: it fills the frame, all of it drawn.
    QMdiSubWindow* sub = JourneyHarness::subWindowOf(plot);
    const QRect opened = sub->geometry();
    ASSERT_TRUE(h->maximiseBox(plot));
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_EQ(sub->geometry(), h->main().mdiArea()->viewport()->rect());
    h->pass(500);
    EXPECT_EQ(plot->chartView()->width(), plot->width() - 8) << "the chart takes the new width";
    expectNothingCut(plot);

    // Restored from its system menu, in the menu bar while it is maximised.
    QWidget* systemMenu = h->main().menuBar()->cornerWidget(Qt::TopLeftCorner);
    ASSERT_NE(systemMenu, nullptr);
    ASSERT_TRUE(h->click(systemMenu));
    ASSERT_TRUE(h->clickMenuEntry(openPopup(), QStringLiteral("Restore")));
    EXPECT_FALSE(sub->isMaximized());
    EXPECT_EQ(sub->geometry(), opened);

    // Its corner dragged inwards: smaller by as much, and nothing cut.
    const QPoint corner(sub->width() - 2, sub->height() - 2);
    h->deliver([&] { JourneyHarness::dragFrom(sub, corner, QPoint(-150, -80)); });
    h->settle();
    EXPECT_EQ(sub->size(), opened.size() - QSize(150, 80));
    h->pass(500);
    expectNothingCut(plot);

    // Closed; the next plot window opens at the size and place it was left at.
    const QRect kept = sub->geometry();
    ASSERT_TRUE(h->closeFromSystemMenu(plot));
    EXPECT_TRUE(h->app->plots().windows().empty());
    PlotWindow* next = plotFromMenu(board, kSpeed);
    ASSERT_NE(next, nullptr);
    EXPECT_FALSE(JourneyHarness::subWindowOf(next)->isMaximized());
    EXPECT_EQ(JourneyHarness::subWindowOf(next)->geometry(), kept);
}

// The pump's file with a value box and its label put before everything (every
// control after them takes another number) and the flow taken out.
QByteArray savedAgain(QByteArray text)
{
    const QByteArray flow = "GROUP, Reading, Flow, 720, 16, SW, 5, 0.01, 0, 0.00\" l/s\"\n";
    text.replace(flow, "");
    const qsizetype tab = text.indexOf("TAB, Drive");
    text.insert(tab, "LABEL, Added, 7800, 120, 1500, 255\nBWLTEXT, -, 7800, 1700, 1000, 285, 16, B, 3, 1, 0, D, 0\n");
    return text;
}

// A recording writes every value of the screen until stopped; another, never
// over the first, goes on in its file through saves of the screen (with its
// plot) and ends cleanly when diagnostic mode is left.
TEST_F(PlotJourney, RecordingsWriteEveryValueGoOnThroughASaveAndEndWithDiagnosticMode)
{
    BoardWindow* board = pump();
    ASSERT_TRUE(enterDiagnostics(board));
    QMenu* menu = screenMenu(board);
    ASSERT_NE(menu, nullptr);
    EXPECT_NE(JourneyHarness::entryNamed(menu, QStringLiteral("PlotValue")), nullptr) << "every value, no one in particular";
    chooseByKeys(menu, QStringLiteral("Record"));
    ASSERT_NE(h->app->plots().recording(*board), nullptr);
    ASSERT_EQ(recordings().size(), 1);
    const QString name = recordings().front();
    EXPECT_TRUE(name.endsWith(QStringLiteral("_1201-0003_33.csv"))) << name.toStdString();
    EXPECT_EQ(name.size(), QStringLiteral("2011-Feb-03_140509_1201-0003_33.csv").size()) << name.toStdString();
    h->pass(2000);

    QMenu* again = rightClick(board->screen().control(kSpeed)->widget());
    ASSERT_NE(again, nullptr);
    const QAction* stop = JourneyHarness::entryNamed(again, QStringLiteral("StopRecording"));
    ASSERT_NE(stop, nullptr);
    EXPECT_TRUE(stop->text().startsWith(QStringLiteral("Stop recording"))) << stop->text().toStdString();
    chooseByKeys(again, QStringLiteral("StopRecording"));
    EXPECT_EQ(h->app->plots().recording(*board), nullptr);
    h->pass(500);

    // Each row a value of the screen, in time order (the values' bytes are
    // the recorder's own tests').
    const QList<QByteArray> rows = recorded(name).split('\n');
    ASSERT_GT(rows.size(), 20);
    EXPECT_EQ(rows.front(), QByteArray("time,name,raw,value\r"));
    const std::vector<IndicatorInfo> indicators = screenIndicators(board->screen().definition());
    double lastTime = 0;
    int speedRows = 0;
    for (qsizetype i = 1; i + 1 < rows.size(); ++i) {
        const QList<QByteArray> fields = rows[i].chopped(1).split(',');
        ASSERT_EQ(fields.size(), 4) << rows[i].toStdString();
        EXPECT_GE(fields[0].toDouble(), lastTime);
        lastTime = fields[0].toDouble();
        EXPECT_TRUE(std::any_of(indicators.begin(), indicators.end(), [&](const IndicatorInfo& n) { return n.caption.toUtf8() == fields[1]; }))
            << fields[1].toStdString();
        speedRows += fields[1] == "Speed";
    }
    EXPECT_TRUE(rows.back().isEmpty()) << "the last row ends whole";
    EXPECT_GT(speedRows, 5);

    // Recording again, with the speed and the flow plotted.
    h->watchTimer(board->screenFiles().settleTimer());
    PlotWindow* plot = plotFromMenu(board, kSpeed);
    ASSERT_NE(plot, nullptr);
    const auto flow = std::find_if(indicators.begin(), indicators.end(), [](const IndicatorInfo& i) { return i.caption == "Flow"; });
    ASSERT_NE(flow, indicators.end());
    ASSERT_EQ(h->app->plots().plot(*board, flow->cntrlIndex, plot), plot);
    chooseByKeys(screenMenu(board), QStringLiteral("Record"));
    QStringList names = recordings();
    names.removeOne(name);
    ASSERT_EQ(names.size(), 1) << "never over the first";
    h->pass(1000);

    // The same bytes saved again: nothing is built anew.
    const QString file = h->programFolder() + QStringLiteral("/Configuration/1201-0003.cfg");
    const QByteArray text = test::readFile(file);
    const std::uint64_t generation = board->screen().generation();
    writeFile(file, text);
    ASSERT_TRUE(h->settleScreenFiles(board));
    EXPECT_EQ(board->screen().generation(), generation);

    // Saved with a value added before everything and the flow taken out.
    writeFile(file, savedAgain(text));
    ASSERT_TRUE(h->settleScreenFiles(board));
    ASSERT_NE(board->screen().generation(), generation);
    const std::uint64_t speedValues = plot->series(0).appended();
    const std::uint64_t flowValues = plot->series(1).appended();
    h->pass(1000);
    EXPECT_GT(plot->series(0).appended(), speedValues) << "the speed's line goes on from its new box";
    EXPECT_NEAR(points(plot->series(0)).back().second, shownNumber(board, kSpeed + 2), 0.5);
    EXPECT_EQ(plot->series(1).appended(), flowValues);
    EXPECT_TRUE(plot->seriesEnded(&plot->series(1)));
    const QLabel* flowEntry = plot->legend()->label(1);
    EXPECT_TRUE(flowEntry->text().endsWith(QStringLiteral("[ended]")));
    EXPECT_LE(flowEntry->fontMetrics().horizontalAdvance(flowEntry->text()), flowEntry->contentsRect().width());
    EXPECT_TRUE(plot->statusText().startsWith(QStringLiteral("Live")));

    // The recording goes on in its file, with the new screen's values.
    chooseByKeys(screenMenu(board), QStringLiteral("StopRecording"));
    const QByteArray second = recorded(names.front());
    const qsizetype added = second.indexOf(",Added,");
    ASSERT_GT(added, 0);
    EXPECT_GT(second.indexOf(",Speed,", added), added);
    EXPECT_LT(second.indexOf(",Flow,", added), 0) << "no flow after the save";

    // All the plotted values taken out: the plot says its lines have all ended.
    QByteArray noSpeed = savedAgain(text);
    noSpeed.replace("GROUP, Reading, Speed,", "' GROUP, Reading, Speed,");
    writeFile(file, noSpeed);
    ASSERT_TRUE(h->settleScreenFiles(board));
    EXPECT_TRUE(plot->seriesEnded(&plot->series(0)));
    EXPECT_TRUE(plot->statusText().startsWith(QStringLiteral("All lines ended"))) << plot->statusText().toStdString();
    EXPECT_FALSE(h->app->plots().observes(*board)) << "nothing left to feed";
    EXPECT_EQ(h->app->errorLog().count(), 0);

    // Recording again, then leaving diagnostic mode: the file ends cleanly.
    chooseByKeys(screenMenu(board), QStringLiteral("Record"));
    h->pass(1000);
    ASSERT_TRUE(h->clickButton(board, "StartDiag"));
    EXPECT_EQ(h->app->plots().recording(*board), nullptr);
    ASSERT_EQ(recordings().size(), 3);
    for (const QString& each : recordings())
        EXPECT_TRUE(recorded(each).endsWith("\r\n")) << each.toStdString();
}

// A plot started ten minutes into the session is drawn at the session's
// times; then zoomed, read and exported with the mouse and the keys.
TEST_F(PlotJourney, APlotStartedLateIsDrawnAtTheSessionsTimesZoomedReadAndExported)
{
    h->pass(10 * 60 * 1000);
    BoardWindow* board = pump();
    ASSERT_TRUE(enterDiagnostics(board));
    PlotWindow* plot = plotFromMenu(board, kSpeed);
    ASSERT_NE(plot, nullptr);
    h->pass(3000);
    const auto first = points(plot->series(0));
    ASSERT_GT(first.size(), 5u);
    EXPECT_GT(first.front().first, 600'000'000);
    EXPECT_GT(first.back().first - first.front().first, 2'500'000) << "spread over the seconds passed";
    const auto [startFrom, startTo] = plot->shownUs();
    EXPECT_EQ(startTo - startFrom, 30'000'000);
    EXPECT_GE(startTo, first.back().first);
    EXPECT_GT(plot->drawnPoints(0).back().x() - plot->drawnPoints(0).front().x(), 2.5) << "never one upright line";

    // The axis moves on with the session, the first values going off its left.
    h->pass(40000);
    EXPECT_GT(plot->timeAxis()->min(), static_cast<double>(first.back().first) / 1e6);
    EXPECT_EQ(plot->timeAxis()->max() - plot->timeAxis()->min(), 30.0);
    EXPECT_GT(plot->drawnPoints(0).back().x() - plot->drawnPoints(0).front().x(), 25.0);
    ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(plot)));
    ASSERT_TRUE(plot->live());

    QChartView* view = plot->chartView();
    QWidget* viewport = view->viewport();
    const QRectF area = plot->chartView()->chart()->plotArea();
    auto at = [&](double x, double y) {
        return view->mapFromScene(plot->chartView()->chart()->mapToScene(
            QPointF(area.left() + x * area.width(), area.top() + y * area.height())));
    };
    // The pointer over the chart: the readout tells the time and the value there.
    ASSERT_TRUE(JourneyHarness::hover(viewport, at(0.99, 0.5)));
    h->settle();
    const QString readout = plot->findChild<QLabel*>(QStringLiteral("PlotReadout"))->text();
    EXPECT_TRUE(readout.contains(QStringLiteral(" s    Speed: "))) << readout.toStdString();
    EXPECT_TRUE(readout.endsWith(QStringLiteral(" rpm"))) << readout.toStdString();

    // A rectangle dragged over the middle half: the view holds that stretch, paused.
    const auto [from, to] = plot->shownUs();
    h->deliver([&] {
        QTest::mousePress(viewport, Qt::LeftButton, {}, at(0.25, 0.1));
        QTest::mouseMove(viewport, at(0.5, 0.5));
        QTest::mouseMove(viewport, at(0.75, 0.9));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at(0.75, 0.9));
    });
    h->settle();
    EXPECT_FALSE(plot->live());
    EXPECT_TRUE(plot->findChild<QPushButton*>(QStringLiteral("PlotPause"))->isChecked());
    EXPECT_FALSE(plot->autoscale()) << "the value axis keeps the rectangle's height";
    const auto [zoomFrom, zoomTo] = plot->shownUs();
    const double pixelUs = static_cast<double>(to - from) / area.width();
    EXPECT_NEAR(static_cast<double>(zoomTo - zoomFrom), (to - from) / 2.0, 3 * pixelUs);
    EXPECT_NEAR(static_cast<double>(zoomFrom), from + (to - from) / 4.0, 3 * pixelUs);
    EXPECT_NEAR(plot->timeAxis()->min(), static_cast<double>(zoomFrom) / 1e6, 1e-6);

    // The wheel turned forward a notch: a fifth less time around the pointer.
    const QPoint middle = at(0.5, 0.5);
    QWheelEvent wheel(middle, viewport->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    h->deliver([&] { QApplication::sendEvent(viewport, &wheel); });
    h->settle();
    const auto [wheelFrom, wheelTo] = plot->shownUs();
    EXPECT_NEAR(static_cast<double>(wheelTo - wheelFrom), 0.8 * static_cast<double>(zoomTo - zoomFrom), 2.0);

    // Export CSV: the values of the stretch shown, each a row (the rows' bytes
    // are ValueCsvTest's).
    const QString name = h->dir.filePath(QStringLiteral("speed.csv"));
    h->dialogs.saveAnswers = {name};
    ASSERT_TRUE(h->clickButton(plot, "PlotExport"));
    const QList<QByteArray> rows = test::readFile(name).split('\n');
    EXPECT_EQ(rows.front(), QByteArray("time,name,raw,value\r"));
    EXPECT_GT(rows.size(), 10);
    EXPECT_EQ(static_cast<std::size_t>(rows.size() - 2), plot->series(0).countExact(wheelFrom, wheelTo));
    EXPECT_TRUE(rows.value(1).contains(",Board 1201-0003 [33] Speed,")) << rows.value(1).toStdString();

    // A double click: live again, following the board.
    h->deliver([&] { QTest::mouseDClick(viewport, Qt::LeftButton, {}, middle); });
    h->settle();
    EXPECT_TRUE(plot->live());
    EXPECT_FALSE(plot->findChild<QPushButton*>(QStringLiteral("PlotPause"))->isChecked());
    EXPECT_TRUE(plot->autoscale());

    // The stretch from its box with the keys; Pause from its button.
    auto* stretch = plot->findChild<QComboBox*>(QStringLiteral("PlotStretch"));
    stretch->setFocus();
    h->key(Qt::Key_Up);
    EXPECT_EQ(plot->stretchUs(), 10'000'000);
    ASSERT_TRUE(h->clickButton(plot, "PlotPause"));
    EXPECT_FALSE(plot->live());
    const auto paused = plot->shownUs();
    h->pass(1000);
    EXPECT_EQ(plot->shownUs(), paused) << "the view stands still";
    ASSERT_TRUE(h->clickButton(plot, "PlotPause"));
    EXPECT_TRUE(plot->live());
    EXPECT_GT(plot->shownUs().second, paused.second);
}

// The pump's message 16 with a speed word, as a line of the monitor's log.
QByteArray speedLine(const QString& time, std::uint16_t word)
{
    const CanMessage m =
        makeMessage(0x18EFFF21, {0x10, 0, 0, static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word & 0xFF), 0, 0, 0});
    return (time + formatMessageLine(m).mid(9)).toLatin1() + "\r\n";
}

TEST_F(PlotJourney, ALogPlayedInFileModeIsPlottedAndRecordedAtItsTimes)
{
    BoardWindow* board = pump();
    ASSERT_TRUE(enterDiagnostics(board));
    PlotWindow* live = plotFromMenu(board, kSpeed);
    ASSERT_NE(live, nullptr);
    h->pass(500);
    const std::uint64_t liveValues = live->series(0).appended();
    ASSERT_GT(liveValues, 0u);
    MonitorWindow* monitor = h->main().monitorWindow();
    ASSERT_TRUE(h->clickButton(monitor, "ModePicture"));
    ASSERT_FALSE(h->app->monitor().inCanMode());
    const QString log = writeFile(h->dir.filePath(QStringLiteral("speeds.txt")),
                                  speedLine(QStringLiteral("80.000000"), 1000) + speedLine(QStringLiteral("80.500000"), 1001)
                                      + speedLine(QStringLiteral("81.250000"), 2000));
    h->dialogs.fileAnswers = {log};
    ASSERT_TRUE(h->clickButton(monitor, "File_Open"));

    // A plot and a recording started now follow the log.
    PlotWindow* played = plotFromMenu(board, kSpeed);
    ASSERT_NE(played, live);
    chooseByKeys(screenMenu(board), QStringLiteral("Record"));
    ASSERT_EQ(recordings().size(), 1);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(h->clickButton(monitor, "Step_Button"));
    h->pass(200);
    using Points = std::vector<std::pair<std::int64_t, double>>;
    EXPECT_EQ(points(played->series(0)), (Points{{80'000'000, 1500}, {80'500'000, 1501.5}, {81'250'000, 3000}}));
    EXPECT_EQ(shownNumber(board, kSpeed), 3000);
    ASSERT_FALSE(played->drawnPoints(0).empty());
    EXPECT_EQ(played->drawnPoints(0).back(), QPointF(81.25, 3000)) << "drawn at the logged time";
    // The plot of the bus took none of them, and says so.
    EXPECT_EQ(live->series(0).appended(), liveValues);
    EXPECT_TRUE(live->statusText().contains(QStringLiteral("3 values of a played log left out: the plot follows the bus")))
        << live->statusText().toStdString();

    // Back on the bus: the plot and the recording of the log leave its values out.
    ASSERT_TRUE(h->clickButton(monitor, "ModePicture"));
    h->pass(500);
    EXPECT_GT(live->series(0).appended(), liveValues);
    EXPECT_EQ(played->series(0).appended(), 3u);
    EXPECT_TRUE(played->statusText().contains(QStringLiteral(" from the bus left out: the plot follows a played log")))
        << played->statusText().toStdString();
    QMenu* menu = screenMenu(board);
    const QAction* stop = JourneyHarness::entryNamed(menu, QStringLiteral("StopRecording"));
    ASSERT_NE(stop, nullptr);
    EXPECT_TRUE(stop->text().endsWith(QStringLiteral(" from the bus left out)"))) << stop->text().toStdString();
    chooseByKeys(menu, QStringLiteral("StopRecording"));
    const QList<QByteArray> rows = recorded(recordings().front()).split('\n');
    EXPECT_TRUE(rows.contains("80.000000,Speed,1000,1500\r"));
    EXPECT_TRUE(rows.contains("80.500000,Speed,1001,1501.5\r"));
    EXPECT_TRUE(rows.contains("81.250000,Speed,2000,3000\r"));
    EXPECT_TRUE(rows.contains("80.000000,Flow,0,0\r")) << "every value of the frame";
    for (qsizetype i = 1; i + 1 < rows.size(); ++i)
        EXPECT_TRUE(rows[i].startsWith("80.") || rows[i].startsWith("81.")) << "only the log's times: " << rows[i].toStdString();
}

// A log replayed from the bus trace into the program: its frames are decoded
// as received ones, at the times the trace gives them (from the log's first).
TEST_F(PlotJourney, ALogReplayedFromTheBusTraceIsPlottedAtItsTimes)
{
    BoardWindow* board = pump();
    ASSERT_TRUE(enterDiagnostics(board));
    // The bench is left alone in file mode: only the replay brings frames.
    MonitorWindow* monitor = h->main().monitorWindow();
    ASSERT_TRUE(h->clickButton(monitor, "ModePicture"));
    h->pass(200);
    PlotWindow* plot = plotFromMenu(board, kSpeed);
    ASSERT_NE(plot, nullptr);
    ASSERT_TRUE(plot->series(0).empty());

    ASSERT_TRUE(h->chooseFromMenu("View", QStringLiteral("ViewBusTrace")));
    TraceWindow* trace = h->main().traceWindow();
    ASSERT_NE(trace, nullptr);
    const QByteArray log = "(1700000000.000000) can0 18EFFF21#10000003E8000000\n"
                           "(1700000000.500000) can0 18EFFF21#10000003E9000000\n"
                           "(1700000001.250000) can0 18EFFF21#10000007D0000000\n";
    h->dialogs.fileAnswers = {writeFile(h->dir.filePath(QStringLiteral("speeds.log")), log)};
    ASSERT_TRUE(h->clickButton(trace, "TraceReplayOpen"));
    h->watchTimer(trace->replay().timer());
    h->pass(1500);
    ASSERT_FALSE(trace->replay().playing());

    using Points = std::vector<std::pair<std::int64_t, double>>;
    EXPECT_EQ(points(plot->series(0)), (Points{{0, 1500}, {500'000, 1501.5}, {1'250'000, 3000}}));
    EXPECT_EQ(shownNumber(board, kSpeed), 3000);
    ASSERT_FALSE(plot->drawnPoints(0).empty());
    EXPECT_EQ(plot->drawnPoints(0).back(), QPointF(1.25, 3000));
}

}  // namespace
