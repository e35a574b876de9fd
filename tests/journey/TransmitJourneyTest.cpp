// Journeys through the transmit window: rows typed into its table, sent by
// hand and on their periods, stopped by the technician and by everything that
// must stop them; frames copied from the Bus Trace; the list back after a
// restart; a list too heavy for the bus refused.

#include "Session.h"

#include "sim/SimAdapter.h"
#include "trace/TraceTableModel.h"
#include "trace/TraceWindow.h"
#include "transmit/BusShare.h"
#include "transmit/TransmitModel.h"
#include "transmit/TransmitWindow.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QTest>

using namespace tellvane;
using namespace tellvane::test;

namespace {

constexpr std::uint32_t kTyped = 0x18FEF1F9;

class TransmitJourney : public Session {
protected:
    TransmitWindow* transmit() const { return h->main().transmitWindow(); }
    QTableView* table() const { return transmit()->findChild<QTableView*>(QStringLiteral("TransmitTable")); }
    QString cell(int row, int column) const { return table()->model()->index(row, column).data().toString(); }
    void openTransmit()
    {
        ASSERT_TRUE(h->chooseFromMenu("View", QStringLiteral("ViewTransmit")));
        ASSERT_NE(h->shownWindow<TransmitWindow>(), nullptr);
        h->watchTimer(transmit()->sendTimer());
    }
    // A cell clicked, F2, its text replaced by typing, Return.
    void typeInto(int row, int column, const char* text)
    {
        const QRect at = table()->visualRect(table()->model()->index(row, column));
        ASSERT_TRUE(h->click(table()->viewport(), at.center()));
        h->key(Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        ASSERT_TRUE(editor && table()->isAncestorOf(editor)) << "no editor on row " << row << " column " << column;
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, QString::fromLatin1(text));
        h->key(Qt::Key_Return);
    }
    // The frames of this identifier that reached the bench's bus.
    int onBus(std::uint32_t id = kTyped) const
    {
        int n = 0;
        const ToolFrames* frames = h->toolFrames();
        for (const ToolFrames::Frame& f : frames ? frames->frames() : std::vector<ToolFrames::Frame>())
            n += f.frame.id == id ? 1 : 0;
        return n;
    }
    // Start, and a while of sending; then `stop` must end it for good.
    void sendWhile(const std::function<void()>& stop, const char* reason)
    {
        const int before = onBus();
        ASSERT_TRUE(h->clickButton(transmit(), "TransmitStart"));
        h->pass(300);
        ASSERT_TRUE(transmit()->sending()) << transmit()->statusText().toStdString();
        EXPECT_GE(onBus() - before, 3);
        stop();
        const int sent = onBus();  // on the bench in use after it
        h->pass(1000);
        EXPECT_EQ(onBus(), sent) << "sent after: " << reason;
        EXPECT_FALSE(transmit()->sending());
        EXPECT_EQ(transmit()->statusText(), QString::fromLatin1(reason));
    }
};

// A row typed in, its J1939 fields and identifier kept in step both ways, a
// refused edit; Send now confirmed once (No: nothing), Start and Stop all by
// button and Escape; then the window closed, the link lost, the adapter
// switched and the program left while sending: nothing goes out after.
TEST_F(TransmitJourney, TypedRowIsSentByHandAndOnItsPeriodAndEverythingStopsIt)
{
    ASSERT_TRUE(h->chooseFromMenu("View", QStringLiteral("ViewBusTrace")));
    openTransmit();
    ASSERT_TRUE(h->clickButton(transmit(), "TransmitAdd"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("18FEF1F9"));  // the new row's identifier, being edited
    h->key(Qt::Key_Return);
    ASSERT_EQ(transmit()->model().rows().size(), 1u);
    EXPECT_EQ(cell(0, TransmitModel::Pgn), QStringLiteral("FEF1"));
    EXPECT_EQ(cell(0, TransmitModel::Destination), QString()) << "a broadcast names none";

    // J1939 fields typed: the identifier follows; the identifier typed: they follow.
    typeInto(0, TransmitModel::Pgn, "EA00");
    EXPECT_EQ(cell(0, TransmitModel::Identifier), QStringLiteral("18EAFFF9"));
    typeInto(0, TransmitModel::Destination, "21");
    typeInto(0, TransmitModel::Priority, "3");
    EXPECT_EQ(cell(0, TransmitModel::Identifier), QStringLiteral("0CEA21F9"));
    typeInto(0, TransmitModel::Identifier, "18FEF1F9");
    EXPECT_EQ(cell(0, TransmitModel::Priority), QStringLiteral("6"));
    EXPECT_EQ(cell(0, TransmitModel::Pgn), QStringLiteral("FEF1"));
    typeInto(0, TransmitModel::Data, "01 2 0304");
    typeInto(0, TransmitModel::Period, "100");
    typeInto(0, TransmitModel::Data, "0G");
    EXPECT_EQ(transmit()->statusText(), QStringLiteral("Row 1, Data: \"0G\" is not hex bytes"));
    EXPECT_EQ(cell(0, TransmitModel::Data), QStringLiteral("01 02 03 04"));

    // Send now: No sends nothing; Yes, one frame, traced as sent; asked once a run.
    ASSERT_TRUE(h->clickRow(table(), 0));
    ASSERT_TRUE(h->clickButton(transmit(), "TransmitSendNow"));
    ASSERT_EQ(h->dialogs.questions.size(), 1u);
    h->pass(500);
    EXPECT_EQ(onBus(), 0);
    h->dialogs.questionAnswers = {true};
    ASSERT_TRUE(h->clickButton(transmit(), "TransmitSendNow"));
    ASSERT_EQ(onBus(), 1);
    const SimFrame& sent = h->toolFrames()->frames().back().frame;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(sent.data.data()), sent.length), QByteArray("\x01\x02\x03\x04"));
    EXPECT_EQ(cell(0, TransmitModel::Sent), QStringLiteral("1"));
    h->pass(200);
    const TraceRing& ring = h->main().traceWindow()->ring();
    int traced = 0;
    for (std::uint64_t seq = ring.firstSequence(); seq < ring.endSequence(); ++seq)
        traced += ring.bySequence(seq).id == kTyped && ring.bySequence(seq).sent() ? 1 : 0;
    EXPECT_EQ(traced, 1) << "the trace shows it as the tool's own";

