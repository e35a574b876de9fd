#include "app/MainWindow.h"
#include "core/Twips.h"
#include "diagnostics/BoardWindow.h"
#include "monitor/MessageLine.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"

#include "AppTestSupport.h"
#include "FakeAdapter.h"

#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

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

QPushButton* button(QWidget* w, const char* name)
{
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
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
    EXPECT_EQ(button(w, "StartDiag")->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_EQ(button(w, "FWDownloadCommand")->text(), QStringLiteral("Enter Firmware Download Mode"));
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
}

TEST_F(BoardsOnFake, DiagnosticButtonGuards)
{
    BoardWindow* w = announce(0x21, false);
    QPushButton* start = button(w, "StartDiag");
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

// A second board while one has the downloader is a journey.
TEST_F(BoardsOnFake, FirmwareButtonGuards)
{
    BoardWindow* board = announce(0x21);
    harness.app->monitor().switchMode();
    button(board, "FWDownloadCommand")->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 1u);
    EXPECT_EQ(harness.dialogs.boxes[0].text,
              QStringLiteral("System must be in Live CAN mode to enter Firmware Download mode"));
    harness.app->monitor().switchMode();

    // Several boards may answer at the conflict address: no download there.
    BoardWindow* conflict = announce(254, false);
    adapter().clearLog();
    button(conflict, "FWDownloadCommand")->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 2u);
    EXPECT_EQ(harness.dialogs.boxes[1].text, BoardWindow::kConflictDownloadText);
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

}  // namespace
