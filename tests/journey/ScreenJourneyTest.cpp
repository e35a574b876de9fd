// Journeys through diagnostic screens: the shipped ones shown whole, and
// hand-written ones whose FORM is too small for them or too large for the
// program's frame, reached with the scroll bars.

#include "Session.h"

#include "core/Twips.h"
#include "diagnostics/DynControl.h"
#include "diagnostics/DynShape.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/DynTextBox.h"

#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

using namespace tellvane;
using namespace tellvane::test;

namespace {

class ScreenJourney : public Session {
protected:
    BoardWindow* heater() const { return h->boardWindow(kHeater); }
    static QScrollArea* scroller(BoardWindow* w) { return w->findChild<QScrollArea*>(QStringLiteral("ScreenScroll")); }

    void writeHeaterScreen(const QByteArray& text)
    {
        QFile file(h->programFolder() + QStringLiteral("/Configuration/412-0101.cfg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    // Pages a scroll bar to its end (or its start) with clicks beyond (or before) its handle.
    void pageTo(QScrollBar* bar, bool end)
    {
        const int along = bar->orientation() == Qt::Vertical ? bar->height() : bar->width();
        const int at = end ? along - 20 : 20;
        const QPoint where = bar->orientation() == Qt::Vertical ? QPoint(bar->width() / 2, at) : QPoint(at, bar->height() / 2);
        for (int i = 0; i < 50 && bar->value() != (end ? bar->maximum() : bar->minimum()); ++i)
            h->click(bar, where);
    }
    // The control lies in the part of the screen the window shows: across, down, or both.
    static bool inSight(BoardWindow* w, QWidget* control, Qt::Orientations along = Qt::Horizontal | Qt::Vertical)
    {
        QWidget* view = scroller(w)->viewport();
        const QRect where(control->mapTo(view, QPoint(0, 0)), control->size());
        const bool across = where.left() >= 0 && where.right() < view->width();
        const bool down = where.top() >= 0 && where.bottom() < view->height();
        return (across || !(along & Qt::Horizontal)) && (down || !(along & Qt::Vertical));
    }
};

// The shipped screens need no scroll bars; that every value of them moves is
// the animated bench's journey.
TEST_F(ScreenJourney, TheShippedScreensShowWhole)
{
    for (BoardWindow* w : h->boardWindows()) {
        SCOPED_TRACE(w->windowTitle().toStdString());
        ASSERT_TRUE(enterDiagnostics(w));
        EXPECT_GT(w->screen().controlCount(), 10);
        QScrollArea* area = scroller(w);
        ASSERT_NE(area, nullptr);
        EXPECT_FALSE(area->verticalScrollBar()->isVisible());
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
        for (int i = 0; i < w->screen().controlCount(); ++i) {
            QWidget* control = w->screen().control(i)->widget();
            if (control->isVisibleTo(w)) {
                EXPECT_TRUE(inSight(w, control)) << control->objectName().toStdString();
            }
        }
        if (w == pump()) {
            // As its FORM says; on its first page; values with their units; one
            // walking lamp at a time among the first four.
            EXPECT_EQ(JourneyHarness::subWindowOf(w)->size(),
                      QSize(twipsToPixels(9120, w->logicalDpiX()), twipsToPixels(8280, w->logicalDpiY())));
            auto* tabs = dynamic_cast<DynTabContainer*>(w->screen().control(0));
            ASSERT_NE(tabs, nullptr);
            EXPECT_EQ(tabs->currentPage(), 0);
            EXPECT_EQ(tabs->pageCaption(2), QStringLiteral("Status"));
            h->pass(1000);
            auto text = [&](int i) { return dynamic_cast<DynTextBox*>(w->screen().control(i))->text(); };
            EXPECT_TRUE(text(3).endsWith(QStringLiteral(" rpm"))) << text(3).toStdString();
            EXPECT_TRUE(text(5).endsWith(QStringLiteral(" l/s")));
            EXPECT_TRUE(text(7).endsWith(QStringLiteral(" °C")));
            std::vector<DynShape*> lamps;
            for (int i = 0; i < w->screen().controlCount(); ++i) {
                if (auto* lamp = dynamic_cast<DynShape*>(w->screen().control(i)))
                    lamps.push_back(lamp);
            }
            ASSERT_GE(lamps.size(), 4u);
            EXPECT_LE(std::count_if(lamps.begin(), lamps.begin() + 4, [](DynShape* l) { return l->backColorValue() != 0x808080; }), 1);
        }
        // Back to its small size, so that it covers none of the others.
        ASSERT_TRUE(h->clickButton(w, "StartDiag"));
        EXPECT_FALSE(w->inDiagnosticMode());
    }
    EXPECT_TRUE(h->dialogs.boxes.empty());
    EXPECT_EQ(h->app->errorLog().count(), 0) << "the shipped files load and run without a warning";
}

// A FORM too small for its screen scrolls to every control; one larger than
// the program's frame stays within it.
TEST_F(ScreenJourney, AFormTooSmallScrollsToEveryControlAndOneTooLargeStaysInTheFrame)
{
    writeHeaterScreen("FORM, 5000, 3000\r\n"
                      "LABEL, Top, 3600, 120, 1500, 255\r\n"
                      "LABEL, Far right, 3600, 8000, 1500, 255\r\n"
                      "FRAME, Low, 7000, 120, 4000, 1500\r\n"
                      "LABEL, Bottom, 900, 120, 1500, 255\r\n");
    BoardWindow* w = heater();
    ASSERT_NE(w, nullptr);
    const QSize before = JourneyHarness::subWindowOf(w)->size();
    ASSERT_TRUE(enterDiagnostics(w));
    QMdiSubWindow* sub = JourneyHarness::subWindowOf(w);
    EXPECT_EQ(sub->size().width(), before.width()) << "FORM only widens the window";
    QScrollArea* area = scroller(w);
    ASSERT_TRUE(area->verticalScrollBar()->isVisible());
    ASSERT_TRUE(area->horizontalScrollBar()->isVisible());

    QWidget* bottom = w->screen().control(3)->widget();
    QWidget* right = w->screen().control(1)->widget();
    EXPECT_FALSE(inSight(w, bottom, Qt::Vertical));
    pageTo(area->verticalScrollBar(), true);
    EXPECT_TRUE(inSight(w, bottom, Qt::Vertical)) << "the last label is reached";
    EXPECT_FALSE(inSight(w, right, Qt::Horizontal));
    pageTo(area->horizontalScrollBar(), true);
    EXPECT_TRUE(inSight(w, right, Qt::Horizontal)) << "the rightmost label is reached";

    // Back at the top, out of diagnostic mode: the window is as before, and needs no bars.
    pageTo(area->verticalScrollBar(), false);
    pageTo(area->horizontalScrollBar(), false);
    ASSERT_TRUE(h->clickButton(w, "StartDiag"));
    h->settle();
    EXPECT_FALSE(w->inDiagnosticMode());
    EXPECT_EQ(sub->size(), before);
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());

    // A FORM larger than the frame: the window stays within it, its far corner
    // reached with the keys on the scroll bars.
    writeHeaterScreen("FORM, 90000, 90000\r\n"
                      "LABEL, Corner, 80000, 80000, 1500, 255\r\n");
    ASSERT_TRUE(enterDiagnostics(w));
    const QRect room(QPoint(0, 0), h->main().mdiArea()->maximumViewportSize());
    EXPECT_TRUE(room.contains(sub->geometry())) << "the whole window lies in the frame";
    ASSERT_TRUE(area->verticalScrollBar()->isVisible());
    ASSERT_TRUE(area->horizontalScrollBar()->isVisible());
    QWidget* corner = w->screen().control(0)->widget();
    area->verticalScrollBar()->setFocus();
    h->key(Qt::Key_End);
    area->horizontalScrollBar()->setFocus();
    h->key(Qt::Key_End);
    EXPECT_TRUE(inSight(w, corner)) << "the far corner is reached";
}

}  // namespace
