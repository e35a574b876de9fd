#include "TraceSamples.h"
#include "trace/IdentifierStats.h"
#include "trace/IdentifierStatsModel.h"
#include "trace/TraceDatabases.h"
#include "trace/TraceRing.h"
#include "trace/TraceTableModel.h"
#include "trace/TraceView.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

namespace tellvane {
namespace {

QString cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

QStringList rowTexts(const QAbstractItemModel& model, int row)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << cell(model, row, c);
    return texts;
}

using test::frame;

TEST(TraceTableModel, RowTexts)
{
    TraceRing ring(4);
    ring.append(frame(1'500'000, 0x18EF21F9, {0x41, 0x20, 0x7E, 0x00}, TraceFrame::Extended | TraceFrame::Sent));
    TraceFrame replayed = frame(2'000'000, 0x7FF, {0x01}, 0);
    replayed.line = 1;
    ring.append(replayed);
    ring.append(frame(134'200'001, 0x123, {}, 0));
    TraceView view(ring);
    TraceTableModel model(view);
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 12);
    EXPECT_EQ(rowTexts(model, 0), QStringList({"1.500000", "", "18EF21F9", "6", "EF00", "F9", "21", "Tx", "4",
                                               "41 20 7E 00", "A ~*", ""}));
    EXPECT_EQ(rowTexts(model, 1), QStringList({"2.000000", "", "7FF", "", "", "", "", "Replay 1", "1", "01", "*", ""}))
        << "a replayed log's time line: no frame before it on it";
    EXPECT_EQ(rowTexts(model, 2), QStringList({"134.200001", "132700.0", "123", "", "", "", "", "Rx", "0", "", "", ""}))
        << "since the frame before on the bus's time line";
    EXPECT_EQ(model.headerData(TraceTableModel::Pgn, Qt::Horizontal).toString(), QStringLiteral("PGN"));
}

TEST(TraceTableModel, RowsGoAtTheTopAndComeAtTheBottomAndPauseFreezes)
{
    TraceRing ring(4);
    TraceView view(ring);
    TraceTableModel model(view);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy scrolled(&model, &TraceTableModel::scrollToRow);
    auto append = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            ring.append(frame(i * 1000, 0x100 + static_cast<std::uint32_t>(i), {}, 0));
    };
    auto firstId = [&] { return cell(model, 0, TraceTableModel::Identifier); };

    append(0, 3);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 3);
    append(3, 5);  // 100 went out of the ring before the table heard of it
    EXPECT_EQ(cell(model, 0, TraceTableModel::Identifier), QString()) << "a row that left shows nothing";
    EXPECT_EQ(cell(model, 1, TraceTableModel::Identifier), QStringLiteral("101"));
    model.refresh();
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(firstId(), QStringLiteral("101"));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 0);
    EXPECT_EQ(removed[0][2].toInt(), 0);
    ASSERT_EQ(inserted.size(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 2);
    EXPECT_EQ(inserted[1][2].toInt(), 3);

    model.setPaused(true);
    append(5, 7);
    model.refresh();
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(firstId(), QStringLiteral("101")) << "paused, the table keeps what it showed";
    EXPECT_EQ(ring.bySequence(ring.firstSequence()).id, 0x103u);
    model.setPaused(false);
    EXPECT_EQ(firstId(), QStringLiteral("103"));
    ASSERT_EQ(scrolled.size(), 1);
    EXPECT_EQ(scrolled[0][0].toInt(), 3);

    append(7, 20);  // more than the ring holds: everything shown has gone
    const int resetsBefore = static_cast<int>(reset.size());
    model.refresh();
    EXPECT_EQ(reset.size(), resetsBefore + 1);
    EXPECT_EQ(firstId(), QStringLiteral("110"));

    ASSERT_FALSE(view.setFilterExpression(u"id=113").has_value());
    EXPECT_EQ(firstId(), QString()) << "a new filter: nothing shown until the table hears of it";
    model.refresh();
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(firstId(), QStringLiteral("113"));
}

