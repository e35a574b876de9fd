#include "app/ErrorListWindow.h"
#include "app/ErrorLog.h"
#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/SaveLogName.h"
#include "app/SplashWindow.h"
#include "core/ErrorReporting.h"
#include "core/Twips.h"
#include "monitor/MonitorWindow.h"
#include "sim/SimAdapter.h"
#include "sim/TrafficNode.h"
#include "ui/FreePlace.h"

#include "AppTestSupport.h"
#include "FakeAdapter.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace tellvane;
using test::AppHarness;

namespace {

// The size of a window's frame; outer sizes are set in twips and land on whole pixels.
QSize outer(QWidget* child)
{
    return child->parentWidget()->size();
}

QSize twips(QWidget* child, int width, int height)
{
    return {twipsToPixels(width, child->logicalDpiX()), twipsToPixels(height, child->logicalDpiY())};
}

template <typename T>
T* find(QWidget* parent, const char* name)
{
    T* w = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

bool shown(QWidget* w)
{
    return w && w->isVisibleTo(w->window());
}

struct OpenApp : ::testing::Test {
    AppHarness harness{std::make_unique<test::FakeAdapter>()};
    test::FakeAdapter& adapter() { return static_cast<test::FakeAdapter&>(harness.app->adapter()); }
    MonitorWindow* monitor = nullptr;

    void SetUp() override
    {
        harness.main().open();
        harness.app->pollTimer().setPollingEnabled(false);  // the test ticks by hand
        monitor = harness.main().monitorWindow();
        ASSERT_NE(monitor, nullptr);
    }
};

TEST(SaveLogName, EnglishMonthWhateverTheLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::French));
    EXPECT_EQ(saveLogFileName(QStringLiteral("/d/Velmarco/Tellvane/"), QDateTime(QDate(2011, 2, 3), QTime(14, 5, 9))),
              QStringLiteral("/d/Velmarco/Tellvane/2011-Feb-03_140509.txt"));
    EXPECT_EQ(saveLogFileName(QStringLiteral("x/"), QDateTime(QDate(1999, 12, 31), QTime(0, 0, 0))),
              QStringLiteral("x/1999-Dec-31_000000.txt"));
    EXPECT_EQ(recordingFileName(QStringLiteral("x/"), QDateTime(QDate(2011, 2, 3), QTime(14, 5, 9)),
                                QStringLiteral("1201-0003_33")),
              QStringLiteral("x/2011-Feb-03_140509_1201-0003_33.csv"));
    QLocale::setDefault(saved);
}

TEST_F(OpenApp, MainWindowLoadNamesTheRunAndShowsTheMonitor)
{
    EXPECT_EQ(harness.main().windowTitle(), QStringLiteral("Tellvane Diagnostic Software Ver. 1.0.0"));
    EXPECT_TRUE(harness.main().windowState() & Qt::WindowMaximized);
    const QString expected = harness.dataFolder() + QStringLiteral("Tellvane/2011-Feb-03_140509.txt");
    EXPECT_EQ(harness.main().saveLogFile(), expected);
    EXPECT_TRUE(QDir(harness.dataFolder() + QStringLiteral("Tellvane")).exists()) << "folders made on the way";
    auto* fileName = find<QLineEdit>(monitor, "FileNameText");
    EXPECT_EQ(fileName->text(), expected);
    EXPECT_EQ(fileName->cursorPosition(), expected.size()) << "the end of the path is in view";
    EXPECT_EQ(monitor->windowTitle(), QStringLiteral("CAN Interface and Data"));
    int shownWindows = 0;
    for (QMdiSubWindow* sub : harness.main().mdiArea()->subWindowList())
        shownWindows += sub->isVisible();
    EXPECT_EQ(shownWindows, 1) << "the monitor alone";
    EXPECT_EQ(harness.main().errorListWindow(), nullptr) << "made by the first message only";

    // Another instance started in the same second saved first: this run's log takes a name of its own.
    test::writeFile(expected, "");
    find<QCheckBox>(monitor, "SaveToFileEnable")->click();
    const QString own = harness.dataFolder() + QStringLiteral("Tellvane/2011-Feb-03_140509_2.txt");
    EXPECT_EQ(harness.main().saveLogFile(), own);
    EXPECT_EQ(fileName->text(), own);
}

