// Journeys through the firmware downloader, as a technician takes them: the
// window opened from a board, closed with its close box and opened again,
// boards that announce themselves while it is open, the area chosen with the
// keyboard, a whole download and flash, Exit in the middle of a download.

#include "Session.h"

#include "can/BoardDirectory.h"
#include "core/SRecord.h"
#include "core/Twips.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <functional>

using namespace tellvane;
using namespace tellvane::test;

namespace {

// Runs an action inside the program's next yields: posted before a click, it
// is delivered while the click's stage lets window events run. `until` says
// when the moment has come; until then it posts itself again.
class DuringTheStage : public QObject {
public:
    DuringTheStage(std::function<bool()> until, std::function<void()> action)
        : m_until(std::move(until)), m_action(std::move(action))
    {
        post();
    }
    bool done() const { return m_done; }

private:
    void post()
    {
        QMetaObject::invokeMethod(this, [this] {
            if ((m_done = m_until()))
                m_action();
            else
                post();
        }, Qt::QueuedConnection);
    }
    std::function<bool()> m_until;
    std::function<void()> m_action;
    bool m_done = false;
};

int progressOf(JourneyHarness& h)
{
    DownloaderWindow* w = h.downloaderWindow();
    auto* bar = w ? w->findChild<QProgressBar*>(QStringLiteral("DownloadProgress")) : nullptr;
    return bar && bar->isVisible() ? bar->value() : -1;
}

using DownloaderJourney = Session;

TEST_F(DownloaderJourney, TheCloseBoxAndEnterAgainThreeTimes)
{
    QPoint placed;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QPointer<DownloaderWindow> w = enterDownload(pump());
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), kDownloaderTitle);
        QMdiSubWindow* sub = JourneyHarness::subWindowOf(w);
        EXPECT_EQ(sub->size(), QSize(twipsToPixels(8800, 96), twipsToPixels(5250, 96)));
        EXPECT_EQ(h->app->boards().downloadBoardAddress(), 0x21);
        ASSERT_TRUE(listsBoard("12010003"));
        EXPECT_TRUE(h->infoLines()[0].startsWith(QStringLiteral("Board: "))) << h->infoLines()[0].toStdString();
        auto* warning = w->findChild<QLabel*>(QStringLiteral("WarningLabel"));
        EXPECT_FALSE(warning->isVisible());
        EXPECT_EQ(warning->text(), QStringLiteral("Warning: CAN bus warnings were detected during download"));
        for (auto [name, caption] : {std::pair{"Command1", "Choose File"}, std::pair{"Command3", "Start Download"},
                                     std::pair{"MigrateCommand", "Flash To Memory"}})
            EXPECT_EQ(w->findChild<QPushButton*>(QString::fromLatin1(name))->text(), QString::fromLatin1(caption));
        auto* fileName = w->findChild<QLineEdit*>(QStringLiteral("FileNameBox"));
        if (round > 0) {
            EXPECT_EQ(sub->pos(), placed) << "it opens where it was closed";
            EXPECT_TRUE(fileName->text().isEmpty()) << "with no file chosen";
        }
        ASSERT_TRUE(clickInfo("pCode:"));
        ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("app.QXP"), firmware(2).text)));
        EXPECT_FALSE(fileName->text().isEmpty());
        ASSERT_TRUE(h->dragTitleBar(w, QPoint(30 + 10 * round, 20)));
        placed = sub->pos();

        ASSERT_TRUE(h->closeBox(w));
        EXPECT_EQ(h->downloaderWindow(), nullptr) << "the close box closes it";
        EXPECT_EQ(h->app->boards().downloadBoardAddress(), BoardDirectory::kNone) << "the board is free again";
        EXPECT_NE(pump(), nullptr);
    }
}

