// The monkey run: random input on the whole program on the simulated bench,
// then the checks that it still answers.
//
//   TELLVANE_MONKEY_EVENTS=N    inputs in all (default 20,000, shared by the default seeds)
//   TELLVANE_MONKEY_SEED=S      one session with this seed (default: a fixed seed and a few more)
//   TELLVANE_MONKEY_SECONDS=T   sessions with seeds S, S+1, ... until T real seconds passed
//   TELLVANE_MONKEY_TRACE=1     prints every input as it is chosen
//
// Every session prints its seed first; a failure repeats it with the latest
// inputs. TELLVANE_MONKEY_SEED=S TELLVANE_MONKEY_EVENTS=N replays a session.

#include "Monkey.h"
#include "Session.h"

#include "app/HelpWindow.h"
#include "can/BoardDirectory.h"
#include "monitor/MonitorController.h"
#include "sim/BenchFile.h"

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <iostream>

using namespace tellvane;
using namespace tellvane::test;

namespace {

constexpr std::uint64_t kDefaultSeeds[] = {1, 42, 1977, 65537};
constexpr int kDefaultEvents = 20000;

// A log as the monitor saves it: the bench's announcements and P-code replies,
// diagnostic frames, text packets of a board in firmware download, a request to all.
QByteArray playbackLog()
{
    QByteArray log;
    double t = 0;
    auto add = [&](const CanMessage& m) {
        log += formatMessageLine(m).toLatin1() + "\r\n";
        t += 0.02;
    };
    const BenchSpec bench = parseBench(defaultBenchText(), QStringLiteral("log"));
    for (std::size_t i = 0; i < bench.boards.size(); ++i) {
        SimBoardSpec spec = bench.boards[i];
        SimBoard board(spec, static_cast<int>(i));
        add(messageOf(board.announcement(), t));
        add(makeMessage(static_cast<std::int32_t>(0x18EFF900u + static_cast<std::uint32_t>(spec.address)),
                        {0x05, static_cast<std::uint8_t>(spec.pCode >> 24), static_cast<std::uint8_t>(spec.pCode >> 16),
                         static_cast<std::uint8_t>(spec.pCode >> 8), static_cast<std::uint8_t>(spec.pCode)},
                        t));
        for (int k = 0; k < 4; ++k) {
            for (const SimFrame& f : board.diagnosticFrames(static_cast<std::int64_t>(k) * 100000))
                add(messageOf(f, t));
        }
    }
    add(makeMessage(0x18EFF921, {0xFE, 'B', 'o', 'a', 'r', 'd', ':', ' '}, t));
    add(makeMessage(0x18EFF921, {0xFE}, t));
    add(makeMessage(static_cast<std::int32_t>(0x98EAFFF9u), {0x00, 0xEE, 0x00}, 0));
    return log;
}

test::Monkey::Files prepareFiles(JourneyHarness& h)
{
    test::Monkey::Files files;
    files.firmware = h.writeFirmware(QStringLiteral("good.QXP"), firmware(24).text);
    QByteArray badSum = firmware(10).text;
    badSum.replace(badSum.indexOf("\r\nS1") + 40, 2, "00");  // a record whose checksum is off
    files.broken.append(h.writeFirmware(QStringLiteral("checksum.QXP"), badSum));
    files.broken.append(h.writeFirmware(QStringLiteral("junk.QXP"), "S1\r\nhello\r\n\x01\x02\xff\r\nS9030000FC\r\n"));
    files.broken.append(h.writeFirmware(QStringLiteral("empty.QXP"), QByteArray()));
    files.log = writeFile(h.dir.filePath(QStringLiteral("logs/bench.txt")), playbackLog());
    files.missing = h.dir.filePath(QStringLiteral("firmware/none.QXP"));
    return files;
}

// What holds whenever control is back in the event loop.
bool sound(JourneyHarness& h, const test::Monkey& monkey)
{
    bool ok = true;
    auto fail = [&](const char* what) {
        ADD_FAILURE() << what << "\n" << monkey.trail().toStdString();
        ok = false;
    };
    if (h.app->downloader().isRunning())
        fail("a download stage is still marked running with nothing on the stack");
    if (h.app->link().draining())
        fail("the link is still marked draining with nothing on the stack");
    if (h.app->boards().downloadBoardAddress() != BoardDirectory::kNone && !h.downloaderWindow())
        fail("a board holds the downloader, but no downloader is shown: every other board is locked out");
    // Every window can be reached: its title bar lies where the frame's scroll
    // bars can bring it. (A maximised window covers the frame, and its scroll
    // bars are off, until it is restored.)
    QMdiArea* area = h.main().mdiArea();
    const QList<QMdiSubWindow*> shown = h.shownSubWindows();
    if (std::any_of(shown.begin(), shown.end(), [](const QMdiSubWindow* sub) { return sub->isMaximized(); }))
        return ok;
    const QScrollBar* across = area->horizontalScrollBar();
    const QScrollBar* down = area->verticalScrollBar();
    const QRect reach(across->minimum() - across->value(), down->minimum() - down->value(),
                      area->viewport()->width() + across->maximum() - across->minimum(),
                      area->viewport()->height() + down->maximum() - down->minimum());
    for (QMdiSubWindow* sub : shown) {
        const QRect caption(sub->pos(), QSize(sub->width(), 20));
        if (!sub->isMinimized() && !reach.intersects(caption)) {
            QString where;
            QDebug(&where) << sub->geometry() << "outside" << reach;
            fail(("a window no scroll bar can reach: " + JourneyHarness::describe(sub) + ' ' + where).toUtf8().constData());
        }
    }
    return ok;
}

// Put at a place in the frame, as a window manager's "arrange" would. The
// tidying up after thousands of random inputs does not drag: a window's
// title bar may still hold the state of a press whose release went to another
// window, and dragging windows has journeys of its own. The frame may scroll
// as the window moves (its scroll range shrinks to what is left), and that
// scroll carries the window along: once it is done, a second move stays put.
bool moveTo(JourneyHarness& h, QWidget* window, QPoint place)
{
    QMdiSubWindow* sub = JourneyHarness::subWindowOf(window);
    for (int i = 0; i < 3 && sub->pos() != place; ++i) {
        sub->move(place);
        h.settle();
    }
    return sub->pos() == place;
}

// Menus closed, a window left moving or sizing from its system menu let go:
// Escape, as the technician presses it, until nothing holds the input.
void letGo(JourneyHarness& h)
{
    for (int i = 0; i < 5; ++i) {
        QWidget* busy = QApplication::activePopupWidget();
        if (!busy)
            busy = QWidget::mouseGrabber() ? QWidget::mouseGrabber() : QWidget::keyboardGrabber();
        if (!busy)
            break;
        h.deliver([busy] { QTest::keyClick(busy, Qt::Key_Escape); });
        h.settle();
    }
}

// A session per seed on the shipped bench; at the end the technician tidies
// up and checks the program still does its work.
class Monkey : public Session {
protected:
    void SetUp() override {}  // every seed starts a program of its own
    void runSession(std::uint64_t seed, int events);
    void checkItStillAnswers(const test::Monkey& monkey);
};

void Monkey::checkItStillAnswers(const test::Monkey& monkey)
{
    JourneyHarness& h = *this->h;
    SCOPED_TRACE(monkey.trail().toStdString());
    letGo(h);
    ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
    ASSERT_EQ(QWidget::mouseGrabber(), nullptr);
    MonitorWindow* monitor = h.main().monitorWindow();
    ASSERT_NE(monitor, nullptr);
    QMdiSubWindow* monitorFrame = JourneyHarness::subWindowOf(monitor);
    // Every other window closed, as the window system closes them; the monitor
    // shown as it was made, at the top left of the frame.
    auto closeTheOthers = [&] {
        for (QMdiSubWindow* sub : h.shownSubWindows()) {
            if (sub != monitorFrame)
                sub->close();
        }
        h.settle();
    };
    closeTheOthers();
    if (!monitorFrame->isVisible() || monitorFrame->isMinimized() || monitorFrame->isMaximized())
        monitorFrame->showNormal();
    h.settle();
    ASSERT_TRUE(moveTo(h, monitor, QPoint(0, 0)));
    // Live, on the simulated bench.
    if (!h.app->monitor().inCanMode()) {
        ASSERT_TRUE(h.clickButton(monitor, "ModePicture"));
    }
    if (h.app->adapters().adapterName() != QLatin1String("sim")) {
        letGo(h);
        ASSERT_TRUE(h.chooseFromMenu("Adapter", QStringLiteral("Adapter:sim")))
            << "popup " << JourneyHarness::describe(QApplication::activePopupWidget()).toStdString();
        letGo(h);  // an entry that could not be taken leaves its menu open
    }
    h.pass(1500);
    ASSERT_NE(h.bench(), nullptr);
    EXPECT_TRUE(monitor->findChild<QWidget*>(QStringLiteral("InterfaceErrLabel_0"))->isVisible()) << "the link is OK";
    closeTheOthers();  // a new bench announced its boards
    ASSERT_EQ(h.shownSubWindows().size(), 1);
    ASSERT_TRUE(moveTo(h, monitor, QPoint(0, 0)));

    // The boards answer a request to all: each gets its window again.
    requestAllBoards();
    for (const QString& title : {kPump, kValve, kHeater})
        EXPECT_NE(h.boardWindow(title), nullptr) << title.toStdString();

    // A board window still opens the downloader. The windows came back where
    // they were left, over each other and the monitor: closed again, asked
    // again with the monitor put aside (minimised) at once, the other boards'
    // windows closed.
    closeTheOthers();
    ASSERT_TRUE(moveTo(h, monitor, QPoint(0, 0)));
    ASSERT_TRUE(h.clickButton(monitor, "Command6"));
    ASSERT_TRUE(h.click(monitorFrame, JourneyHarness::titleBarPoint(monitorFrame, QStyle::SC_TitleBarMinButton)));
    h.pass(500);
    BoardWindow* board = pump();
    ASSERT_NE(board, nullptr);
    for (BoardWindow* w : h.boardWindows()) {
        if (w != board)
            JourneyHarness::subWindowOf(w)->close();
    }
    h.settle();
    ASSERT_TRUE(moveTo(h, board, QPoint(600, 0)));
    DownloaderWindow* downloader = enterDownload(board);
    ASSERT_NE(downloader, nullptr);
    EXPECT_EQ(downloader->windowTitle(), kDownloaderTitle);
    EXPECT_TRUE(listsBoard("12010003"));

    // The main window still answers its keys (once a menu the clicks above
    // may have opened on a title bar is closed).
    letGo(h);
    QWidget* target = h.keyTarget();
    h.key(Qt::Key_F1);
    EXPECT_NE(h.shownWindow<HelpWindow>(), nullptr)
        << "F1 went to " << JourneyHarness::describe(target).toStdString() << "; the active window is "
        << JourneyHarness::describe(QApplication::activeWindow()).toStdString() << ", the focus window "
        << (QGuiApplication::focusWindow() ? QGuiApplication::focusWindow()->objectName().toStdString() : "none");
}

void Monkey::runSession(std::uint64_t seed, int events)
{
    std::cout << "monkey: seed " << seed << ", " << events << " inputs" << std::endl;
    QElapsedTimer took;
    took.start();
    this->h.reset();
    Session::SetUp();
    JourneyHarness& h = *this->h;
    test::Monkey monkey(h, seed, prepareFiles(h));
    bool exitChosen = false;
    QAction* exit = h.main().menuBar()->findChild<QAction*>(QStringLiteral("Exit"));
    ASSERT_NE(exit, nullptr);
    QObject::connect(exit, &QAction::triggered, [&] { exitChosen = true; });

    for (int i = 0; i < events; ++i) {
        monkey.step();
        if (!sound(h, monkey))
            return;
        if (exitChosen) {
            // The monkey never picks Exit itself, but a posted click can land on
            // it in an open File menu. That ends the program, at once and whole:
            // the link stops and no download stage goes on.
            SCOPED_TRACE(monkey.trail().toStdString());
            EXPECT_FALSE(h.app->pollTimer().pollingEnabled());
            EXPECT_FALSE(h.app->downloader().isOpen());
            h.endProgram();
            std::cout << "monkey: seed " << seed << " ended by File > Exit after " << monkey.steps() << " inputs"
                      << std::endl;
            return;
        }
    }
    checkItStillAnswers(monkey);
    h.endProgram();
    std::cout << "monkey: seed " << seed << " done in " << took.elapsed() << " ms; posted inputs that arrived during a "
              << "download stage: " << monkey.insideStage() << ", during a drain: " << monkey.insideDrain() << std::endl;
}

TEST_F(Monkey, RandomInputLeavesTheProgramAnswering)
{
    bool ok = false;
    const int events = qEnvironmentVariableIntValue("TELLVANE_MONKEY_EVENTS", &ok);
    const int total = ok && events > 0 ? events : kDefaultEvents;
    const QByteArray seedText = qgetenv("TELLVANE_MONKEY_SEED");
    const std::uint64_t firstSeed = seedText.isEmpty() ? kDefaultSeeds[0] : seedText.toULongLong();
    const int seconds = qEnvironmentVariableIntValue("TELLVANE_MONKEY_SECONDS");

    if (seconds > 0) {
        // A long run: sessions of the given length one after another.
        const int perSession = ok && events > 0 ? events : kDefaultEvents / static_cast<int>(std::size(kDefaultSeeds));
        QElapsedTimer running;
        running.start();
        for (std::uint64_t seed = firstSeed; running.elapsed() < std::int64_t{seconds} * 1000 && !HasFailure(); ++seed)
            runSession(seed, perSession);
        return;
    }
    if (!seedText.isEmpty()) {
        runSession(firstSeed, total);
        return;
    }
    for (const std::uint64_t seed : kDefaultSeeds) {
        runSession(seed, total / static_cast<int>(std::size(kDefaultSeeds)));
        if (HasFailure())
            return;
    }
}

}  // namespace
