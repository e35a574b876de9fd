// Journeys through the bus trace: opened from the View menu, filtered with
// typed expressions, paused, closed and opened again, with real input.

#include "Session.h"

#include "can/CanLink.h"
#include "trace/IdentifierStatsModel.h"
#include "trace/TraceTableModel.h"
#include "trace/TraceWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace tellvane;
using namespace tellvane::test;

namespace {

class TraceJourney : public Session {
protected:
    TraceWindow* trace() const { return h->main().traceWindow(); }
    // View > Bus Trace; its tables follow on the fake clock.
    void openTrace()
    {
        ASSERT_TRUE(h->chooseFromMenu("View", QStringLiteral("ViewBusTrace")));
        ASSERT_NE(trace(), nullptr);
        if (!m_watched)
            h->watchTimer(trace()->refreshTimer());
        m_watched = true;
    }
    bool m_watched = false;
    QTableView* table() const { return trace()->findChild<QTableView*>(QStringLiteral("TraceTable")); }
    int rows() const { return table()->model()->rowCount(); }
    QString cell(int row, int column) const { return table()->model()->index(row, column).data().toString(); }
    // Types a filter into its box, as a technician does, and applies it with Return.
    void typeFilter(const char* text)
    {
        auto* box = trace()->findChild<QLineEdit*>(QStringLiteral("TraceFilter"));
        ASSERT_TRUE(h->click(box));
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, QString::fromLatin1(text));
        h->key(Qt::Key_Return);
        h->pass(2 * TraceWindow::kRefreshMs);
    }
};

TEST_F(TraceJourney, FromTheViewMenuItRecordsFiltersPausesAndComesBackWithWhatItKept)
{
    openTrace();
    EXPECT_EQ(h->shownWindow<TraceWindow>(), trace());
    EXPECT_TRUE(trace()->recording());
    h->pass(3000);  // the boards' broadcasts, every half second
    const int all = rows();
    ASSERT_GE(all, 5);

    typeFilter("pgn=FEF1 rx");
    ASSERT_GT(rows(), 0);
    EXPECT_LT(rows(), all + 6);
    for (int r = 0; r < rows(); ++r) {
        EXPECT_EQ(cell(r, TraceTableModel::Pgn), QStringLiteral("FEF1")) << r;
        EXPECT_EQ(cell(r, TraceTableModel::Direction), QStringLiteral("Rx")) << r;
    }
    const int filtered = rows();

    // A filter that does not parse is named and the one before stays.
    typeFilter("rx prio=9");
    auto* error = trace()->findChild<QLabel*>(QStringLiteral("TraceFilterError"));
    EXPECT_TRUE(error->isVisible());
    EXPECT_TRUE(error->text().contains(QStringLiteral("prio"))) << error->text().toStdString();
    EXPECT_TRUE(error->text().contains(QStringLiteral("pgn=FEF1 rx"))) << "the filter that stays";
    EXPECT_GE(rows(), filtered);

    // Paused, the table stands still while recording goes on behind it.
    auto* pause = trace()->findChild<QPushButton*>(QStringLiteral("TracePause"));
    ASSERT_TRUE(h->click(pause));
    const int frozen = rows();
    const std::size_t keptBefore = trace()->ring().size();
    h->pass(2000);
    EXPECT_EQ(rows(), frozen);
    EXPECT_GT(trace()->ring().size(), keptBefore);
    ASSERT_TRUE(h->click(pause));
    h->pass(2 * TraceWindow::kRefreshMs);
    EXPECT_GT(rows(), frozen) << "resumed at the newest frame";

    // Rows selected by the mouse and copied with Ctrl+C as message lines.
    ASSERT_TRUE(h->clickRow(table(), 0));
    h->key(Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QStringLiteral(" 18FEF1"))) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith(QStringLiteral("\r\n")));

    // Closed, it records nothing; opened again it is the same window with what it kept.
    const std::size_t kept = trace()->ring().size();
    ASSERT_TRUE(h->closeBox(trace()));
    EXPECT_FALSE(trace()->recording());
    h->pass(2000);
    EXPECT_EQ(trace()->ring().size(), kept);
    openTrace();
    EXPECT_TRUE(trace()->isVisible());
    EXPECT_TRUE(trace()->recording());
    h->pass(1000);
    EXPECT_GT(trace()->ring().size(), kept);
}

TEST_F(TraceJourney, PerIdentifierRowsAndFindMoveWithTheKeysAndButtons)
{
    openTrace();
    h->pass(3000);
    auto* search = trace()->findChild<QLineEdit*>(QStringLiteral("TraceSearch"));
    ASSERT_TRUE(h->click(search));
    QTest::keyClicks(search, QStringLiteral("pgn=FEF1"));
    h->key(Qt::Key_Return);
    const int first = table()->currentIndex().row();
    ASSERT_GE(first, 0);
    EXPECT_EQ(cell(first, TraceTableModel::Pgn), QStringLiteral("FEF1"));
    ASSERT_TRUE(h->clickButton(trace(), "TraceFindNext"));
    const int second = table()->currentIndex().row();
    EXPECT_GT(second, first);
    EXPECT_EQ(cell(second, TraceTableModel::Pgn), QStringLiteral("FEF1"));
    ASSERT_TRUE(h->clickButton(trace(), "TraceFindPrevious"));
    EXPECT_EQ(table()->currentIndex().row(), first);

    ASSERT_TRUE(h->clickButton(trace(), "TracePerIdentifier"));
    auto* identifiers = trace()->findChild<QTableView*>(QStringLiteral("TraceIdentifiers"));
    EXPECT_TRUE(identifiers->isVisible());
    EXPECT_FALSE(table()->isVisible());
    // Every frame since the window opened was one board's broadcast: one row
    // that counts them all, half a second apart.
    ASSERT_EQ(identifiers->model()->rowCount(), 1);
    const QAbstractItemModel* m = identifiers->model();
    EXPECT_EQ(m->index(0, IdentifierStatsModel::Identifier).data().toString(), QStringLiteral("18FEF100"));
    EXPECT_EQ(m->index(0, IdentifierStatsModel::Count).data().toInt(), rows());
    EXPECT_EQ(m->index(0, IdentifierStatsModel::Period).data().toString(), QStringLiteral("500.0"));
    ASSERT_TRUE(h->clickButton(trace(), "TracePerIdentifier"));
    EXPECT_TRUE(table()->isVisible());
}

}  // namespace
