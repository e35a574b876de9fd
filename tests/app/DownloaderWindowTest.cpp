#include "app/MainWindow.h"
#include "core/SRecord.h"
#include "core/Twips.h"
#include "diagnostics/BoardWindow.h"
#include "firmware/DownloaderWindow.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tellvane;
using test::AppHarness;

namespace {

struct Downloading : ::testing::Test {
    explicit Downloading(const QString& bench = defaultBenchText())
        : harness{[bench](FakeClock& clock) {
              auto sim = std::make_unique<SimAdapter>(clock);
              buildBench(*sim, parseBench(bench, QStringLiteral("test")));
              return sim;
          }}
    {
    }
    AppHarness harness;
    BoardWindow* pump = nullptr;
    DownloaderWindow* window = nullptr;

    void SetUp() override
    {
        harness.main().open();
        harness.app->pollTimer().setPollingEnabled(false);
        harness.tick(40);
        for (QMdiSubWindow* sub : harness.main().mdiArea()->subWindowList()) {
            auto* w = qobject_cast<BoardWindow*>(sub->widget());
            if (w && w->windowTitle() == QStringLiteral("Board 1201-0003 [33]"))
                pump = w;
        }
        ASSERT_NE(pump, nullptr);
        window = harness.app->downloaderWindow();
        ASSERT_NE(window, nullptr);
    }
    SimBus& bus() { return static_cast<SimAdapter&>(harness.app->adapter()).bus(); }
    SimBoard& board()
    {
        for (const auto& node : bus().nodes()) {
            if (auto* b = dynamic_cast<SimBoard*>(node.get()); b && b->spec().address == 0x21)
                return *b;
        }
        throw std::runtime_error("no board 0x21");
    }
    template <typename T>
    T* child(const char* name)
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void openFromBoard()
    {
        pump->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->click();
        harness.app->downloader().requestNodeInfo();  // what the 500 ms timer does
    }
    void clickArea(const char* keyword)
    {
        auto* list = child<QListWidget>("InfoList");
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text().contains(QLatin1String(keyword))) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
                QCoreApplication::processEvents();
                return;
            }
        }
        FAIL() << keyword;
    }
    void key(QWidget* w, Qt::Key k)
    {
        QTest::keyClick(w, k);
        QCoreApplication::processEvents();
    }
    // The small file of the download tests: 30 lines of 16 bytes.
    void chooseSmallFile()
    {
        QByteArray file = makeSRecord('0', 0, "APP 4.2") + "\r\n";
        for (int i = 0; i < 30; ++i)
            file += makeSRecord('1', 0x4000 + 16 * i, QByteArray(16, static_cast<char>(i))) + "\r\n";
        file += makeSRecord('9', 0x4000, QByteArray()) + "\r\n";
        harness.dialogs.fileAnswers = {test::writeFile(harness.dir.filePath(QStringLiteral("fw/app.QXP")), file)};
    }
};

// The shipped bench with its bus running at 250 kbit/s.
struct DownloadingOnAWire : Downloading {
    DownloadingOnAWire() : Downloading(defaultBenchText() + QStringLiteral("bitrate 250000\n")) {}
};

