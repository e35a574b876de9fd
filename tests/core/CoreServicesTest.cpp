#include "core/Clock.h"
#include "core/DataFolder.h"
#include "core/LineListModel.h"
#include "core/SettingsStore.h"

#include <QSignalSpy>
#include <QTest>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

TEST(Clock, DelayWaitsAtLeastTheGivenTicks)
{
    FakeClock clock(5'000'000);
    const auto before = clock.tickCount();
    clock.delayMs(250);
    EXPECT_GE(clock.tickCount() - before, 250u);
    EXPECT_LE(clock.tickCount() - before, 251u);
    EXPECT_EQ(clock.delayCalls(), 1);
    clock.delayMs(0);
    clock.delayMs(-5);
    EXPECT_EQ(clock.delayedMs(), 250);
}

TEST(Clock, DelaySurvivesTheTickCounterWrapping)
{
    // 3 ms before the 32-bit millisecond counter wraps to 0.
    FakeClock clock((0xFFFFFFFFll - 2) * 1000);
    const std::uint32_t before = clock.tickCount();
    clock.delayMs(10);
    const std::uint32_t after = clock.tickCount();
    EXPECT_LT(after, before) << "the counter wrapped";
    EXPECT_EQ(static_cast<std::uint32_t>(after - before), 10u);
}

TEST(DataFolder, AppendsVelmarcoAndFallsBack)
{
    EXPECT_EQ(dataFolderFrom(QStringLiteral("/home/u/.local/share")), QStringLiteral("/home/u/.local/share/Velmarco/"));
    EXPECT_EQ(dataFolderFrom(QStringLiteral("/data/")), QStringLiteral("/data/Velmarco/"));
    const QString fallback = dataFolderFrom(QString());
    EXPECT_TRUE(fallback.endsWith(QStringLiteral("/Velmarco/")));
    EXPECT_TRUE(getDataFolder().endsWith(QStringLiteral("/Velmarco/")));
    EXPECT_EQ(logFolderOf(QStringLiteral("/d/Velmarco/")), QStringLiteral("/d/Velmarco/Tellvane/"));
}

TEST(SettingsStore, PositionsReadAsLeadingNumbers)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
    EXPECT_EQ(store.position(QStringLiteral("CANForm")).top, 0);
    EXPECT_EQ(store.value(QStringLiteral("CANForm"), QStringLiteral("Top")), QString());

    EXPECT_TRUE(store.savePosition(QStringLiteral("0012-0034"), 1440, 720));
    EXPECT_EQ(store.value(QStringLiteral("0012-0034"), QStringLiteral("Top")), QStringLiteral("1440"));
    EXPECT_EQ(store.value(QStringLiteral("0012-0034"), QStringLiteral("Left")), QStringLiteral("720"));

    store.setValue(QStringLiteral("File Manager"), QStringLiteral("Last Dir"), QStringLiteral("/tmp/fw"));
    store.setValue(QStringLiteral("ErrorForm"), QStringLiteral("Top"), QStringLiteral("  300twips"));
    store.setValue(QStringLiteral("ErrorForm"), QStringLiteral("Left"), QStringLiteral("junk"));

    SettingsStore reread(dir.filePath(QStringLiteral("settings.ini")));
    EXPECT_EQ(reread.value(QStringLiteral("File Manager"), QStringLiteral("Last Dir")), QStringLiteral("/tmp/fw"));
    const auto p = reread.position(QStringLiteral("ErrorForm"));
    EXPECT_EQ(p.top, 300);
    EXPECT_EQ(p.left, 0);
}

TEST(SettingsStore, AFailedWriteIsReported)
{
    QTemporaryDir dir;
    // A folder where the file should be: the store cannot be written.
    const QString path = dir.filePath(QStringLiteral("blocked.ini"));
    QDir().mkpath(path);
    SettingsStore store(path);
    EXPECT_FALSE(store.setValue(QStringLiteral("CANForm"), QStringLiteral("Top"), QStringLiteral("1")));
}

QStringList contents(const LineListModel& model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out.append(model.data(model.index(r), Qt::DisplayRole).toString());
    return out;
}

TEST(LineListModel, AppendsReachTheViewInOneBatch)
{
    LineListModel model(LineListModel::Bound::ClearWhenOver, 10);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy flushed(&model, &LineListModel::flushed);
    for (int i = 0; i < 5; ++i)
        model.append(QString::number(i));
    EXPECT_EQ(model.size(), 5u);
    EXPECT_EQ(model.rowCount(), 0) << "the view hears of them later";
    model.flush();
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(flushed.count(), 1);
    model.flush();
    EXPECT_EQ(inserted.count(), 1) << "nothing pending, nothing announced";
    EXPECT_EQ(contents(model), QStringList({"0", "1", "2", "3", "4"}));
}

TEST(LineListModel, FlushRunsByItselfOnTheEventLoopAtMostOncePerInterval)
{
    LineListModel model(LineListModel::Bound::ClearWhenOver, 10);
    model.append(QStringLiteral("x"));
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 1);

    FakeClock clock;
    model.setAnnounceInterval(clock, 100);
    model.append(QStringLiteral("a"));
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 2) << "the first batch at once";
    clock.advanceMs(60);
    model.append(QStringLiteral("b"));
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 2) << "held until 100 ms after the last";
    clock.advanceMs(40);
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 3; }, 10000)) << "out when its time comes";
    model.append(QStringLiteral("c"));
    QCoreApplication::processEvents();
    model.flush();
    EXPECT_EQ(contents(model), QStringList({"x", "a", "b", "c"})) << "flush() does not wait";
}

// Over the limit, one kind of list empties itself on the line after it (that
// line included), the other drops its oldest lines.
TEST(LineListModel, TheTwoBoundsOverTheLimit)
{
    const std::pair<LineListModel::Bound, QStringList> cases[] = {
        {LineListModel::Bound::ClearWhenOver, {"4"}},
        {LineListModel::Bound::DropOldest, {"2", "3", "4"}},
    };
    for (const auto& [bound, kept] : cases) {
        LineListModel model(bound, 3);
        model.append(QStringLiteral("0"));
        model.flush();
        for (int i = 1; i < 5; ++i)
            model.append(QString::number(i));
        model.flush();
        EXPECT_EQ(contents(model), kept);
        EXPECT_EQ(model.rowCount(), static_cast<int>(kept.size()));
    }
}

TEST(LineListModel, ImmediateEditsAndControlCharacters)
{
    LineListModel model(LineListModel::Bound::ClearWhenOver, 100);
    model.appendNow(QStringLiteral("one\r\n"));
    model.appendNow(QStringLiteral("two"));
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0), Qt::DisplayRole).toString(), QStringLiteral("one\r\n"));
    model.setBlankControlCharacters(true);
    EXPECT_EQ(model.data(model.index(0), Qt::DisplayRole).toString(), QStringLiteral("one  "));
    EXPECT_EQ(model.at(0), QStringLiteral("one\r\n")) << "the text itself is kept";
    model.removeFirst();
    EXPECT_EQ(contents(model), QStringList({"two"}));
    EXPECT_EQ(model.textAt(5), QString());
    EXPECT_EQ(model.textAt(-1), QString());
    model.clear();
    EXPECT_TRUE(model.isEmpty());
    model.removeFirst();
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