    // Start: every 100 ms, the row marked; Stop all and Escape end it.
    ASSERT_TRUE(h->clickButton(transmit(), "TransmitStart"));
    EXPECT_TRUE(table()->model()->index(0, 0).data(TransmitModel::RunningRole).toBool());
    h->pass(1000);
    EXPECT_NEAR(onBus(), 1 + 11, 1);
    EXPECT_EQ(h->dialogs.questions.size(), 2u) << "asked once this run";
    sendWhile([&] { ASSERT_TRUE(h->clickButton(transmit(), "TransmitStopAll")); }, "Stopped: nothing more is sent.");
    EXPECT_FALSE(table()->model()->index(0, 0).data(TransmitModel::RunningRole).toBool());
    sendWhile([&] {
        ASSERT_TRUE(h->click(table()->viewport(), QPoint(4, 4)));
        h->key(Qt::Key_Escape);
    }, "Stopped: nothing more is sent.");

    sendWhile([&] { ASSERT_TRUE(h->closeBox(transmit())); }, "Stopped: the window was closed.");
    openTransmit();
    sendWhile([&] { h->bench()->setPluggedIn(false); }, "Stopped: the adapter did not take a frame.");
    h->bench()->setPluggedIn(true);
    h->pass(1500);
    // Away to the vendor's library and back to a new bench.
    sendWhile([&] {
        ASSERT_TRUE(h->chooseFromMenu("Adapter", QStringLiteral("Adapter:library")));
        ASSERT_TRUE(h->chooseFromMenu("Adapter", QStringLiteral("Adapter:sim")));
    }, "Stopped: the adapter was switched.");
    EXPECT_EQ(onBus(), 0) << "nothing reached the new bench";
    h->pass(1500);
    sendWhile([&] { ASSERT_TRUE(h->chooseFromMenu("File", QStringLiteral("Exit"))); }, "Stopped: the program ends.");
}

