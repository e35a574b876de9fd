#include "app/MainWindow.h"
#include "can/BoardMessages.h"
#include "core/Twips.h"
#include "diagnostics/BoardWindow.h"
#include "monitor/MessageLine.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"

#include "AppTestSupport.h"
#include "FakeAdapter.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tellvane;
using test::AppHarness;
using test::makeMessage;

namespace {

QList<BoardWindow*> boardWindows(MainWindow& main)
{
    QList<BoardWindow*> out;
    const auto subs = main.mdiArea()->subWindowList();
    for (QMdiSubWindow* sub : subs) {
        if (auto* w = qobject_cast<BoardWindow*>(sub->widget()))
            out.append(w);
    }
    return out;
}

BoardWindow* windowTitled(MainWindow& main, const QString& title)
{
    const auto windows = boardWindows(main);
    for (BoardWindow* w : windows) {
        if (w->windowTitle() == title)
            return w;
    }
    return nullptr;
}

QString text(QWidget* w, const char* name)
{
    auto* box = w->findChild<QLineEdit*>(QString::fromLatin1(name));
    return box ? box->text() : QStringLiteral("<none>");
}

QSize outerPx(QWidget* w, int widthTwips, int heightTwips)
{
    return {twipsToPixels(widthTwips, w->logicalDpiX()), twipsToPixels(heightTwips, w->logicalDpiY())};
}

std::unique_ptr<Adapter> benchOf(FakeClock& clock, const QString& benchText)
{
    auto sim = std::make_unique<SimAdapter>(clock);
    buildBench(*sim, parseBench(benchText, QStringLiteral("test")));
    return sim;
}

// A program on the fake adapter, with boards announced by hand.
struct BoardsOnFake : ::testing::Test {
    AppHarness harness{std::make_unique<test::FakeAdapter>()};
    test::FakeAdapter& adapter() { return static_cast<test::FakeAdapter&>(harness.app->adapter()); }