TEST_F(OpenApp, MonitorHeightAndVisibleControlsFollowModeAndDisplay)
{
    auto* display = find<QCheckBox>(monitor, "DisplayLiveCANCheck");
    auto* list = find<QListView>(monitor, "LogMessageList");
    EXPECT_FALSE(display->isChecked());
    EXPECT_GE(pixelsToTwips(list->y(), monitor->logicalDpiY()), 4000) << "the short window cuts the list off";
    EXPECT_GT(list->y(), monitor->height());
    display->click();
    EXPECT_EQ(outer(monitor), twips(monitor, 8800, 8350));
    EXPECT_LT(list->geometry().bottom(), monitor->height()) << "the whole list fits the tall window";
    display->click();

    auto* picture = find<QLabel>(monitor, "ModePicture");
    EXPECT_EQ(picture->toolTip(), QStringLiteral("Click here to switch modes"));
    const QImage liveImage = picture->pixmap().toImage();
    EXPECT_EQ(liveImage.size(), QSize(45, 30));
    // Live, a click on the picture to file mode, another back: the height, the
    // controls shown, the label and the picture follow the mode.
    for (const bool live : {true, false, true}) {
        SCOPED_TRACE(live);
        EXPECT_EQ(harness.app->monitor().inCanMode(), live);
        EXPECT_EQ(outer(monitor), twips(monitor, 8800, live ? 3900 : 8350));
        EXPECT_EQ(picture->pixmap().toImage() == liveImage, live);
        for (const char* name : {"DisplayLiveCANCheck", "ASCIICheck", "SaveToFileEnable", "FileNameText", "Command6",
                                 "CANStatusFrame"})
            EXPECT_EQ(shown(find<QWidget>(monitor, name)), live) << name;
        for (const char* name : {"FileStatusFrame", "File_Open", "Play_Button", "FF_Button", "Step_Button", "Stop_Button"})
            EXPECT_EQ(shown(find<QWidget>(monitor, name)), !live) << name;
        EXPECT_EQ(find<QLabel>(monitor, "ModeLabel")->text(),
                  live ? QStringLiteral("Current Mode = Live CAN") : QStringLiteral("Current Mode = File Mode"));
        QTest::mouseClick(picture, Qt::LeftButton);
    }
    EXPECT_EQ(find<QToolButton>(monitor, "File_Open")->toolTip(), QStringLiteral("Choose File to Open"));
    EXPECT_EQ(find<QToolButton>(monitor, "FF_Button")->text(), QStringLiteral("Run Full Speed"));
}

