// Journeys of a configuration author: simulated boards that move every
// indicator of their screen, a screen built again when its file is saved, and
// the program started to preview one file.

#include "Session.h"

#include "core/ErrorReporting.h"
#include "diagnostics/DynShape.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/DynTextBox.h"
#include "diagnostics/IndicatorInfo.h"
#include "sim/SimAnimation.h"

#include <QFile>
#include <QLabel>
#include <QSet>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace tellvane;
using namespace tellvane::test;

namespace {

// What an indicator shows now: a value box its text, a lamp its colour.
QString shownBy(DynControl* control)
{
    if (auto* box = dynamic_cast<DynTextBox*>(control))
        return box->text();
    if (auto* lamp = dynamic_cast<DynShape*>(control))
        return QString::number(lamp->backColorValue());
    return {};
}

QStringList labelsOf(BoardWindow* w)
{
    QStringList texts;
    for (QLabel* label : w->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

// Every indicator of the windows' screens, sampled at each diagnostic message
// for a whole sweep and a little more: the ones that never changed, named.
QString stillIndicators(JourneyHarness& h, const QList<BoardWindow*>& windows)
{
    std::map<std::pair<BoardWindow*, int>, QSet<QString>> seen;
    const int sends = static_cast<int>(SimAnimation::kStepsPerSweep) + 4;
    for (int send = 0; send < sends; ++send) {
        h.pass(static_cast<int>(SimBoard::kDiagnosticPeriodUs / 1000));
        for (BoardWindow* w : windows) {
            for (const IndicatorInfo& i : screenIndicators(w->screen().definition()))
                seen[{w, i.cntrlIndex}].insert(shownBy(w->screen().control(i.cntrlIndex)));
        }
    }
    QStringList still;
    for (const auto& [where, values] : seen) {
        if (values.size() < 2)
            still.append(where.first->windowTitle() + QStringLiteral(" control ") + QString::number(where.second));
    }
    return still.join(QStringLiteral(", "));
}

class AnimatedBench : public Session {
protected:
    QString benchText() const override
    {
        return QStringLiteral("board 0x21 1537 7      12010003 on animate\n"
                              "board 0x22 1538 1042   13050012 animate\n"
                              "board 0x23 261  200417 04120101 animate on\n");
    }
};

TEST_F(AnimatedBench, EveryIndicatorOfTheShippedScreensMovesWithinOneSweep)
{
    const QList<BoardWindow*> windows = h->boardWindows();
    ASSERT_EQ(windows.size(), 3);
    std::size_t indicators = 0;
    for (BoardWindow* w : windows) {
        SCOPED_TRACE(w->windowTitle().toStdString());
        ASSERT_TRUE(enterDiagnostics(w));
        indicators += screenIndicators(w->screen().definition()).size();
        EXPECT_EQ(stillIndicators(*h, {w}), QString());
        // Back to its small size, so that it covers none of the others.
        ASSERT_TRUE(h->clickButton(w, "StartDiag"));
    }
    EXPECT_GT(indicators, 30u);
}

TEST_F(AnimatedBench, ASavedScreenIsBuiltAgainInItsPlaceAndAHalfWrittenOneNeverBreaksIt)
{
    BoardWindow* w = pump();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(enterDiagnostics(w));
    h->watchTimer(w->screenFiles().settleTimer());
    QMdiSubWindow* sub = JourneyHarness::subWindowOf(w);
    ASSERT_TRUE(h->dragTitleBar(w, QPoint(40, 30)));
    const QRect place = sub->geometry();
    int controls = w->screen().controlCount();
    // The author looks at the third page.
    auto* tabs = dynamic_cast<DynTabContainer*>(w->screen().control(0));
    ASSERT_NE(tabs, nullptr);
    auto* bar = tabs->findChild<QTabBar*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(h->click(bar, bar->tabRect(2).center()));
    ASSERT_EQ(tabs->currentPage(), 2);

    QString file = h->programFolder() + QStringLiteral("/Configuration/1201-0003.cfg");
    QByteArray text = readFile(file);
    ASSERT_FALSE(text.isEmpty());
    // The author adds a caption and a lamp watching the count's lowest bit.
    text += "\nLABEL, Added by the author, 120, 6000, 2400, 255\n"
            "GROUP, Lamp, Count bit, 420, 6000, 16, 1, &H01, LG\n";
    writeFile(file, text);
    ASSERT_TRUE(h->settleScreenFiles(w));

    EXPECT_TRUE(w->inDiagnosticMode());
    EXPECT_GT(w->screen().controlCount(), controls);
    EXPECT_TRUE(labelsOf(w).contains(QStringLiteral("Added by the author")));
    EXPECT_EQ(sub->geometry(), place);
    tabs = dynamic_cast<DynTabContainer*>(w->screen().control(0));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentPage(), 2) << "still on the page the author was looking at";
    // The board now moves the new lamp too.
    EXPECT_EQ(stillIndicators(*h, {w}), QString());

    // Out of diagnostic mode the file is no longer watched.
    ASSERT_TRUE(h->clickButton(w, "StartDiag"));
    EXPECT_TRUE(w->screenFiles().files().isEmpty());

    // A half-written file of the valve's never leaves a broken screen.
    w = valve();
    ASSERT_TRUE(enterDiagnostics(w));
    h->watchTimer(w->screenFiles().settleTimer());
    controls = w->screen().controlCount();
    file = h->programFolder() + QStringLiteral("/Configuration/1305-0012.cfg");
    const QByteArray whole = readFile(file);

    // An editor empties the file before it writes it again: the screen stays.
    writeFile(file, QByteArray());
    EXPECT_TRUE(h->settleScreenFiles(w));
    EXPECT_EQ(w->screen().controlCount(), controls);
    EXPECT_TRUE(w->inDiagnosticMode());

    // Written in two steps in quick succession: built once, from the whole file.
    const int errorsBefore = h->app->errorLog().count();
    writeFile(file, whole.left(whole.size() / 2));
    h->settle();
    writeFile(file, whole + "GROUP, Lamp, Broken\n");
    ASSERT_TRUE(h->settleScreenFiles(w));
    EXPECT_EQ(w->screen().controlCount(), controls);
    // The new file's fault is in the error list.
    EXPECT_GT(h->app->errorLog().count(), errorsBefore);

    // The file taken away and put back: waited for, then built.
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(h->settleScreenFiles(w));
    EXPECT_EQ(w->screen().controlCount(), controls);
    writeFile(file, whole + "LABEL, Back again, 120, 6000, 2400, 255\n");
    ASSERT_TRUE(h->settleScreenFiles(w));
    EXPECT_TRUE(labelsOf(w).contains(QStringLiteral("Back again")));
}

// The program started with --preview FILE: one board, in diagnostic mode by
// itself, showing that file and moving every indicator; a save shows at once.
TEST(PreviewJourney, OneCommandFromAFileToItsScreenLive)
{
    QTemporaryDir authorDir;
    const QString file = authorDir.filePath(QStringLiteral("new-screen.cfg"));
    const QByteArray screen = "FORM, 6000, 5000\n"
                              "MESSAGE, A screen being written\n"
                              "LABEL, Draft one, 120, 120, 2400, 255\n"
                              "GROUP, Reading, Speed, 480, 16, W, 1, 0.5, 0, 0.0\" rpm\"\n"
                              "GROUP, Lamp, Alarm, 840, 120, 17, 2, &H0C, LR\n"
                              "BFTEXT, -, 1200, 1800, 1400, 285, 17, 3, 5, 3, 1, 0, D, 0\n";
    writeFile(file, screen);
    // Its groups come from beside it, as a board's file's do.
    ASSERT_TRUE(QFile::copy(QStringLiteral(TELLVANE_SOURCE_DIR "/Configuration/groups.grp"),
                            authorDir.filePath(QStringLiteral("groups.grp"))));
    JourneyHarness h({}, file);
    h.pass(1000);

    const QList<BoardWindow*> windows = h.boardWindows();
    ASSERT_EQ(windows.size(), 1);
    BoardWindow* w = windows.front();
    EXPECT_TRUE(w->inDiagnosticMode());
    EXPECT_EQ(w->variantText(), QStringLiteral("9999"));
    EXPECT_TRUE(labelsOf(w).contains(QStringLiteral("Draft one")));
    EXPECT_EQ(stillIndicators(h, windows), QString());

    h.watchTimer(w->screenFiles().settleTimer());
    QByteArray next = screen;
    next.replace("Draft one", "Draft two");
    next += "BWLTEXT, -, 1560, 1800, 1400, 285, 18, L, 1, 1, 0, H, 0\n";
    writeFile(file, next);
    ASSERT_TRUE(h.settleScreenFiles(w));
    EXPECT_TRUE(labelsOf(w).contains(QStringLiteral("Draft two")));
    EXPECT_EQ(screenIndicators(w->screen().definition()).size(), 4u);
    // The board took the new message up with the new file.
    EXPECT_EQ(stillIndicators(h, windows), QString());
}

}  // namespace