// Closed with the keyboard before the board answered, entered twice, then the
// area chosen with the keys.
TEST_F(DownloaderJourney, ClosedWithTheKeyboardBeforeTheBoardAnsweredThenEnteredTwiceAndKeysChooseTheArea)
{
    const std::size_t before = framesSoFar();
    ASSERT_TRUE(h->clickButton(pump(), "FWDownloadCommand"));
    ASSERT_NE(h->downloaderWindow(), nullptr);
    h->pass(100);
    h->key(Qt::Key_F4, Qt::ControlModifier);  // closes the active child window: the downloader
    ASSERT_EQ(h->downloaderWindow(), nullptr);
    h->pass(1000);
    EXPECT_EQ(textPacketsTo(0x21, before), 0) << "the information request that was due is not sent";
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), BoardDirectory::kNone);

    // Entered again and answered: a second Enter just shows the same window.
    QPointer<DownloaderWindow> w = enterDownload(pump());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(listsBoard("12010003"));
    ASSERT_TRUE(clickInfo("Sys:"));
    const std::size_t asked = framesSoFar();
    ASSERT_TRUE(h->clickButton(pump(), "FWDownloadCommand"));
    h->pass(600);
    ASSERT_EQ(h->downloaderWindow(), w.data()) << "the same window, still shown";
    EXPECT_EQ(h->infoLines().size(), 5) << "its lines kept";
    ASSERT_NE(h->infoList()->currentItem(), nullptr);
    EXPECT_TRUE(h->infoList()->currentItem()->text().startsWith(QStringLiteral("Sys: ")));
    EXPECT_EQ(textPacketsTo(0x21, asked), 0) << "the board is not asked again";
    EXPECT_TRUE(h->dialogs.boxes.empty());

    // The keyboard chooses the area.
    ASSERT_TRUE(clickInfo("Boot:"));
    ASSERT_EQ(QApplication::focusWidget(), h->infoList()) << "the click gave the list the keyboard";
    h->key(Qt::Key_Down);
    h->key(Qt::Key_Down);
    ASSERT_NE(h->infoList()->currentItem(), nullptr);
    ASSERT_TRUE(h->infoList()->currentItem()->text().startsWith(QStringLiteral("pCode: ")));
    EXPECT_TRUE(h->infoList()->currentItem()->isSelected());

    const Firmware file = firmware(12);
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("app.QXP"), file.text)));
    EXPECT_TRUE(h->dialogs.lastFilter.contains(QStringLiteral("pCode Files"))) << h->dialogs.lastFilter.toStdString();
    ASSERT_TRUE(h->clickButton(h->downloaderWindow(), "Command3"));
    EXPECT_EQ(loaded(0x21, 2), SimBootLoader::imageText(file.image)) << "the area of the current line";
    EXPECT_EQ(loaded(0x21, 0), QByteArray()) << "not the one clicked first";

    // Back on the list (Start Download took the keyboard), up once: the
    // system area, and the next download goes there.
    ASSERT_TRUE(clickInfo("pCode:"));
    h->key(Qt::Key_Up);
    ASSERT_TRUE(h->infoList()->currentItem()->text().startsWith(QStringLiteral("Sys: ")));
    const Firmware system = firmware(5, 0x8000, "SYS 2.0");
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("sys.QXS"), system.text)));
    ASSERT_TRUE(h->clickButton(h->downloaderWindow(), "Command3"));
    EXPECT_EQ(loaded(0x21, 1), SimBootLoader::imageText(system.image));
    EXPECT_EQ(loaded(0x21, 0), QByteArray());

    // Home: the Board: line, which names no area. A beep, nothing selected,
    // and the area chosen before stays; Down goes on from that line.
    ASSERT_TRUE(clickInfo("Sys:"));
    const int beeps = h->dialogs.beeps;
    h->key(Qt::Key_Home);
    EXPECT_EQ(h->dialogs.beeps, beeps + 1);
    EXPECT_TRUE(h->infoList()->selectedItems().isEmpty());
    EXPECT_EQ(h->app->downloader().areaId(), QStringLiteral("1"));
    h->key(Qt::Key_Down);
    EXPECT_EQ(h->app->downloader().areaId(), QStringLiteral("0"));
    // A click on that line, twice: a beep each time.
    ASSERT_TRUE(h->clickRow(h->infoList(), 0));
    ASSERT_TRUE(h->clickRow(h->infoList(), 0));
    EXPECT_EQ(h->dialogs.beeps, beeps + 3);
    EXPECT_TRUE(h->infoList()->selectedItems().isEmpty());
}

