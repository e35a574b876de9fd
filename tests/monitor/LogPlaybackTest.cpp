#include "core/LineListModel.h"
#include "monitor/LogPlayback.h"
#include "monitor/LogReader.h"
#include "monitor/MessageLine.h"

#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

// A log of n records: record k is a message from identifier k with one byte k.
QByteArray logOf(int n)
{
    QByteArray bytes;
    for (int k = 1; k <= n; ++k)
        bytes += formatMessageLine(test::makeMessage(k, {static_cast<std::uint8_t>(k)})).toLatin1() + "\r\n";
    return bytes;
}

// Line ends are the splitter's (TextLineReader); the reader adds records
// counted from 1, nothing beyond them, a byte-order mark passed over, and a
// long record cut to its limit without losing the one after it.
TEST(LogReader, NumbersTheRecordsFromOne)
{
    QTemporaryDir dir;
    LogReader reader;
    ASSERT_TRUE(reader.open(test::writeFile(dir.filePath(QStringLiteral("a.txt")), "\xEF\xBB\xBF" "a\r\n\r\n" + QByteArray(5000, 'x') + "\rb\r\n")));
    ASSERT_EQ(reader.recordCount(), 4);
    EXPECT_EQ(reader.record(1), QStringLiteral("a"));
    EXPECT_EQ(reader.record(2), QString());
    EXPECT_EQ(reader.record(3), QString(LogReader::kMaxRecordChars, QLatin1Char('x')));
    EXPECT_EQ(reader.record(4), QStringLiteral("b"));
    for (const qsizetype beyond : {5, 0, -3})
        EXPECT_EQ(reader.record(beyond), QString()) << beyond;
    ASSERT_TRUE(reader.open(test::writeFile(dir.filePath(QStringLiteral("empty.txt")), "\xEF\xBB\xBF")));
    EXPECT_EQ(reader.recordCount(), 0);
}

TEST(LogReader, ReadsAnyRecordOfAMixedFileInAnyOrder)
{
    // 47-, 48-, 46- and 45-byte records and a last one without an end, over
    // many checkpoints and read blocks, so that line ends fall on every kind
    // of boundary.
    QByteArray bytes;
    QStringList lines;
    const char* ends[] = {"\r\n", "\n", "\r", "\r\n"};
    for (int k = 1; k <= 2000; ++k) {
        QString line = formatMessageLine(test::makeMessage(k, {static_cast<std::uint8_t>(k >> 8), static_cast<std::uint8_t>(k)}));
        if (k % 7 == 3)
            line.replace(0, 9, QStringLiteral("100.250000"));  // an older writer's 46 characters
        lines.append(line);
        bytes += line.toLatin1();
        if (k < 2000)
            bytes += ends[(k * 5 / 3) % 4];
    }
    QTemporaryDir dir;
    LogReader reader;
    ASSERT_TRUE(reader.open(test::writeFile(dir.filePath(QStringLiteral("mixed.txt")), bytes)));
    ASSERT_EQ(reader.recordCount(), 2000);
    for (int n = 1; n <= 2000; ++n)
        ASSERT_EQ(reader.record(n), lines[n - 1]) << "in order, record " << n;
    for (int n = 2000; n >= 1; n -= 37)
        ASSERT_EQ(reader.record(n), lines[n - 1]) << "backwards, record " << n;
    for (int n : {64, 65, 66, 128, 129, 1, 1999, 2000, 700})
        ASSERT_EQ(reader.record(n), lines[n - 1]) << "jumping, record " << n;
}

TEST(LogReader, SaysWhyAFileCannotBeOpened)
{
    QTemporaryDir dir;
    LogReader reader;
    EXPECT_FALSE(reader.open(dir.filePath(QStringLiteral("missing.txt"))));
    EXPECT_EQ(reader.failure(), FailureCode::FileNotFound);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.recordCount(), 0);
    EXPECT_EQ(reader.record(1), QString());
    EXPECT_FALSE(reader.open(dir.path()));
    EXPECT_EQ(reader.failure(), FailureCode::PermissionDenied) << "a folder";
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

TEST_F(PlaybackFixture, WithoutAFileStepOnlyBeepsAndAShortFileStopsAtItsFirstEmptyLine)
{
    playback.play();
    EXPECT_EQ(playback.stepTimer().interval(), LogPlayback::kPlayIntervalMs);
    playback.logFileStep();
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_FALSE(playback.stepTimer().isActive());
    EXPECT_TRUE(router.messages.empty());

    load(logOf(5));
    playback.runFullSpeed();
    EXPECT_EQ(playback.stepTimer().interval(), LogPlayback::kFullSpeedIntervalMs);
    for (int i = 0; i < 5; ++i)
        playback.logFileStep();
    EXPECT_EQ(lastProcessed(), 5);
    playback.logFileStep();
    EXPECT_EQ(dialogs.beeps, 2);
    EXPECT_FALSE(playback.stepTimer().isActive());
    EXPECT_EQ(router.messages.size(), 5u);
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
    // How such bytes are cut into lines is the splitter's test.
    load(bytes);
    ASSERT_GT(playback.recordCount(), 8);
    playback.runFullSpeed();
    int steps = 0;
    while (playback.stepTimer().isActive() && steps < 1000) {
        playback.logFileStep();
        ++steps;
    }
    EXPECT_LE(steps, playback.recordCount() + 1);
    for (const QString& e : errors.messages) {
        EXPECT_TRUE(e == QStringLiteral("Error in logged message, incorrect data length!")
                    || e == QStringLiteral("Error in logged message, wrong length!"))
            << e.toStdString();
    }
    EXPECT_EQ(dialogs.beeps, 1) << "played to the end and stopped";
}

// Files that cannot be opened, and old logs, are played through the window in the journeys.

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
