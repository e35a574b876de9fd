// Journeys through where windows open and what places the program keeps:
// places kept from earlier runs that lie off the frame or are no numbers a
// window can take, help opened on a full frame, and Exit with its event loop
// running, which keeps the places of the windows that were open and of no
// other.

#include "Session.h"

#include "app/HelpWindow.h"
#include "core/SettingsStore.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

using namespace tellvane;
using namespace tellvane::test;

namespace {

class PlacesJourney : public Session {
protected:
    QRect frame() const { return QRect(QPoint(0, 0), h->main().mdiArea()->viewport()->size()); }
    // The title bar can be taken: it lies in the frame, at least 40 pixels of it.
    bool withinReach(QWidget* window) const
    {
        QMdiSubWindow* sub = JourneyHarness::subWindowOf(window);
        const QRect caption(sub->pos(), QSize(sub->width(), 24));
        return caption.top() >= 0 && caption.bottom() < frame().height() && caption.intersected(frame()).width() >= 40;
    }
    QString kept(const char* section, const char* name) const
    {
        return h->settings.value(QString::fromLatin1(section), QString::fromLatin1(name));
    }
    // File > Exit as the program takes it: inside its event loop, which the
    // end of the program's own loop closes the windows in.
    void exitThroughTheMenu()
    {
        QSignalSpy finished(&h->main(), &MainWindow::finished);
        QObject::connect(&h->main(), &MainWindow::finished, qApp, &QApplication::quit, Qt::QueuedConnection);
        // Should the menu or Exit fail, the loop is left at once all the same.
        QTimer::singleShot(0, [this, &finished] {
            if (!h->chooseFromMenu("File", QStringLiteral("Exit")) || finished.isEmpty())
                QCoreApplication::exit(1);
        });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_EQ(finished.count(), 1);
    }
};

// Places off the frame or no numbers open where the window can be taken; help
// opens whole in the full frame; Exit keeps places a window can take.
TEST_F(PlacesJourney, PlacesOffTheFrameOrNoNumbersOpenWhereTheWindowCanBeTakenAndHelpWhole)
{
    h->settings.setValue(QStringLiteral("ErrorForm"), QStringLiteral("Top"), QStringLiteral("1e300"));
    h->settings.setValue(QStringLiteral("ErrorForm"), QStringLiteral("Left"), QStringLiteral("99999999999"));
    h->settings.setValue(QStringLiteral("DownLoadForm"), QStringLiteral("Top"), QStringLiteral("90000"));
    h->settings.setValue(QStringLiteral("DownLoadForm"), QStringLiteral("Left"), QStringLiteral("120"));

    // The pump's window closed (keeping its place), the place then spoilt; the
    // pump announces itself again: its window comes back, not at 30000 twips.
    ASSERT_TRUE(h->closeBox(pump()));
    h->settings.setValue(QStringLiteral("1201-0003"), QStringLiteral("Top"), QStringLiteral("300"));
    h->settings.setValue(QStringLiteral("1201-0003"), QStringLiteral("Left"), QStringLiteral("30000"));
    requestAllBoards();
    h->pass(1000);  // its P-code reply, which places it
    ASSERT_NE(pump(), nullptr);
    EXPECT_TRUE(withinReach(pump())) << JourneyHarness::describe(JourneyHarness::subWindowOf(pump())).toStdString();

    ASSERT_NE(enterDownload(pump()), nullptr);
    EXPECT_TRUE(withinReach(h->downloaderWindow()));

    // An error brings the error list.
    writeFile(h->programFolder() + QStringLiteral("/Configuration/412-0101.cfg"), "BOGUS, 1\n");
    ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(h->boardWindow(kHeater))));
    ASSERT_TRUE(h->clickButton(h->boardWindow(kHeater), "StartDiag"));
    ErrorListWindow* errors = h->shownWindow<ErrorListWindow>();
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(JourneyHarness::subWindowOf(errors)->pos(), QPoint(0, 0)) << "where it opens with no place kept";

    // Help opens whole in the frame, full as it is now.
    h->key(Qt::Key_F1);
    HelpWindow* help = h->shownWindow<HelpWindow>();
    ASSERT_NE(help, nullptr);
    QMdiSubWindow* sub = JourneyHarness::subWindowOf(help);
    EXPECT_TRUE(frame().contains(sub->geometry())) << JourneyHarness::describe(sub).toStdString();
    EXPECT_EQ(h->main().mdiArea()->horizontalScrollBar()->maximum(), 0) << "no window beyond the right edge";
    EXPECT_EQ(h->main().mdiArea()->verticalScrollBar()->maximum(), 0);
    // No title bar of the others is hidden under it.
    for (QMdiSubWindow* other : h->shownSubWindows()) {
        if (other != sub) {
            EXPECT_FALSE(sub->geometry().contains(QRect(other->pos(), QSize(other->width(), 24))))
                << JourneyHarness::describe(other).toStdString();
        }
    }

    // What is kept at the end are the places the windows had.
    const QPoint errorsAt = JourneyHarness::subWindowOf(errors)->pos();
    exitThroughTheMenu();
    bool ok = false;
    EXPECT_EQ(kept("ErrorForm", "Top").toInt(&ok), errorsAt.y() * 15);
    EXPECT_TRUE(ok);
    for (const char* section : {"ErrorForm", "DownLoadForm", "1201-0003", "CANForm"}) {
        for (const char* name : {"Top", "Left"}) {
            const int twips = kept(section, name).toInt(&ok);
            EXPECT_TRUE(ok && twips >= 0 && twips < 30000) << section << ' ' << name << '=' << kept(section, name).toStdString();
        }
    }
    h->endProgram();
}