// The valve refused while the pump has the downloader, then served in turn;
// the pump's downloader closed by the board announcing itself, and by its
// board window closing; each time Enter opens it again.
TEST_F(DownloaderJourney, TwoBoardsInTurnAndTheBoardAnnouncingItselfOrLosingItsWindow)
{
    QPointer<BoardWindow> board = pump();
    DownloaderWindow* w = enterDownload(board);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(listsBoard("12010003"));
    ASSERT_TRUE(h->clickButton(valve(), "FWDownloadCommand"));
    ASSERT_EQ(h->dialogs.boxes.size(), 1u);
    EXPECT_EQ(h->dialogs.boxes[0].text, QStringLiteral("Another board is currently using the download feature, please "
                                                      "finish and close Firmware Downloader screen"));
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), 0x21);
    ASSERT_TRUE(h->closeBox(w));

    w = enterDownload(valve());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), 0x22);
    EXPECT_TRUE(listsBoard("13050012"));
    ASSERT_TRUE(h->closeFromSystemMenu(w));
    ASSERT_EQ(h->downloaderWindow(), nullptr);
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), BoardDirectory::kNone);

    ASSERT_NE(enterDownload(board), nullptr);
    ASSERT_TRUE(clickInfo("pCode:"));
    // It opened over the monitor: dragged by its title bar to the lower right.
    QMdiSubWindow* sub = JourneyHarness::subWindowOf(h->downloaderWindow());
    ASSERT_NE(sub, nullptr);
    ASSERT_TRUE(h->dragTitleBar(sub, QPoint(640, 420) - sub->pos()));
    EXPECT_EQ(sub->pos(), QPoint(640, 420));
    requestAllBoards();      // every board announces itself, the pump among them
    EXPECT_EQ(h->downloaderWindow(), nullptr) << "the board started again: its downloader is done";
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), BoardDirectory::kNone);
    ASSERT_EQ(pump(), board.data()) << "the board's own window stays, under its name";
    EXPECT_EQ(h->boardWindows().size(), 3) << "known boards get no second window";
    ASSERT_NE(enterDownload(board), nullptr);
    EXPECT_TRUE(listsBoard("12010003"));
    EXPECT_EQ(h->infoList()->currentItem(), nullptr) << "a new opening starts with nothing chosen";

    // The board window closed under its downloader; the board announcing
    // itself closes the downloader and brings a new window.
    ASSERT_TRUE(h->closeBox(board));
    EXPECT_EQ(pump(), nullptr);
    h->pass(600);
    requestAllBoards();
    EXPECT_EQ(h->downloaderWindow(), nullptr);
    ASSERT_NE(pump(), nullptr);
    ASSERT_NE(enterDownload(pump()), nullptr);
    EXPECT_TRUE(listsBoard("12010003"));
}