    void SetUp() override
    {
        harness.main().open();
        harness.app->pollTimer().setPollingEnabled(false);
        harness.tick();
    }
    void receive(std::uint32_t id, std::vector<std::uint8_t> data)
    {
        adapter().pushMessage(id, std::move(data));
        harness.tick();
    }
    BoardWindow* announce(int address, bool withPCode = true)
    {
        receive(0x18EFFF00u + static_cast<std::uint32_t>(address), {0xFF, 0, 0x01, 0x80, 0x40, 0, 0, 7});
        if (withPCode)
            receive(0x18EFF900u + static_cast<std::uint32_t>(address), {5, 0x00, 0xBC, 0x61, 0x4E});
        const auto windows = boardWindows(harness.main());
        return windows.isEmpty() ? nullptr : windows.back();
    }
    int sentTo(int address, std::vector<std::uint8_t> data)
    {
        int n = 0;
        for (const auto& s : adapter().sent)
            n += s.id == (0x98EF00F9u | static_cast<std::uint32_t>(address) << 8) && s.data == data;
        return n;
    }
};

TEST_F(BoardsOnFake, WindowShowsTheBoardAtItsFixedLayout)
{
    BoardWindow* w = announce(0x21, false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Board Type 1537"));
    EXPECT_EQ(w->subWindow()->size(), outerPx(w, 7020, 3690));
    EXPECT_EQ(text(w, "AddrText"), QStringLiteral("33"));
    EXPECT_EQ(text(w, "SerialNumText"), QStringLiteral("7"));
    EXPECT_EQ(text(w, "BTypeText"), QString());
    auto* frame = w->findChild<QGroupBox*>(QStringLiteral("Frame1"));
    EXPECT_EQ(frame->title(), QStringLiteral("Board Information"));
    EXPECT_EQ(frame->size(), QSize(twipsToPixels(6495, 96), twipsToPixels(2895, 96)));
    EXPECT_EQ(w->findChild<QPushButton*>(QStringLiteral("StartDiag"))->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_EQ(w->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->text(),
              QStringLiteral("Enter Firmware Download Mode"));
    EXPECT_FALSE(w->findChild<QLabel*>(QStringLiteral("ErrorNodeLabel"))->isVisibleTo(w));

    receive(0x18EFF921, {5, 0x00, 0xBC, 0x61, 0x4E});
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Board 1234-5678 [33]"));
    EXPECT_EQ(text(w, "BTypeText"), QStringLiteral("1234"));
    EXPECT_EQ(text(w, "PCodeText"), QStringLiteral("5678"));
}

TEST_F(BoardsOnFake, ConflictWindowIsMarkedOffLine)
{
    BoardWindow* w = announce(254, false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Board Type 1537 [Conflict]"));
    EXPECT_EQ(w->subWindow()->size(), outerPx(w, 4455, 2370));
    auto* offline = w->findChild<QLabel*>(QStringLiteral("ErrorNodeLabel"));
    EXPECT_TRUE(offline->isVisibleTo(w));
    EXPECT_EQ(offline->text(), QStringLiteral("This board is OFF-LINE"));
    EXPECT_EQ(offline->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(w->findChild<QGroupBox*>(QStringLiteral("Frame1"))->size(),
              QSize(twipsToPixels(3975, 96), twipsToPixels(1575, 96)));
    EXPECT_EQ(sentTo(254, {5}), 0);
    announce(254, false);
    EXPECT_EQ(boardWindows(harness.main()).size(), 2);
}

TEST_F(BoardsOnFake, DiagnosticButtonGuards)
{
    BoardWindow* w = announce(0x21, false);
    auto* start = w->findChild<QPushButton*>(QStringLiteral("StartDiag"));
    start->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 1u);
    EXPECT_EQ(harness.dialogs.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(harness.dialogs.boxes[0].text, QStringLiteral("Cannot enter diagnostic mode as there is not a valid PCode value"));

    receive(0x18EFF921, {5, 0x00, 0xBC, 0x61, 0x4E});
    adapter().clearLog();
    start->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 2u);
    EXPECT_EQ(harness.dialogs.boxes[1].text, QStringLiteral("Could not find a matching .CFG file for this board"));
    EXPECT_EQ(start->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_TRUE(adapter().sent.empty()) << "nothing is sent";
}

TEST_F(BoardsOnFake, FirmwareButtonGuards)
{
    BoardWindow* first = announce(0x21);
    BoardWindow* second = announce(0x22);
    harness.app->monitor().switchMode();
    first->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 1u);
    EXPECT_EQ(harness.dialogs.boxes[0].text,
              QStringLiteral("System must be in Live CAN mode to enter Firmware Download mode"));
    harness.app->monitor().switchMode();
    harness.app->boards().setDownloadBoardAddress(0x21);
    second->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 2u);
    EXPECT_EQ(harness.dialogs.boxes[1].text, QStringLiteral("Another board is currently using the download feature, "
                                                            "please finish and close Firmware Downloader screen"));
    first->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->click();
    EXPECT_EQ(harness.dialogs.boxes.size(), 2u) << "the same board is let through";
    harness.app->downloader().closeDownloader();

    // Several boards may answer at the conflict address: no download there.
    BoardWindow* conflict = announce(254, false);
    adapter().clearLog();
    conflict->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 3u);
    EXPECT_EQ(harness.dialogs.boxes[2].text, BoardWindow::kConflictDownloadText);
    EXPECT_EQ(harness.app->boards().downloadBoardAddress(), -1);
    EXPECT_FALSE(harness.app->downloader().isOpen());
    EXPECT_TRUE(adapter().sent.empty());
}

TEST_F(BoardsOnFake, ClosingSavesThePlaceForTheNextWindowOfItsKind)
{
    BoardWindow* w = announce(0x21);
    w->subWindow()->move(90, 60);
    const int slot = w->formIndex();
    w->subWindow()->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(harness.app->boards().slot(slot).nodeAddress, -1);
    EXPECT_EQ(harness.settings.value(QStringLiteral("1234-5678"), QStringLiteral("Left")),
              QString::number(pixelsToTwips(90, 96)));
    EXPECT_EQ(harness.settings.value(QStringLiteral("1234-5678"), QStringLiteral("Top")),
              QString::number(pixelsToTwips(60, 96)));
    EXPECT_TRUE(boardWindows(harness.main()).isEmpty());

    // The board announces itself again: a new window, moved to the saved place by its P-code.
    BoardWindow* again = announce(0x21);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->formIndex(), slot);
    EXPECT_EQ(again->subWindow()->pos(), QPoint(90, 60));

    // A window whose P-code never came saves under "-".
    BoardWindow* unknown = announce(0x30, false);
    unknown->subWindow()->close();
    EXPECT_FALSE(harness.settings.value(QStringLiteral("-"), QStringLiteral("Top")).isEmpty());
}

TEST_F(BoardsOnFake, ClosingInDiagnosticModeSendsNothing)
{
    BoardWindow* w = announce(0x21);
    harness.app->boards().setDiagMode(w->formIndex(), true);
    adapter().clearLog();
    w->subWindow()->close();
    EXPECT_TRUE(adapter().sent.empty()) << "no diagnostic-off request";
    receive(0x18EFFF21, {0x10, 1, 2});
    EXPECT_EQ(harness.app->errorLog().count(), 0);
}

TEST_F(BoardsOnFake, BoardRequestAsksKnownBoardsAgain)
{
    announce(0x21);
    announce(0x22);
    adapter().clearLog();
    harness.main().monitorWindow()->findChild<QPushButton*>(QStringLiteral("Command6"))->click();
    ASSERT_EQ(adapter().sent.size(), 1u);
    EXPECT_EQ(adapter().sent[0].id, 0x98EAFFF9u);
    receive(0x18EFFF21, {0xFF, 0, 0x01, 0x80, 0x40, 0, 0, 7});
    receive(0x18EFFF22, {0xFF, 0, 0x01, 0x80, 0x40, 0, 0, 8});
    EXPECT_EQ(sentTo(0x21, {5}), 1);
    EXPECT_EQ(sentTo(0x22, {5}), 1);
    EXPECT_EQ(boardWindows(harness.main()).size(), 2);
}

TEST_F(BoardsOnFake, PlayedBackAnnouncementsMakeWindows)
{
    QByteArray log;
    for (const CanMessage& m : {makeMessage(0x18EFFF21, {0xFF, 0, 0x01, 0x80, 0x40, 0, 0, 7}),
                                makeMessage(0x18EFF921, {5, 0x00, 0xBC, 0x61, 0x4E})})
        log += formatMessageLine(m).toLatin1() + "\r\n";
    harness.dialogs.fileAnswers = {test::writeFile(harness.dir.filePath(QStringLiteral("played.txt")), log)};
    harness.app->monitor().switchMode();
    harness.app->monitor().chooseLogFile();
    harness.app->monitor().step();
    harness.app->monitor().step();
    BoardWindow* w = windowTitled(harness.main(), QStringLiteral("Board 1234-5678 [33]"));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(sentTo(0x21, {5}), 1) << "the window asks the board, as for a live announcement";
    EXPECT_EQ(harness.app->monitorList().size(), 15u) << "the request's line stays out of the playback list";
}

// The simulated bench through the link to filled board windows.
TEST(BoardsEndToEnd, TheBenchFillsItsWindows)
{
    AppHarness harness([](FakeClock& clock) { return benchOf(clock, defaultBenchText()); });
    QImage picture(152, 152, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QDir().mkpath(harness.programFolder() + QStringLiteral("/Configuration"));
    ASSERT_TRUE(picture.save(harness.programFolder() + QStringLiteral("/Configuration/1201-0003.jpg"), "JPG"));

    harness.main().open();
    harness.main().showNormal();
    harness.main().resize(1600, 1000);  // room for every window, whatever the test screen
    QCoreApplication::processEvents();
    harness.app->pollTimer().setPollingEnabled(false);
    harness.tick(40);
    QCoreApplication::processEvents();

    const auto windows = boardWindows(harness.main());
    ASSERT_EQ(windows.size(), 3) << "three boards; the conflict board is switched off";
    BoardWindow* pump = windowTitled(harness.main(), QStringLiteral("Board 1201-0003 [33]"));
    BoardWindow* valves = windowTitled(harness.main(), QStringLiteral("Board 1305-0012 [34]"));
    BoardWindow* display = windowTitled(harness.main(), QStringLiteral("Board 0412-0101 [35]"));
    ASSERT_TRUE(pump && valves && display);
    EXPECT_EQ(text(pump, "SerialNumText"), QStringLiteral("7"));
    EXPECT_EQ(text(display, "BTypeText"), QStringLiteral("0412"));
    EXPECT_EQ(text(display, "PCodeText"), QStringLiteral("0101"));
    EXPECT_FALSE(pump->findChild<QLabel*>(QStringLiteral("BoardPic"))->pixmap().isNull());
    EXPECT_TRUE(valves->findChild<QLabel*>(QStringLiteral("BoardPic"))->pixmap().isNull()) << "no picture for it";

    // Side by side: no window covers another or the monitor.
    QList<QRect> places{harness.main().monitorWindow()->subWindow()->geometry()};
    for (BoardWindow* w : windows)
        places.append(w->subWindow()->geometry());
    for (int i = 0; i < places.size(); ++i) {
        for (int j = i + 1; j < places.size(); ++j)
            EXPECT_FALSE(places[i].intersects(places[j])) << i << " and " << j;
    }
    EXPECT_EQ(harness.app->errorLog().count(), 0);
}

TEST(BoardsEndToEnd, TheConflictBoardWhenSwitchedOn)
{
    QString bench = defaultBenchText();
    bench.replace(QStringLiteral("12010003 off"), QStringLiteral("12010003 on"));
    AppHarness harness([&](FakeClock& clock) { return benchOf(clock, bench); });
    harness.main().open();
    harness.app->pollTimer().setPollingEnabled(false);
    harness.tick(40);
    EXPECT_NE(windowTitled(harness.main(), QStringLiteral("Board Type 1537 [Conflict]")), nullptr);
    EXPECT_EQ(boardWindows(harness.main()).size(), 4);
}

// A window with a diagnostic screen to show: a file of its P-code that makes
// the window larger.
TEST(BoardWindowModes, EnteringAndLeavingDiagnosticMode)
{
    AppHarness harness([](FakeClock& clock) { return benchOf(clock, defaultBenchText()); });
    harness.main().open();
    harness.app->pollTimer().setPollingEnabled(false);
    harness.tick(40);
    auto& sim = static_cast<SimAdapter&>(harness.app->adapter());
    BoardDirectory& boards = harness.app->boards();
    auto streaming = [&sim] {
        for (const auto& node : sim.bus().nodes()) {
            if (auto* b = dynamic_cast<SimBoard*>(node.get()); b && b->spec().address == 0x21)
                return b->diagnosticMode();
        }
        return false;
    };

    QDir(harness.programFolder()).mkpath(QStringLiteral("Configuration"));
    QFile cfg(harness.programFolder() + QStringLiteral("/Configuration/1201-0003.cfg"));
    ASSERT_TRUE(cfg.open(QIODevice::WriteOnly));
    cfg.write("FORM, 9000, 7000\r\nLABEL, Pressure, 3600, 120, 1000, 255\r\nBWLTEXT, -, 3600, 1200, 900, 285, 16, B, 1, 1, 0, D, 0\r\n");
    cfg.close();
    BoardWindow* w = new BoardWindow(BoardWindowServices{boards, harness.dialogs, harness.settings,
                                                         harness.programFolder(), [] { return true; }, {}, {}});
    harness.main().addChild(w);
    boards.createNewForm(0, 0, 0);  // a slot for it, as discovery would make
    w->initialise(static_cast<std::int16_t>(boards.slotCount() - 1), 1537, 0x21, 7);
    w->showPCode(QStringLiteral("1201"), QStringLiteral("0003"), QStringLiteral("Board 1201-0003 [33]"));

    auto* start = w->findChild<QPushButton*>(QStringLiteral("StartDiag"));
    start->click();
    EXPECT_EQ(w->screen().controlCount(), 2);
    EXPECT_EQ(w->subWindow()->size(), outerPx(w, 9000, 7000)) << "as FORM says";
    EXPECT_EQ(start->text(), QStringLiteral("Exit Diagnostic Mode"));
    EXPECT_TRUE(boards.slot(w->formIndex()).diagMode);
    harness.tick(8);
    EXPECT_TRUE(streaming()) << "the board was told diagnostic on";

    start->click();
    EXPECT_EQ(w->screen().controlCount(), 0);
    EXPECT_EQ(start->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_FALSE(boards.slot(w->formIndex()).diagMode);
    EXPECT_EQ(w->subWindow()->size(), outerPx(w, 7020, 3690));
    harness.tick(8);
    EXPECT_FALSE(streaming());
}

}  // namespace
