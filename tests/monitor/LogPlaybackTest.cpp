#include "core/LineListModel.h"
#include "monitor/LogPlayback.h"
#include "monitor/LogReader.h"
#include "monitor/MessageLine.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

// A log of n records: record k is a message from identifier k with one byte k.
QByteArray logOf(int n)
{
    QByteArray bytes;
    for (int k = 1; k <= n; ++k) {
        CanMessage m;
        m.id = k;
        m.length = 1;
        m.data[0] = static_cast<std::uint8_t>(k);
        bytes += formatMessageLine(m).toLatin1() + "\r\n";
    }
    return bytes;
}

TEST(LogReader, CountsRecordsByRounding)
{
    const std::pair<std::int64_t, std::int32_t> cases[] = {
        {0, 0}, {23, 0}, {24, 1}, {47, 1}, {470, 10}, {47 * 20 + 23, 20}, {47 * 20 + 24, 21},
    };
    for (auto [bytes, records] : cases)
        EXPECT_EQ(LogReader::recordCountFor(bytes), records) << bytes;
}

TEST(LogReader, ReadsSingleRecordsByNumber)
{
    QTemporaryDir dir;
    const QString path = test::writeFile(dir.filePath(QStringLiteral("a.txt")), logOf(3) + "short");
    LogReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.recordCount(), 3);
    EXPECT_EQ(reader.record(2).size(), 47);
    EXPECT_TRUE(reader.record(2).startsWith(QStringLiteral("00.000000 00000002 1 02")));
    EXPECT_EQ(reader.record(4), QStringLiteral("short"));
    EXPECT_EQ(reader.record(5), QString());
    EXPECT_EQ(reader.record(0), QString());
    EXPECT_EQ(reader.record(-3), QString());
    EXPECT_FALSE(reader.open(dir.filePath(QStringLiteral("missing.txt"))));
    EXPECT_EQ(reader.record(1), QString());
    EXPECT_EQ(reader.recordCount(), 0);
}

struct PlaybackFixture : ::testing::Test {
    QTemporaryDir dir;
    LineListModel list{LineListModel::Bound::ClearWhenOver, 10000};
    test::FakeDialogs dialogs;
    test::RecordingRouter router;
    test::ErrorCollector errors;
    LogPlayback playback{list, dialogs};

    PlaybackFixture() { playback.setRouter(&router); }

    void load(const QByteArray& bytes)
    {
        playback.openReadLogFile(test::writeFile(dir.filePath(QStringLiteral("log.txt")), bytes));
        playback.readLogFile(1);
    }
    int selectedRecord() const
    {
        return parseMessageLine(list.textAt(playback.selectedIndex())).message.id;
    }
    int lastProcessed() const { return router.messages.empty() ? 0 : router.messages.back().id; }
};