// Frames copied from the Bus Trace become rows; the list is saved, comes back
// after a restart with its file among the recent ones; periodic rows that
// would take more than 80 % of the bus are refused with the figure.
TEST_F(TransmitJourney, FramesCopiedFromTheTraceComeBackAfterARestartAndAHeavyListIsRefused)
{
    ASSERT_TRUE(h->chooseFromMenu("View", QStringLiteral("ViewBusTrace")));
    TraceWindow* trace = h->main().traceWindow();
    h->watchTimer(trace->refreshTimer());
    h->pass(2000);
    auto* traced = trace->findChild<QTableView*>(QStringLiteral("TraceTable"));
    ASSERT_TRUE(h->clickRow(traced, 0));
    const QString copiedData = traced->model()->index(0, TraceTableModel::Data).data().toString();
    ASSERT_TRUE(h->clickButton(trace, "TraceCopyToTransmit"));
    ASSERT_NE(h->shownWindow<TransmitWindow>(), nullptr) << "the window comes up with the copy";
    h->watchTimer(transmit()->sendTimer());
    ASSERT_EQ(transmit()->model().rows().size(), 1u);
    EXPECT_EQ(cell(0, TransmitModel::Identifier), QStringLiteral("18FEF100"));
    EXPECT_EQ(cell(0, TransmitModel::Data), copiedData);

    // Every millisecond, with a second row: more than the bus can give.
    typeInto(0, TransmitModel::Period, "1");
    ASSERT_TRUE(h->clickButton(transmit(), "TransmitAdd"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("18FEF2F9"));
    h->key(Qt::Key_Return);
    typeInto(1, TransmitModel::Data, "00 00 00 00 00 00 00 00");
    typeInto(1, TransmitModel::Period, "1");
    ASSERT_TRUE(h->clickButton(transmit(), "TransmitStart"));
    const QString share = busShareProblem(transmit()->model().rows());
    ASSERT_FALSE(share.isEmpty());
    ASSERT_EQ(h->dialogs.boxes.size(), 1u);
    EXPECT_EQ(h->dialogs.boxes[0].text, share);
    EXPECT_TRUE(share.contains(QStringLiteral("% of the bus at 250 kbit/s"))) << share.toStdString();
    EXPECT_EQ(transmit()->statusText(), QStringLiteral("Not started: ") + share);
    EXPECT_TRUE(h->dialogs.questions.empty()) << "refused before anything is asked";
    EXPECT_FALSE(transmit()->sending());

    const QString file = h->dir.filePath(QStringLiteral("heavy.json"));
    h->dialogs.saveAnswers = {file};
    auto* menu = transmit()->findChild<QMenu*>(QStringLiteral("TransmitFile"));
    auto* bar = transmit()->findChild<QMenuBar*>(QStringLiteral("TransmitMenuBar"));
    ASSERT_TRUE(h->click(bar, bar->actionGeometry(menu->menuAction()).center()));
    ASSERT_TRUE(h->clickMenuEntry(menu, QStringLiteral("TransmitSaveAs")));
    typeInto(1, TransmitModel::Name, "after saving");
    const std::vector<TransmitRow> kept = transmit()->model().rows();

    h->restartProgram();
    openTransmit();
    EXPECT_EQ(transmit()->model().rows(), kept) << "the working copy, edits after saving included";
    EXPECT_EQ(transmit()->fileName(), file);
    EXPECT_EQ(transmit()->recentFiles(), QStringList{file});
}

}  // namespace