// The board restarting in the middle of a download; then the adapter switched
// with the windows open.
TEST_F(DownloaderJourney, TheBoardRestartingInTheMiddleOfADownloadThenTheAdapterSwitched)
{
    SimBoard* board = h->simBoard(0x21);
    ASSERT_NE(board, nullptr);
    board->bootLoader().faults().announceAfterLines = 8;
    ASSERT_NE(enterDownload(pump()), nullptr);
    ASSERT_TRUE(clickInfo("pCode:"));
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("pump.QXP"), firmware(60).text)));
    const int announcedBefore = board->announcements();

    ASSERT_TRUE(h->clickButton(h->downloaderWindow(), "Command3"));
    EXPECT_EQ(board->announcements(), announcedBefore + 1);
    EXPECT_EQ(h->downloaderWindow(), nullptr) << "the restart closed the downloader";
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), BoardDirectory::kNone);
    EXPECT_FALSE(h->app->downloader().isRunning());
    const std::size_t after = framesSoFar();
    // A few seconds for the board: it answered what reached it after its
    // restart and waits for acknowledgements that do not come.
    h->pass(3000);
    EXPECT_EQ(textPacketsTo(0x21, after), 0) << "nothing more for the board";

    QPointer<BoardWindow> window = pump();
    ASSERT_NE(enterDownload(window), nullptr);
    EXPECT_TRUE(listsBoard("12010003"));

    // The adapter switched with the windows open.
    ASSERT_TRUE(clickInfo("Sys:"));
    ASSERT_TRUE(h->chooseFromMenu("Adapter", QStringLiteral("Adapter:library")));
    h->pass(1500);
    EXPECT_EQ(h->app->adapter().name(), QStringLiteral("library"));
    MonitorWindow* monitor = h->main().monitorWindow();
    EXPECT_TRUE(monitor->findChild<QWidget*>(QStringLiteral("InterfaceErrLabel_1"))->isVisible())
        << "Interface Missing";
    EXPECT_EQ(h->boardWindows().size(), 3) << "the windows stay";

    ASSERT_TRUE(h->chooseFromMenu("Adapter", QStringLiteral("Adapter:sim")));  // a new bench
    h->pass(1500);
    ASSERT_NE(h->bench(), nullptr);
    EXPECT_TRUE(monitor->findChild<QWidget*>(QStringLiteral("InterfaceErrLabel_0"))->isVisible()) << "OK";
    EXPECT_EQ(h->downloaderWindow(), nullptr) << "the board announced itself on the new bench";
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(h->boardWindows().size(), 3);

    ASSERT_NE(enterDownload(window), nullptr);
    EXPECT_TRUE(listsBoard("12010003"));
    ASSERT_TRUE(clickInfo("Config:"));
    const Firmware file = firmware(6, 0xC000, "CFG 3");
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("c.QXC"), file.text)));
    ASSERT_TRUE(h->clickButton(h->downloaderWindow(), "Command3"));
    EXPECT_EQ(loaded(0x21, 3), SimBootLoader::imageText(file.image)) << "on the new bench's board";
}

// The board erases the area as soon as it hears which: a file with a wrong
// checksum is refused before it hears anything. A click on the line already
// chosen empties the status, as the first click does; then a good file is
// downloaded and flashed.
TEST_F(DownloaderJourney, ACorruptFileIsRefusedThenAWholeDownloadAndFlash)
{
    DownloaderWindow* w = enterDownload(pump());
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(clickInfo("pCode:"));
    QByteArray corrupt = firmware(5).text;
    const qsizetype lastDigit = corrupt.indexOf("\r\nS9") - 1;  // the checksum of the last data record
    corrupt[lastDigit] = corrupt.at(lastDigit) == '0' ? '1' : '0';
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("corrupt.QXP"), corrupt)));
    const std::size_t before = framesSoFar();
    ASSERT_TRUE(h->clickButton(w, "Command3"));
    EXPECT_EQ(h->downloaderStatus(), QStringLiteral("Error, corrupted S19 file format"));
    EXPECT_EQ(textPacketsTo(0x21, before), 0) << "no \"$1Z\", no area named to erase";
    ASSERT_TRUE(h->infoList()->currentItem()->isSelected());
    ASSERT_TRUE(clickInfo("pCode:"));
    EXPECT_EQ(h->downloaderStatus(), QString());

    const Firmware file = firmware(40, 0x4000, "APP 4.2");
    const QString path = h->writeFirmware(QStringLiteral("app.QXP"), file.text);
    ASSERT_TRUE(chooseFile(path));
    EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("FileNameBox"))->text(), path);

    auto* start = w->findChild<QPushButton*>(QStringLiteral("Command3"));
    auto* flash = w->findChild<QPushButton*>(QStringLiteral("MigrateCommand"));
    bool disabledWhileRunning = false;
    DuringTheStage watch([&] { return progressOf(*h) > 0; },
                         [&] { disabledWhileRunning = !start->isEnabled() && !flash->isEnabled(); });
    ASSERT_TRUE(h->click(start));
    EXPECT_TRUE(watch.done());
    EXPECT_TRUE(disabledWhileRunning) << "the steps' buttons are off while a stage runs";
    EXPECT_EQ(h->downloaderStatus(),
              QStringLiteral("You may now choose to download another area (Step 1) or Flash to memory (Step 4)"));
    EXPECT_EQ(progressOf(*h), 100);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(w->findChild<QWidget*>(QStringLiteral("WarningLabel"))->isVisible());
    EXPECT_EQ(loaded(0x21, 2), SimBootLoader::imageText(file.image));

    ASSERT_TRUE(h->click(flash));
    EXPECT_EQ(h->downloaderStatus(), QStringLiteral("Success, please wait 10 seconds and then cycle power"));
    SimBoard* board = h->simBoard(0x21);
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(SimBootLoader::imageText(board->bootLoader().flashed(2)), SimBootLoader::imageText(file.image));
    EXPECT_EQ(board->bootLoader().areaLabel(2), QStringLiteral("APP 4.2"));
    EXPECT_EQ(h->app->errorLog().count(), 0);
}