TEST_F(PlaybackFixture, StepsThroughThirtyRecords)
{
    load(logOf(30));
    EXPECT_EQ(playback.recordCount(), 30);
    ASSERT_EQ(list.size(), 15u);
    EXPECT_EQ(playback.selectedIndex(), -1);
    EXPECT_EQ(parseMessageLine(list.textAt(0)).message.id, 1);
    EXPECT_EQ(parseMessageLine(list.textAt(14)).message.id, 15);

    for (int step = 1; step <= 8; ++step) {
        playback.logFileStep();
        EXPECT_EQ(lastProcessed(), step);
        EXPECT_EQ(playback.selectedIndex(), step - 1);
    }
    playback.logFileStep();  // the ninth step scrolls
    EXPECT_EQ(parseMessageLine(list.textAt(0)).message.id, 2);
    EXPECT_EQ(parseMessageLine(list.textAt(14)).message.id, 16);
    EXPECT_EQ(playback.selectedIndex(), 7);
    EXPECT_EQ(lastProcessed(), 9);

    // On to the end: records 10 to 30 once each, then the last once more with the beep.
    playback.play();
    for (int step = 10; step <= 30; ++step) {
        playback.logFileStep();
        ASSERT_EQ(lastProcessed(), step);
    }
    EXPECT_EQ(dialogs.beeps, 0);
    EXPECT_TRUE(playback.stepTimer().isActive());
    playback.logFileStep();
    EXPECT_EQ(lastProcessed(), 30);
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_FALSE(playback.stepTimer().isActive());
    EXPECT_EQ(router.messages.size(), 31u);
    EXPECT_EQ(selectedRecord(), 30);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(PlaybackFixture, ShortFileStopsAtItsFirstEmptyLine)
{
    load(logOf(5));
    playback.runFullSpeed();
    EXPECT_EQ(playback.stepTimer().interval(), LogPlayback::kFullSpeedIntervalMs);
    for (int i = 0; i < 5; ++i)
        playback.logFileStep();
    EXPECT_EQ(lastProcessed(), 5);
    playback.logFileStep();
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_FALSE(playback.stepTimer().isActive());
    EXPECT_EQ(router.messages.size(), 5u);
}

TEST_F(PlaybackFixture, StepWithoutAFileOnlyBeeps)
{
    playback.play();
    EXPECT_EQ(playback.stepTimer().interval(), LogPlayback::kPlayIntervalMs);
    playback.logFileStep();
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_FALSE(playback.stepTimer().isActive());
    EXPECT_TRUE(router.messages.empty());
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(PlaybackFixture, TruncatedLastRecordIsReportedAndNotProcessed)
{
    load(logOf(1) + "00.000000 00000002 8 01 02");
    playback.logFileStep();
    playback.logFileStep();
    playback.logFileStep();
    ASSERT_EQ(router.messages.size(), 1u);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("Error in logged message, incorrect data length!"));
    EXPECT_EQ(dialogs.beeps, 1) << "the third line is empty: the end";

    list.clear();
    list.appendNow(QStringLiteral("0123456789012345678"));
    playback.setSelectedIndex(0);
    playback.processLogMessage();
    EXPECT_EQ(errors.messages.last(), QStringLiteral("Error in logged message, wrong length!"));
    EXPECT_EQ(router.messages.size(), 1u);
}

TEST_F(PlaybackFixture, BinaryGarbageIsPlayedWithoutHarm)
{
    QByteArray bytes;
    std::uint32_t x = 2463534242u;
    for (int i = 0; i < 47 * 40; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes.append(static_cast<char>(x & 0xFF));
    }
    load(bytes);
    EXPECT_EQ(playback.recordCount(), 40);
    playback.runFullSpeed();
    int steps = 0;
    while (playback.stepTimer().isActive() && steps < 100) {
        playback.logFileStep();
        ++steps;
    }
    EXPECT_EQ(steps, 41);
    for (const QString& e : errors.messages) {
        EXPECT_TRUE(e == QStringLiteral("Error in logged message, incorrect data length!")
                    || e == QStringLiteral("Error in logged message, wrong length!"))
            << e.toStdString();
    }
    EXPECT_EQ(dialogs.beeps, 1) << "played to the end and stopped";
}

TEST_F(PlaybackFixture, CrOnlyLinesArePlayedWithoutHarm)
{
    // A log saved by an editor with CR-only line ends: records of 46 bytes
    // read as 47 drift by one byte each.
    QByteArray bytes = logOf(30);
    bytes.replace("\r\n", "\r");
    load(bytes);
    EXPECT_EQ(playback.recordCount(), 29) << "1380 bytes round to 29 records";
    playback.runFullSpeed();
    int steps = 0;
    while (playback.stepTimer().isActive() && steps < 100) {
        playback.logFileStep();
        ++steps;
    }
    EXPECT_LT(steps, 100) << "the player reaches the end";
    for (const QString& e : errors.messages) {
        EXPECT_TRUE(e == QStringLiteral("Error in logged message, incorrect data length!")
                    || e == QStringLiteral("Error in logged message, wrong length!"))
            << e.toStdString();
    }
    EXPECT_EQ(dialogs.beeps, 1);

    // A good log afterwards plays as ever.
    errors.messages.clear();
    router.messages.clear();
    load(logOf(3));
    for (int i = 0; i < 3; ++i)
        playback.logFileStep();
    EXPECT_EQ(router.messages.size(), 3u);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(PlaybackFixture, ChoosingAnotherFileStartsAgainAtRecordOne)
{
    load(logOf(30));
    for (int i = 0; i < 12; ++i)
        playback.logFileStep();
    load(logOf(20));
    EXPECT_EQ(playback.recordCount(), 20);
    EXPECT_EQ(playback.currentRecord(), 15);
    EXPECT_EQ(playback.selectedIndex(), -1);
    playback.logFileStep();
    EXPECT_EQ(lastProcessed(), 1);
}

}  // namespace