TEST_F(PlacesJourney, ExitKeepsThePlacesOfTheWindowsThatWereOpenOnly)
{
    // A place of the downloader's from an earlier run; it is not opened in this one.
    ASSERT_TRUE(h->settings.savePosition(QStringLiteral("DownLoadForm"), 1500, 2000));
    // The downloader opened and closed again, and the error list, keep theirs too.
    ASSERT_NE(enterDownload(pump()), nullptr);
    ASSERT_TRUE(h->dragTitleBar(h->downloaderWindow(), QPoint(40, 30)));
    const QPoint downloaderAt = JourneyHarness::subWindowOf(h->downloaderWindow())->pos();
    ASSERT_TRUE(h->closeBox(h->downloaderWindow()));
    const QString downloaderTop = kept("DownLoadForm", "Top");
    EXPECT_EQ(downloaderTop, QString::number(downloaderAt.y() * 15)) << "kept when closed";

    // The monitor moved, the valve's window moved.
    QWidget* monitor = h->main().monitorWindow();
    ASSERT_TRUE(h->dragTitleBar(monitor, QPoint(30, 45)));
    const QPoint monitorAt = JourneyHarness::subWindowOf(monitor)->pos();
    ASSERT_TRUE(h->dragTitleBar(valve(), QPoint(-20, 60)));
    const QPoint valveAt = JourneyHarness::subWindowOf(valve())->pos();

    exitThroughTheMenu();
    EXPECT_EQ(kept("DownLoadForm", "Top"), downloaderTop) << "the hidden downloader keeps the place it closed at";
    EXPECT_EQ(kept("CANForm", "Top"), QString::number(monitorAt.y() * 15));
    EXPECT_EQ(kept("CANForm", "Left"), QString::number(monitorAt.x() * 15));
    EXPECT_EQ(kept("1305-0012", "Top"), QString::number(valveAt.y() * 15));
    EXPECT_EQ(kept("1305-0012", "Left"), QString::number(valveAt.x() * 15));
    EXPECT_TRUE(kept("ErrorForm", "Top").isEmpty()) << "the error list never opened";
    h->endProgram();
}

TEST_F(PlacesJourney, AHiddenDownloaderNeverOpenedLeavesItsKeptPlace)
{
    ASSERT_TRUE(h->settings.savePosition(QStringLiteral("DownLoadForm"), 1500, 2000));
    exitThroughTheMenu();
    EXPECT_EQ(kept("DownLoadForm", "Top"), QStringLiteral("1500"));
    EXPECT_EQ(kept("DownLoadForm", "Left"), QStringLiteral("2000"));
    h->endProgram();
}

}  // namespace