TEST_F(OpenApp, StatusPanelShowsTheLink)
{
    harness.tick();
    QCoreApplication::processEvents();
    auto* ok = find<QLabel>(monitor, "InterfaceErrLabel_0");
    EXPECT_TRUE(shown(ok));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(ok->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_FALSE(shown(find<QLabel>(monitor, "InterfaceErrLabel_1")));
    EXPECT_FALSE(shown(find<QLabel>(monitor, "ErrLabelOK"))) << "no register read yet";

    adapter().errorRegister = 0x48;
    harness.tick(40);
    QCoreApplication::processEvents();
    EXPECT_TRUE(shown(find<QLabel>(monitor, "ErrLabel6")));
    EXPECT_EQ(find<QLabel>(monitor, "ErrLabel6")->text(), QStringLiteral("Buffer 0"));
    EXPECT_EQ(find<QLabel>(monitor, "ErrLabel3")->palette().color(QPalette::Window), QColor(255, 128, 0));
    EXPECT_FALSE(shown(find<QLabel>(monitor, "ErrLabel7")));

    adapter().pushMessage(1, {1}, 0x20);
    adapter().queuedCount = 12;
    harness.tick();
    QCoreApplication::processEvents();
    auto* buffer = find<QLabel>(monitor, "ErrLabel8");
    EXPECT_TRUE(shown(buffer));
    EXPECT_EQ(buffer->text(), QStringLiteral("Buffer = 1500"));
    EXPECT_EQ(find<QLineEdit>(monitor, "MIBText")->text(), QStringLiteral("12"));
    QTest::mouseClick(buffer, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(shown(buffer));
}

// Its title, count, Clear List and close box are used in the journeys.
TEST_F(OpenApp, ErrorListShowsEveryMessageAndComesBackWhereItWas)
{
    printError(QStringLiteral("first"));
    ErrorListWindow* errors = harness.main().errorListWindow();
    ASSERT_NE(errors, nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(errors->subWindow()->isVisible());
    EXPECT_EQ(outer(errors), twips(errors, 8175, 3420));

    printError(QString(66, QLatin1Char('x')));
    QCoreApplication::processEvents();
    EXPECT_EQ(errors->list()->model()->rowCount(), 3);
    EXPECT_EQ(errors->list()->model()->index(2, 0).data().toString(), QStringLiteral("-->x"));

    errors->subWindow()->move(150, 90);
    errors->subWindow()->close();
    EXPECT_EQ(harness.settings.value(QStringLiteral("ErrorForm"), QStringLiteral("Left")),
              QString::number(pixelsToTwips(150, errors->logicalDpiX())));
    EXPECT_EQ(harness.app->errorLog().lines().size(), 0u) << "closing empties the list";

    printError(QString());
    QCoreApplication::processEvents();
    EXPECT_TRUE(errors->subWindow()->isVisible());
    EXPECT_EQ(errors->subWindow()->pos(), QPoint(150, 90));
    EXPECT_EQ(errors->list()->model()->rowCount(), 1) << "an empty message is a line too";
}

TEST(ErrorLog, CountSaturatesAndLinesAreBounded)
{
    ErrorLog log;
    for (int i = 0; i < 33000; ++i)
        log.print(QStringLiteral("message %1").arg(i));
    log.lines().flush();
    EXPECT_EQ(log.count(), ErrorLog::kCountLimit);
    EXPECT_EQ(log.lines().size(), ErrorLog::kLineLimit);
    EXPECT_EQ(log.lines().at(ErrorLog::kLineLimit - 1), QStringLiteral("message 32999"));
    log.clear();
    EXPECT_EQ(log.count(), 0);
    log.print(QStringLiteral("x"));
    EXPECT_EQ(log.count(), 1);
}

// What Exit keeps is checked in the journeys; here where a kept place opens.
// Beside the others first, then below; with no free place the one hiding no
// title bar and the least of the others; none when larger than the frame.
TEST(FreePlace, BesideBelowLeastHiddenOrNone)
{
    struct Case {
        QSize area;
        QList<QRect> windows;
        QSize size;
        std::optional<QPoint> place;
    };
    const QList<Case> cases{
        {{1000, 800}, {}, {300, 200}, QPoint(0, 0)},
        {{1000, 800}, {{0, 0, 300, 200}}, {300, 200}, QPoint(306, 0)},
        {{700, 800}, {{0, 0, 300, 200}, {306, 0, 300, 200}}, {300, 200}, QPoint(0, 206)},
        {{500, 300}, {{0, 0, 200, 150}}, {400, 200}, QPoint(100, 100)},
        {{500, 300}, {}, {501, 100}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(freePlace(QRect(QPoint(0, 0), c.area), c.windows, c.size, 24), c.place) << c.size.width();
    EXPECT_EQ(cascadePlace(QRect(0, 0, 500, 300), {200, 100}, 8), QPoint(112, 28));
}

TEST(MonitorPlace, TheKeptPlaceIsWhereTheMonitorOpens)
{
    AppHarness harness{std::make_unique<test::FakeAdapter>()};
    harness.settings.savePosition(QStringLiteral("CANForm"), 900, 600);
    harness.main().open();
    EXPECT_EQ(harness.main().monitorWindow()->subWindow()->pos(), QPoint(40, 60));
}

TEST_F(OpenApp, ClosingBlocksReception)
{
    QSignalSpy finished(&harness.main(), &MainWindow::finished);
    adapter().clearLog();
    const int delaysBefore = harness.clock.delayCalls();
    harness.main().close();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(harness.app->pollTimer().pollingEnabled());
    ASSERT_FALSE(adapter().calls.empty());
    EXPECT_EQ(adapter().calls.front(), "RecCANMess 9FFFFFFF 13");
    EXPECT_EQ(harness.clock.delayCalls(), delaysBefore + 1);
    EXPECT_EQ(harness.clock.delayedMs(), 250);
}

// Help shown is the journeys'; here its absence, then the frame's scroll bars,
// which do not follow windows shown or hidden: a kept window shown again comes
// back into sight, and hiding a maximised one gives the others their scroll
// bars back.
TEST_F(OpenApp, HelpReportsTheAbsenceOfItsPagesAndKeptWindowsNeverLeaveOthersOutOfReach)
{
    harness.main().showHelp();
    ASSERT_EQ(harness.app->errorLog().count(), 1);
    harness.app->errorLog().lines().flush();
    EXPECT_EQ(harness.app->errorLog().lines().at(0) + harness.app->errorLog().lines().at(1).mid(3),
              QStringLiteral("An unexpected error 76'Path not found' occured when trying to load the help file"));
    EXPECT_TRUE(!harness.main().helpWindow() || !harness.main().helpWindow()->subWindow()->isVisible())
        << "no empty help window is shown";

    test::writeFile(harness.programFolder() + QStringLiteral("/help/index.html"), "<html><body>help</body></html>");
    harness.main().showHelp();
    QMdiSubWindow* help = harness.main().helpWindow()->subWindow();
    QMdiArea* area = harness.main().mdiArea();
    const QRect visible = area->viewport()->rect();
    help->close();
    help->move(visible.width() + 400, visible.height() + 300);  // where the frame has scrolled away from
    harness.main().showHelp();
    ASSERT_TRUE(help->isVisible());
    EXPECT_TRUE(visible.contains(QRect(help->pos(), QSize(help->width(), 24))))
        << help->geometry().x() << "," << help->geometry().y();

    QMdiSubWindow* monitorFrame = monitor->subWindow();
    help->showMaximized();
    monitorFrame->move(100, visible.height() + 200);  // behind the maximised window
    help->close();
    EXPECT_GE(area->verticalScrollBar()->maximum(), 200) << "the monitor can be scrolled to";
}

// Installed, the program lies in bin/ and its help in share/tellvane/help; in
// a build tree the help beside the program comes first.
TEST(ProgramFiles, HelpFromTheInstalledFolderUnlessBesideTheProgram)
{
    for (const bool besideToo : {false, true}) {
        AppHarness harness;
        const QString installed = harness.dir.filePath(QStringLiteral("share/tellvane"));
        test::writeFile(installed + QStringLiteral("/help/index.html"), "<html><body>installed help</body></html>");
        QDir().mkpath(installed + QStringLiteral("/Configuration"));
        if (besideToo) {
            test::writeFile(harness.programFolder() + QStringLiteral("/help/index.html"),
                            "<html><body>help beside</body></html>");
            QDir().mkpath(harness.programFolder() + QStringLiteral("/Configuration"));
        }
        harness.start(std::make_unique<test::FakeAdapter>());
        harness.main().open();
        auto* contents = harness.main().findChild<QAction*>(QStringLiteral("HelpContents"));
        ASSERT_NE(contents, nullptr);
        contents->trigger();
        QCoreApplication::processEvents();
        ASSERT_NE(harness.main().helpWindow(), nullptr) << besideToo;
        EXPECT_EQ(harness.main().helpWindow()->browser()->toPlainText(),
                  besideToo ? QStringLiteral("help beside") : QStringLiteral("installed help"));
        EXPECT_EQ(harness.app->errorLog().count(), 0);
    }
}

TEST(Splash, KeyPressOpensTheMainWindowOnce)
{
    int opened = 0;
    auto* splash = new SplashWindow([&] { ++opened; });
    EXPECT_EQ(splash->versionLabel()->text(), QStringLiteral("Version 1.0.0"));
    EXPECT_TRUE(splash->timer().isActive());
    EXPECT_EQ(splash->timer().interval(), 2000);
    splash->show();
    QTest::keyClick(splash, Qt::Key_Space);
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(splash->timer().isActive());
    splash->proceed();  // the timer's tick arriving late
    EXPECT_EQ(opened, 1);
    delete splash;
}

std::unique_ptr<Adapter> benchWithTraffic(FakeClock& clock)
{
    auto sim = std::make_unique<SimAdapter>(clock);
    addDemoTraffic(sim->bus());
    return sim;
}

// From the simulated bench through the link to the monitor list and the save log.
TEST(EndToEnd, SimulatedTrafficReachesTheListAndTheSaveLog)
{
    AppHarness harness;
    harness.start(benchWithTraffic(harness.clock));
    harness.main().open();
    harness.app->pollTimer().setPollingEnabled(false);
    MonitorWindow* monitor = harness.main().monitorWindow();
    find<QCheckBox>(monitor, "DisplayLiveCANCheck")->click();
    find<QCheckBox>(monitor, "ASCIICheck")->click();
    find<QCheckBox>(monitor, "SaveToFileEnable")->click();

    harness.tick(80);  // two seconds on the bench
    find<QPushButton>(monitor, "Command6")->click();
    harness.tick(4);
    QCoreApplication::processEvents();

    auto* list = find<QListView>(monitor, "LogMessageList");
    const int rows = list->model()->rowCount();
    ASSERT_GE(rows, 30);
    QStringList shownLines;
    bool sawText = false;
    for (int r = 0; r < rows; ++r) {
        const QString item = list->model()->index(r, 0).data().toString();
        shownLines.append(item.left(45));
        sawText |= item.contains(QStringLiteral(" 18EFFF23 8 ")) && item.endsWith(QStringLiteral("     Tellvane"));
    }
    EXPECT_TRUE(shownLines.first().startsWith(QStringLiteral("00.000000 00000000 0"))) << "the first probe";
    EXPECT_TRUE(sawText) << "ASCII text of the text frame";
    EXPECT_TRUE(shownLines.contains(QStringLiteral("00.000000 98EAFFF9 3 00 EE 00                ")))
        << "the board request, logged as sent";

    // The save log holds the same lines, 47 bytes each, once written out.
    QCoreApplication::processEvents();
    const QByteArray saved = test::readFile(harness.main().saveLogFile());
    ASSERT_EQ(saved.size() % 47, 0);
    QStringList savedLines;
    for (qsizetype at = 0; at < saved.size(); at += 47) {
        EXPECT_EQ(saved.mid(at + 45, 2), QByteArray("\r\n"));
        savedLines.append(QString::fromLatin1(saved.mid(at, 45)));
    }
    EXPECT_EQ(savedLines, shownLines);
    EXPECT_EQ(harness.app->errorLog().count(), 0);
}

// Visible controls lie inside their parent and do not overlap a visible sibling,
// in every state the window can be in.
void expectTidyLayout(QWidget* window)
{
    QApplication::processEvents();
    const QList<QWidget*> all = window->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisibleTo(window) || w->isWindow() || !w->parentWidget())
            continue;
        QWidget* parent = w->parentWidget();
        if (qobject_cast<QAbstractScrollArea*>(parent) || parent->inherits("QAbstractScrollArea")
            || parent->objectName().startsWith(QLatin1String("qt_")) || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const bool clipped = parent == window && (w->objectName() == QLatin1String("LogMessageList") || w->objectName() == QLatin1String("ListHeading"));
        if (!clipped && parent->isVisibleTo(window) && parent->layout() == nullptr) {
            EXPECT_TRUE(parent->rect().contains(w->geometry()))
                << w->objectName().toStdString() << " sticks out of " << parent->objectName().toStdString();
        }
        for (QWidget* other : all) {
            if (other == w || other->parentWidget() != parent || !other->isVisibleTo(window) || other->isWindow())
                continue;
            if (parent->layout() != nullptr || other->objectName().startsWith(QLatin1String("qt_")))
                continue;
            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                << w->objectName().toStdString() << " overlaps " << other->objectName().toStdString();
        }
    }
}

TEST_F(OpenApp, WindowsLookTidyInEveryMode)
{
    harness.tick();
    adapter().errorRegister = 0xFE;
    adapter().pushMessage(0x18EFFF21, {0x41, 0x42, 3}, 0x20);
    harness.tick(40);
    QApplication::processEvents();
    expectTidyLayout(monitor);
    find<QCheckBox>(monitor, "DisplayLiveCANCheck")->click();
    find<QCheckBox>(monitor, "ASCIICheck")->click();
    adapter().pushMessage(0x18EFFF21, {0x54, 0x65, 0x6C, 0x6C, 0x76, 0x61, 0x6E, 0x65}, 0, 4000);
    harness.tick();
    expectTidyLayout(monitor);
    QTest::mouseClick(find<QLabel>(monitor, "ModePicture"), Qt::LeftButton);
    expectTidyLayout(monitor);
    printError(QStringLiteral("An unexpected error 6'Overflow' occured within CheckForInComingCANMessages and a "
                              "long tail to show the split"));
    QApplication::processEvents();
    expectTidyLayout(harness.main().errorListWindow());
}

}  // namespace