TEST_F(DownloaderJourney, ClosingTheWindowInTheMiddleOfADownloadEndsIt)
{
    ASSERT_NE(enterDownload(pump()), nullptr);
    ASSERT_TRUE(clickInfo("pCode:"));
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("app.QXP"), firmware(200).text)));

    std::size_t atClose = 0;
    DuringTheStage closeIt([&] { return progressOf(*h) >= 10; },
                           [&] {
                               h->closeBox(h->downloaderWindow());
                               atClose = framesSoFar();
                           });
    ASSERT_TRUE(h->clickButton(h->downloaderWindow(), "Command3"));
    ASSERT_TRUE(closeIt.done());
    EXPECT_EQ(h->downloaderWindow(), nullptr);
    EXPECT_FALSE(h->app->downloader().isRunning());
    EXPECT_EQ(textPacketsTo(0x21, atClose), 0) << "nothing more went to the board";
    EXPECT_LT(loaded(0x21, 2).count('\n'), 100) << "the download stopped";

    h->pass(600);
    ASSERT_NE(pump(), nullptr);
    ASSERT_TRUE(h->clickButton(pump(), "FWDownloadCommand"));
    DownloaderWindow* again = h->downloaderWindow();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->windowTitle(), kDownloaderTitle);
    h->pass(600);
    EXPECT_FALSE(h->infoLines().isEmpty());
}

TEST_F(DownloaderJourney, ExitInTheMiddleOfADownload)
{
    ASSERT_NE(enterDownload(pump()), nullptr);
    ASSERT_TRUE(clickInfo("pCode:"));
    const int lines = 300;
    ASSERT_TRUE(chooseFile(h->writeFirmware(QStringLiteral("app.QXP"), firmware(lines).text)));

    QSignalSpy finished(&h->main(), &MainWindow::finished);
    std::size_t atExit = 0;
    QObject::connect(&h->main(), &MainWindow::finished, [&] { atExit = framesSoFar(); });
    // File > Exit with the mouse, while the download lets window events run.
    DuringTheStage exitNow([&] { return progressOf(*h) >= 10; },
                           [&] { h->chooseFromMenu("File", QStringLiteral("Exit")); });
    ASSERT_TRUE(h->clickButton(h->downloaderWindow(), "Command3"));
    ASSERT_TRUE(exitNow.done());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(h->app->downloader().isRunning()) << "the stage ended";
    EXPECT_EQ(framesSoFar(), atExit) << "nothing more went to the board after Exit";
    EXPECT_LT(loaded(0x21, 2).count('\n'), lines / 2) << "the download did not run on to its end";

    h->endProgram();
    EXPECT_EQ(h->app, nullptr);
}

}  // namespace
