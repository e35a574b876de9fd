// Journeys through the closable windows other than the downloader: board
// windows, a conflict window, the error list and help, closed and opened
// again in varied orders with the event loop running.

#include "Session.h"

#include "app/ErrorListWindow.h"
#include "app/HelpWindow.h"
#include "core/Twips.h"
#include "diagnostics/DynTextBox.h"
#include "sim/SimAdapter.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <functional>

using namespace tellvane;
using namespace tellvane::test;

namespace {

QString buttonText(QWidget* window, const char* name)
{
    auto* button = window ? window->findChild<QPushButton*>(QString::fromLatin1(name)) : nullptr;
    return button ? button->text() : QStringLiteral("<none>");
}

// Text boxes of a diagnostic screen that show a value.
int filledBoxes(BoardWindow* w)
{
    int n = 0;
    for (int i = 0; w && i < w->screen().controlCount(); ++i) {
        if (auto* box = dynamic_cast<DynTextBox*>(w->screen().control(i)); box && !box->text().isEmpty())
            ++n;
    }
    return n;
}

using WindowJourney = Session;

// Input that waits while the program is busy is handled in one go: a window
// closed and opened again at once must come back, though the closed one is
// only deleted afterwards.
void atOnce(JourneyHarness& h, const QList<std::function<void()>>& inputs)
{
    for (const std::function<void()>& input : inputs)
        QMetaObject::invokeMethod(qApp, [&h, input] { h.deliver(input); }, Qt::QueuedConnection);
    h.settle();
}

// The bench's boards fill their windows, side by side, each with its picture
// when the Configuration folder has one; a board window's fixed layout; what
// its buttons refuse, and why; the place it closed at, where the board's next
// window opens.
TEST_F(WindowJourney, BoardWindowsTheirLayoutGuardsAndKeptPlaces)
{
    ASSERT_EQ(h->boardWindows().size(), 3) << "the conflict board is switched off";
    auto text = [](BoardWindow* b, const char* name) { return b->findChild<QLineEdit*>(QString::fromLatin1(name))->text(); };
    EXPECT_EQ(text(h->boardWindow(kHeater), "BTypeText"), QStringLiteral("0412"));
    EXPECT_EQ(text(h->boardWindow(kHeater), "PCodeText"), QStringLiteral("0101"));
    QList<QRect> places{JourneyHarness::subWindowOf(h->main().monitorWindow())->geometry()};
    for (BoardWindow* b : h->boardWindows()) {
        EXPECT_FALSE(b->findChild<QLabel*>(QStringLiteral("BoardPic"))->pixmap().isNull()) << b->windowTitle().toStdString();
        places.append(JourneyHarness::subWindowOf(b)->geometry());
    }
    for (int i = 0; i < places.size(); ++i) {
        for (int j = i + 1; j < places.size(); ++j)
            EXPECT_FALSE(places[i].intersects(places[j])) << i << " and " << j;
    }

    BoardWindow* w = pump();
    auto twips = [w](int width, int height) { return QSize(twipsToPixels(width, w->logicalDpiX()), twipsToPixels(height, w->logicalDpiY())); };
    EXPECT_EQ(JourneyHarness::subWindowOf(w)->size(), twips(7020, 3690));
    const std::pair<const char*, const char*> boxes[] = {
        {"AddrText", "33"}, {"SerialNumText", "7"}, {"BTypeText", "1201"}, {"PCodeText", "0003"}};
    for (const auto& [name, value] : boxes)
        EXPECT_EQ(text(w, name), QLatin1String(value)) << name;
    auto* frame = w->findChild<QGroupBox*>(QStringLiteral("Frame1"));
    EXPECT_EQ(frame->title(), QStringLiteral("Board Information"));
    EXPECT_EQ(frame->size(), QSize(twipsToPixels(6495, 96), twipsToPixels(2895, 96)));
    EXPECT_EQ(buttonText(w, "StartDiag"), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_EQ(buttonText(w, "FWDownloadCommand"), QStringLiteral("Enter Firmware Download Mode"));
    EXPECT_FALSE(w->findChild<QLabel*>(QStringLiteral("ErrorNodeLabel"))->isVisibleTo(w));

    // A board at 40 announces itself and never answers the P-code request.
    h->bench()->bus().transmit(pumpAnnouncementAt(40), h->bench()->bus().nowUs(), nullptr);
    h->pass(1000);
    BoardWindow* silent = h->boardWindow(QStringLiteral("Board Type 288"));
    ASSERT_NE(silent, nullptr);
    EXPECT_EQ(text(silent, "BTypeText"), QString());
    ASSERT_TRUE(h->clickButton(silent, "StartDiag"));
    ASSERT_EQ(h->dialogs.boxes.size(), 1u);
    EXPECT_EQ(h->dialogs.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(h->dialogs.boxes[0].text, QStringLiteral("Cannot enter diagnostic mode as there is not a valid PCode value"));

    // No screen for the valve's P-code: nothing is sent to it. (No picture
    // either: its next window shows none.)
    for (const char* gone : {"1305-0012.cfg", "1305-0012.jpg"})
        ASSERT_TRUE(QFile::remove(h->programFolder() + QStringLiteral("/Configuration/") + QLatin1String(gone)));
    const std::size_t sent = framesSoFar();
    ASSERT_TRUE(h->clickButton(valve(), "StartDiag"));
    ASSERT_EQ(h->dialogs.boxes.size(), 2u);
    EXPECT_EQ(h->dialogs.boxes[1].text, QStringLiteral("Could not find a matching .CFG file for this board"));
    EXPECT_EQ(buttonText(valve(), "StartDiag"), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_EQ(framesSoFar(), sent);

    ASSERT_TRUE(h->clickButton(h->main().monitorWindow(), "ModePicture"));
    ASSERT_TRUE(h->clickButton(pump(), "FWDownloadCommand"));
    ASSERT_EQ(h->dialogs.boxes.size(), 3u);
    EXPECT_EQ(h->dialogs.boxes[2].text, QStringLiteral("System must be in Live CAN mode to enter Firmware Download mode"));
    EXPECT_EQ(h->downloaderWindow(), nullptr);
    ASSERT_TRUE(h->clickButton(h->main().monitorWindow(), "ModePicture"));

    // Closed, the window keeps its place under its P-code, or "-" without one;
    // the board's next window opens there.
    ASSERT_TRUE(h->dragTitleBar(pump(), QPoint(30, 20)));
    const QPoint at = JourneyHarness::subWindowOf(pump())->pos();
    ASSERT_TRUE(h->closeBox(pump()));
    EXPECT_EQ(h->settings.value(QStringLiteral("1201-0003"), QStringLiteral("Left")), QString::number(pixelsToTwips(at.x(), 96)));
    EXPECT_EQ(h->settings.value(QStringLiteral("1201-0003"), QStringLiteral("Top")), QString::number(pixelsToTwips(at.y(), 96)));
    ASSERT_TRUE(h->closeBox(silent));
    EXPECT_FALSE(h->settings.value(QStringLiteral("-"), QStringLiteral("Top")).isEmpty());
    ASSERT_TRUE(h->closeBox(valve()));
    requestAllBoards();
    ASSERT_NE(pump(), nullptr);
    EXPECT_EQ(JourneyHarness::subWindowOf(pump())->pos(), at);
    ASSERT_NE(valve(), nullptr);
    EXPECT_TRUE(valve()->findChild<QLabel*>(QStringLiteral("BoardPic"))->pixmap().isNull()) << "no picture for it";
}

TEST_F(WindowJourney, DiagnosticModeSurvivesItsWindowClosing)
{
    BoardWindow* w = pump();
    ASSERT_TRUE(h->clickButton(w, "StartDiag"));
    EXPECT_EQ(buttonText(w, "StartDiag"), QStringLiteral("Exit Diagnostic Mode"));
    h->pass(500);
    EXPECT_GT(filledBoxes(w), 0) << "values arrive";
    SimBoard* board = h->simBoard(0x21);
    EXPECT_TRUE(board->diagnosticMode());

    ASSERT_TRUE(h->closeBox(w));
    ASSERT_EQ(pump(), nullptr);
    h->pass(500);
    EXPECT_TRUE(board->diagnosticMode()) << "closing tells the board nothing: it goes on sending";

    requestAllBoards();
    w = pump();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(buttonText(w, "StartDiag"), QStringLiteral("Enter Diagnostic Mode"));
    ASSERT_TRUE(h->clickButton(w, "StartDiag"));
    h->pass(500);
    EXPECT_GT(filledBoxes(w), 0);
    ASSERT_TRUE(h->clickButton(w, "StartDiag"));
    EXPECT_EQ(buttonText(w, "StartDiag"), QStringLiteral("Enter Diagnostic Mode"));
    h->pass(300);
    EXPECT_FALSE(board->diagnosticMode()) << "the board was told diagnostic off";
    EXPECT_EQ(h->app->errorLog().count(), 0);
}

class ConflictJourney : public Session {
protected:
    QString benchText() const override
    {
        return QStringLiteral("board 0x21 1537 7 12010003\n"
                              "board 254 1537 99 12010003 on\n");
    }
    QList<BoardWindow*> conflicts() const
    {
        QList<BoardWindow*> found;
        for (BoardWindow* w : h->boardWindows()) {
            if (w->windowTitle() == QStringLiteral("Board Type 1537 [Conflict]"))
                found.append(w);
        }
        return found;
    }
};

TEST_F(ConflictJourney, TheConflictWindowClosesAndComesBack)
{
    ASSERT_EQ(conflicts().size(), 1);
    EXPECT_EQ(JourneyHarness::subWindowOf(conflicts()[0])->size(),
              QSize(twipsToPixels(4455, conflicts()[0]->logicalDpiX()), twipsToPixels(2370, conflicts()[0]->logicalDpiY())));
    auto* offline = conflicts()[0]->findChild<QLabel*>(QStringLiteral("ErrorNodeLabel"));
    EXPECT_TRUE(offline->isVisible());
    EXPECT_EQ(offline->text(), QStringLiteral("This board is OFF-LINE"));
    EXPECT_EQ(offline->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(conflicts()[0]->findChild<QWidget*>(QStringLiteral("Frame1"))->size(), QSize(twipsToPixels(3975, 96), twipsToPixels(1575, 96)));
    ASSERT_TRUE(h->closeBox(conflicts()[0]));
    EXPECT_TRUE(conflicts().isEmpty());

    requestAllBoards();
    ASSERT_EQ(conflicts().size(), 1) << "every announcement from the conflict address makes a window";
    requestAllBoards();
    ASSERT_EQ(conflicts().size(), 2);
    ASSERT_TRUE(h->closeFromSystemMenu(conflicts()[1]));
    ASSERT_TRUE(h->closeBox(conflicts()[0]));
    EXPECT_TRUE(conflicts().isEmpty());
    EXPECT_NE(pump(), nullptr);

    requestAllBoards();
    ASSERT_EQ(conflicts().size(), 1);
    // Several boards may answer at the conflict address: no download there
    // (its button lies clipped below the small window: pressed directly).
    const std::size_t sent = framesSoFar();
    h->deliver([&] { conflicts()[0]->findChild<QPushButton*>(QStringLiteral("FWDownloadCommand"))->click(); });
    h->settle();
    ASSERT_EQ(h->dialogs.boxes.size(), 1u);
    EXPECT_EQ(h->dialogs.boxes[0].text, BoardWindow::kConflictDownloadText);
    EXPECT_EQ(h->downloaderWindow(), nullptr);
    EXPECT_EQ(h->app->boards().downloadBoardAddress(), -1);
    EXPECT_EQ(framesSoFar(), sent);
    ASSERT_NE(enterDownload(pump()), nullptr) << "the board with its own address is served as ever";
    EXPECT_TRUE(listsBoard("12010003"));
}

TEST_F(WindowJourney, TheErrorListClosesAndComesBackWithTheNextError)
{
    // A configuration file with a line the language does not know.
    writeFile(h->programFolder() + QStringLiteral("/Configuration/1305-0012.cfg"),
              "FORM, 7020, 4000\nFROBNICATE, 1, 2\nLABEL, Fine, 360, 120, 1600, 255\n");
    ASSERT_TRUE(h->clickButton(valve(), "StartDiag"));
    QPointer<ErrorListWindow> errors = h->shownWindow<ErrorListWindow>();
    ASSERT_NE(errors, nullptr) << "the error list shows itself";
    EXPECT_EQ(errors->windowTitle(), QStringLiteral("Error List"));
    EXPECT_EQ(errors->counter()->text(), QStringLiteral("1"));
    EXPECT_TRUE(errorLines().join(QString()).contains(QStringLiteral("FROBNICATE")));

    ASSERT_TRUE(h->closeBox(errors));
    EXPECT_EQ(h->shownWindow<ErrorListWindow>(), nullptr);

    ASSERT_TRUE(h->clickButton(valve(), "StartDiag"));  // out of diagnostic mode
    ASSERT_TRUE(h->clickButton(valve(), "StartDiag"));  // in again: the same warning
    errors = h->shownWindow<ErrorListWindow>();
    ASSERT_NE(errors, nullptr) << "back with the next error";
    EXPECT_EQ(errors->counter()->text(), QStringLiteral("2")) << "the count goes on";
    EXPECT_TRUE(errorLines().join(QString()).contains(QStringLiteral("FROBNICATE")));

    // Out of diagnostic mode; then the list closed and the warning made again in one go.
    ASSERT_TRUE(h->clickButton(valve(), "StartDiag"));
    auto* startDiag = valve()->findChild<QPushButton*>(QStringLiteral("StartDiag"));
    atOnce(*h, {[&] { JourneyHarness::subWindowOf(h->shownWindow<ErrorListWindow>())->close(); },
                [&] { QTest::mouseClick(startDiag, Qt::LeftButton); }});
    errors = h->shownWindow<ErrorListWindow>();
    ASSERT_NE(errors, nullptr) << "the new warning shows the error list";
    EXPECT_EQ(errors->counter()->text(), QStringLiteral("3"));

    ASSERT_TRUE(h->clickButton(errors, "Command1"));  // Clear List
    EXPECT_EQ(errors->counter()->text(), QStringLiteral("0"));
    ASSERT_TRUE(h->closeFromSystemMenu(errors));
    EXPECT_EQ(h->shownWindow<ErrorListWindow>(), nullptr);
}

// Help from the key and the menu, closed and opened again; then everything at
// once, closed in another order than opened, and opened again.
TEST_F(WindowJourney, HelpThenAMixedSessionClosesAndReopensEverything)
{
    h->key(Qt::Key_F1);
    QPointer<HelpWindow> help = h->shownWindow<HelpWindow>();
    ASSERT_NE(help, nullptr) << "F1 opens help";
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Tellvane Help"));
    EXPECT_FALSE(help->browser()->toPlainText().isEmpty());
    ASSERT_TRUE(h->closeBox(help));
    EXPECT_EQ(h->shownWindow<HelpWindow>(), nullptr);

    ASSERT_TRUE(h->chooseFromMenu("Help", QStringLiteral("HelpContents")));
    help = h->shownWindow<HelpWindow>();
    ASSERT_NE(help, nullptr) << "Help > Contents opens it again";
    h->key(Qt::Key_F1);  // once more while it is open: still one help window
    int helpWindows = 0;
    for (QMdiSubWindow* sub : h->shownSubWindows())
        helpWindows += qobject_cast<HelpWindow*>(sub->widget()) != nullptr;
    EXPECT_EQ(helpWindows, 1);

    ASSERT_TRUE(h->closeFromSystemMenu(help));
    EXPECT_EQ(h->shownWindow<HelpWindow>(), nullptr);
    h->key(Qt::Key_F1);
    ASSERT_NE(h->shownWindow<HelpWindow>(), nullptr);
    h->key(Qt::Key_F4, Qt::ControlModifier);  // the active child window closes
    EXPECT_EQ(h->shownWindow<HelpWindow>(), nullptr);
    // Closed and asked for again in one go: help is back on the screen.
    atOnce(*h, {[&] { QTest::keyClick(h->keyTarget(), Qt::Key_F4, Qt::ControlModifier); },
                [&] { QTest::keyClick(h->keyTarget(), Qt::Key_F1); }});
    help = h->shownWindow<HelpWindow>();
    ASSERT_NE(help, nullptr);
    EXPECT_FALSE(help->browser()->toPlainText().isEmpty());
    EXPECT_EQ(h->app->errorLog().count(), 0);

    // Everything at once.
    writeFile(h->programFolder() + QStringLiteral("/Configuration/412-0101.cfg"), "FORM, 7020, 4000\nBOGUS, 1\n");
    ASSERT_NE(enterDownload(pump()), nullptr);
    h->key(Qt::Key_F1);
    // Help came up over the others: the heater's window is brought forward.
    ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(h->boardWindow(kHeater))));
    ASSERT_TRUE(h->clickButton(h->boardWindow(kHeater), "StartDiag"));

    ASSERT_TRUE(h->closeBox(h->shownWindow<HelpWindow>()));
    ASSERT_TRUE(h->closeBox(h->downloaderWindow()));
    QPointer<BoardWindow> heater = h->boardWindow(kHeater);
    ASSERT_TRUE(h->closeBox(heater));
    EXPECT_EQ(heater, nullptr) << "a closed board window is gone";
    ASSERT_TRUE(h->closeBox(h->shownWindow<ErrorListWindow>()));
    EXPECT_EQ(h->boardWindows().size(), 2);
    h->pass(500);

    h->key(Qt::Key_F1);
    EXPECT_NE(h->shownWindow<HelpWindow>(), nullptr);
    requestAllBoards();
    ASSERT_NE(h->boardWindow(kHeater), nullptr) << "a new window for the board";
    EXPECT_EQ(h->boardWindow(kHeater)->findChild<QLineEdit*>(QStringLiteral("AddrText"))->text(), QStringLiteral("35"));
    ASSERT_NE(enterDownload(valve()), nullptr);
    EXPECT_TRUE(listsBoard("13050012"));
    ASSERT_TRUE(h->clickButton(h->boardWindow(kHeater), "StartDiag"));
    EXPECT_NE(h->shownWindow<ErrorListWindow>(), nullptr);
    ASSERT_TRUE(h->closeBox(h->downloaderWindow()));
    ASSERT_NE(enterDownload(pump()), nullptr);
    EXPECT_TRUE(listsBoard("12010003"));

    // A board window closed from its system menu comes back too.
    ASSERT_TRUE(h->closeFromSystemMenu(valve()));
    EXPECT_EQ(valve(), nullptr);
    requestAllBoards();
    EXPECT_NE(valve(), nullptr);
    EXPECT_EQ(h->boardWindows().size(), 3);
}

}  // namespace