TEST_F(Downloading, TheWindowOpensForItsBoardAndListsTheAreas)
{
    EXPECT_FALSE(window->subWindow()->isVisible());
    openFromBoard();
    EXPECT_TRUE(window->subWindow()->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Firmware DownLoader"));
    EXPECT_EQ(window->subWindow()->size(), QSize(twipsToPixels(8800, 96), twipsToPixels(5250, 96)));
    EXPECT_EQ(harness.app->boards().downloadBoardAddress(), 0x21);
    auto* list = child<QListWidget>("InfoList");
    ASSERT_EQ(list->count(), 5);
    EXPECT_TRUE(list->item(0)->text().startsWith(QStringLiteral("Board: ")));
    EXPECT_EQ(child<QPushButton>("Command1")->text(), QStringLiteral("Choose File"));
    EXPECT_EQ(child<QPushButton>("Command3")->text(), QStringLiteral("Start Download"));
    EXPECT_EQ(child<QPushButton>("MigrateCommand")->text(), QStringLiteral("Flash To Memory"));
    EXPECT_FALSE(child<QLabel>("WarningLabel")->isVisibleTo(window));
    EXPECT_EQ(child<QLabel>("WarningLabel")->text(), QStringLiteral("Warning: CAN bus warnings were detected during download"));

    clickArea("Sys:");
    EXPECT_EQ(harness.app->downloader().areaId(), QStringLiteral("1"));
}

// The area follows the selected line however it was selected: the arrow keys
// too, not only a click. A line without an area still beeps and lets go.
TEST_F(Downloading, TheAreaFollowsTheKeyboard)
{
    openFromBoard();
    auto* list = child<QListWidget>("InfoList");
    clickArea("Boot:");
    EXPECT_EQ(harness.app->downloader().areaId(), QStringLiteral("0"));
    key(list, Qt::Key_Down);
    key(list, Qt::Key_Down);
    EXPECT_TRUE(list->currentItem()->text().startsWith(QStringLiteral("pCode:")));
    EXPECT_EQ(harness.app->downloader().areaId(), QStringLiteral("2"));
    key(list, Qt::Key_Home);  // the "Board:" line
    EXPECT_EQ(harness.dialogs.beeps, 1);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(harness.app->downloader().areaId(), QStringLiteral("2"));
    key(list, Qt::Key_Down);  // on from the current line
    EXPECT_TRUE(list->selectedItems().value(0) && list->selectedItems().value(0)->text().startsWith(QStringLiteral("Boot:")));
    EXPECT_EQ(harness.app->downloader().areaId(), QStringLiteral("0"));
    EXPECT_EQ(harness.dialogs.beeps, 1);
    // A click on the line without an area, twice: a beep each time.
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(harness.dialogs.beeps, 3);
    EXPECT_TRUE(list->selectedItems().isEmpty());
}

TEST_F(DownloadingOnAWire, ADownloadFromTheWindowWhileEveryFrameTakesItsTime)
{
    ASSERT_EQ(bus().bitRate(), 250000);
    openFromBoard();
    clickArea("pCode:");
    chooseSmallFile();
    child<QPushButton>("Command1")->click();
    const std::int64_t start = harness.clock.nowMicroseconds();
    const std::int64_t busyBefore = bus().busyNs();
    child<QPushButton>("Command3")->click();
    EXPECT_EQ(child<QLineEdit>("DownloadStatusText")->text(),
              QStringLiteral("You may now choose to download another area (Step 1) or Flash to memory (Step 4)"));
    // Every packet and acknowledgement took its time, within the time the stage
    // took: 30 lines of 43 characters, six full packets and their
    // acknowledgements each, are 206 bits of 4 us at least a packet.
    const std::int64_t busy = bus().busyNs() - busyBefore;
    EXPECT_GE(busy, std::int64_t{30} * 6 * 206 * 4000);
    EXPECT_LE(busy / 1000, harness.clock.nowMicroseconds() - start);
    child<QPushButton>("MigrateCommand")->click();
    EXPECT_EQ(child<QLineEdit>("DownloadStatusText")->text(),
              QStringLiteral("Success, please wait 10 seconds and then cycle power"));
    EXPECT_EQ(board().bootLoader().flashed(2).size(), 30u * 16u);
    EXPECT_EQ(harness.app->errorLog().count(), 0);
}

TEST_F(Downloading, ClosingFreesTheBoardAndKeepsThePlace)
{
    openFromBoard();
    window->subWindow()->move(45, 30);
    window->subWindow()->close();
    EXPECT_EQ(harness.app->boards().downloadBoardAddress(), -1);
    EXPECT_EQ(harness.settings.value(QStringLiteral("DownLoadForm"), QStringLiteral("Left")),
              QString::number(pixelsToTwips(45, 96)));
    // It may be opened again at once; it starts empty and at the saved place.
    openFromBoard();
    EXPECT_EQ(window->subWindow()->pos(), QPoint(45, 30));
    EXPECT_TRUE(child<QLineEdit>("FileNameBox")->text().isEmpty());
}

}  // namespace