TEST(IdentifierStatsModel, RowsAgainstTheClockOfTheirTimeLine)
{
    IdentifierStats stats;
    std::int64_t busNow = 250'000;
    std::int64_t replayNow = 0;
    IdentifierStatsModel model(stats, [&](std::uint16_t line) { return line == 0 ? busNow : replayNow; });
    stats.add(frame(0, 0x18FEF121, {0x01, 0x02}));
    stats.add(frame(100'000, 0x18FEF121, {0x01, 0x03}));
    model.refresh();
    stats.add(frame(120'000, 0x0CF00400, {0xAA}, TraceFrame::Extended | TraceFrame::Sent));
    TraceFrame replayed = frame(5'000'000, 0x18FEF121, {0x01});
    replayed.line = 2;  // the same identifier from a replayed log: a row of its own, on the log's time
    stats.add(replayed);
    replayNow = 5'250'000;  // how far that log has come
    EXPECT_EQ(model.rowCount(), 1) << "a new identifier waits for the refresh";
    model.refresh();
    ASSERT_EQ(model.rowCount(), 3);
    const QString dash = QStringLiteral("\u2013");
    EXPECT_EQ(rowTexts(model, 0), QStringList({"18FEF121", "Rx", "2", "1", "100.0", "100.0", "2", "01 03", "150.0", ""}))
        << "the frames of the last whole second, up to 100 ms to 200 ms ago";
    EXPECT_EQ(rowTexts(model, 1), QStringList({"0CF00400", "Tx", "1", "0", dash, dash, "1", "AA", "130.0", ""}))
        << "a period is not known from one frame";
    EXPECT_EQ(rowTexts(model, 2), QStringList({"18FEF121", "Replay 2", "1", "1", dash, dash, "1", "01", "250.0", ""}));
    EXPECT_EQ(model.data(model.index(0, IdentifierStatsModel::Data), IdentifierStatsModel::ChangedBytesRole).toInt(), 0b10);

    // A silent bus: "since last" grows and the frames a second come down to 0.
    busNow = 60'000'000;
    model.refresh();
    EXPECT_EQ(cell(model, 0, IdentifierStatsModel::SinceLast), QStringLiteral("59900.0"));
    EXPECT_EQ(cell(model, 0, IdentifierStatsModel::Rate), QStringLiteral("0"));

    model.setPaused(true);
    stats.add(frame(60'000'000, 0x18FEF121, {0x01, 0x03}));
    stats.add(frame(60'000'000, 0x123, {}, 0));
    busNow = 60'100'000;
    model.refresh();
    EXPECT_EQ(cell(model, 0, IdentifierStatsModel::Count), QStringLiteral("2"));
    EXPECT_EQ(cell(model, 0, IdentifierStatsModel::SinceLast), QStringLiteral("59900.0")) << "paused: as it was";
    EXPECT_EQ(model.rowCount(), 3);
    model.setPaused(false);
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(cell(model, 0, IdentifierStatsModel::Count), QStringLiteral("3"));
    EXPECT_EQ(cell(model, 0, IdentifierStatsModel::SinceLast), QStringLiteral("100.0"));
    EXPECT_EQ(cell(model, 3, IdentifierStatsModel::Identifier), QStringLiteral("123"));
}

TEST(IdentifierStatsModel, SortsNumbersAsNumbers)
{
    IdentifierStats stats;
    IdentifierStatsModel model(stats, [](std::uint16_t) { return std::int64_t{2'000'000}; });
    const std::pair<std::uint32_t, std::int64_t> periods[] = {{0x18FEF121, 1'000'000}, {0x0CF00400, 50'000}, {0x700, 500'000}};
    for (const auto& [id, period] : periods) {
        const std::uint8_t flags = id > 0x7FF ? TraceFrame::Extended : 0;
        stats.add(frame(0, id, {1}, flags));
        stats.add(frame(period, id, {2}, flags));
    }
    model.refresh();
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.setSortRole(IdentifierStatsModel::SortRole);
    auto order = [&](int column) {
        sorted.sort(column, Qt::AscendingOrder);
        QStringList ids;
        for (int row = 0; row < sorted.rowCount(); ++row)
            ids << sorted.index(row, IdentifierStatsModel::Identifier).data().toString();
        return ids.join(QLatin1Char(' '));
    };
    EXPECT_EQ(order(IdentifierStatsModel::Period), QStringLiteral("0CF00400 700 18FEF121")) << "50 before 500 before 1000";
    EXPECT_EQ(order(IdentifierStatsModel::MeanPeriod), QStringLiteral("0CF00400 700 18FEF121"));
    EXPECT_EQ(order(IdentifierStatsModel::SinceLast), QStringLiteral("18FEF121 700 0CF00400"));
    EXPECT_EQ(order(IdentifierStatsModel::Identifier), QStringLiteral("700 0CF00400 18FEF121")) << "standard before extended";
}

}  // namespace
}  // namespace tellvane

namespace tellvane {
namespace {

// A standard message with a value text, a signed signal with a comment, a
// J1939 group, and a line the reader cannot use.
const QByteArray kDbc = "BA_ \"ProtocolType\" \"J1939\";\n"
                        "BO_ 256 Gears: 2 ECU\n"
                        " SG_ Gear : 0|4@1+ (1,0) [0|15] \"\" X\n"
                        " SG_ Temp : 8|8@1- (0.5,-10) [-74|53.5] \"degC\" X\n"
                        "BO_ 2364540158 EEC1: 8 ECU\n"
                        " SG_ EngineSpeed : 24|16@1+ (0.125,0) [0|8031.875] \"rpm\" X\n"
                        "VAL_ 256 Gear 0 \"Neutral\" 1 \"First\" ;\n"
                        "CM_ SG_ 256 Temp \"Oil temperature\";\n"
                        "BO_ x\n";

TEST(TraceDatabases, NameTheRowsDecodeAFrameAndFilterByMessage)
{
    QTemporaryDir dir;
    const QString file = test::writeFile(dir.filePath(QStringLiteral("bus.dbc")), kDbc);
    TraceDatabases databases;
    const QStringList reports = databases.load(file);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].startsWith(QStringLiteral("bus.dbc line 9: "))) << reports[0].toStdString();
    EXPECT_TRUE(databases.load(dir.filePath(QStringLiteral("none.dbc")))[0].startsWith(QStringLiteral("none.dbc could not be loaded: ")));
    EXPECT_EQ(databases.files(), QStringList{file});

    TraceRing ring(8);
    IdentifierStats stats;
    for (const TraceFrame& f : {frame(0, 0x100, {0x01, 0xF6}, 0), frame(1, 0x0CF00400, {0, 0, 0, 0x40, 0x1F, 0, 0, 0}),
                                frame(2, 0x18F00421, {0, 0, 0, 0x40, 0x1F, 0, 0, 0}),
                                frame(3, 0x100, {}, TraceFrame::Remote), frame(4, 0x101, {1}, 0)}) {
        ring.append(f);
        stats.add(f);
    }
    TraceView view(ring);
    TraceTableModel model(view);
    IdentifierStatsModel identifiers(stats, [](std::uint16_t) { return 0; });
    identifiers.refresh();
    EXPECT_EQ(cell(model, 0, TraceTableModel::Message), QString()) << "no names before the databases are handed over";
    model.setDatabases(&databases);
    identifiers.setDatabases(&databases);
    const QStringList names = {"Gears", "EEC1@00", "EEC1@21", "", ""};
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(cell(model, row, TraceTableModel::Message), names[row]) << row;
    EXPECT_EQ(cell(identifiers, 1, IdentifierStatsModel::Message), QStringLiteral("EEC1@00"));

    const auto rows = [&](std::size_t row) {
        QStringList texts;
        for (const TraceDatabases::SignalRow& s : databases.signalRows(view.frameAt(row)))
            texts << s.name << s.value << s.raw << s.comment;
        return texts;
    };
    EXPECT_EQ(rows(0), QStringList({"Gears.Gear", "First", "1", "", "Gears.Temp", "-15 degC", "-10", "Oil temperature"}));
    EXPECT_EQ(rows(2), QStringList({"EEC1.EngineSpeed@21", "1000 rpm", "8000", ""}));
    EXPECT_TRUE(rows(3).isEmpty()) << "a remote frame has no signals";

    view.setMessageNames([&](const TraceFrame& f) {
        const dbc::Message* message = databases.messageOf(f);
        return message ? message->name : QString();
    });
    const std::pair<const char*, std::size_t> filters[] = {{"msg=eec1", 2}, {"!msg=EEC1", 3}, {"msg=Gears rx", 1}, {"msg=None", 0}};
    for (const auto& [expression, shown] : filters) {
        EXPECT_FALSE(view.setFilterExpression(QString::fromLatin1(expression)).has_value()) << expression;
        EXPECT_EQ(view.size(), shown) << expression;
    }
    databases.clear();
    view.setFilterExpression(QStringLiteral("msg=EEC1"));
    EXPECT_EQ(view.size(), 0u) << "a frame no database knows never matches";
}

}  // namespace
}  // namespace tellvane
