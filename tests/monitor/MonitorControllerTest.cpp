#include "can/BoardDirectory.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/LineListModel.h"
#include "core/SettingsStore.h"
#include "monitor/LogPlayback.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorController.h"
#include "monitor/MonitorStatus.h"

#include "FakeAdapter.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct MonitorFixture : ::testing::Test {
    QTemporaryDir dir;
    test::FakeAdapter adapter;
    FakeClock clock;
    CanLink link{adapter, clock};
    test::FakePoll poll;
    test::FakeDialogs dialogs;
    test::RecordingRouter router;
    test::ErrorCollector errors;
    LineListModel list{LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit};
    MessageLogger logger{list};
    LogPlayback playback{list, dialogs};
    MonitorStatus status{link};
    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    BoardDirectory boards{link, settings};
    MonitorController monitor{link, poll, boards, logger, playback, list, dialogs};

    MonitorFixture()
    {
        link.setMessageSink(&logger);
        link.setRouter(&router);
        link.setStatusView(&status);
        playback.setRouter(&router);
        logger.saveLog().setFileName(dir.filePath(QStringLiteral("Tellvane/run.txt")));
        monitor.setLogFolder(dir.filePath(QStringLiteral("Tellvane/")));
    }

    QString logFile(int records)
    {
        QByteArray bytes;
        for (int k = 1; k <= records; ++k)
            bytes += formatMessageLine(test::makeMessage(0x100 + k, {})).toLatin1() + "\r\n";
        return test::writeFile(dir.filePath(QStringLiteral("Tellvane/old.txt")), bytes);
    }
};

// The height that follows mode and display is checked on the monitor window.

TEST_F(MonitorFixture, SwitchingToFileModeStopsTheLinkInOrder)
{
    link.pollTick();
    adapter.clearLog();
    monitor.setDisplayLive(true);
    list.append(QStringLiteral("old line"));
    EXPECT_TRUE(monitor.inCanMode());
    monitor.switchMode();
    EXPECT_FALSE(monitor.inCanMode());
    EXPECT_FALSE(poll.enabled);
    EXPECT_EQ(adapter.calls.front(), "RecCANMess 9FFFFFFF 13") << "reception is blocked";
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(monitor.readFileText(), QString());

    adapter.clearLog();
    monitor.switchMode();
    EXPECT_TRUE(monitor.inCanMode());
    EXPECT_TRUE(poll.enabled);
    EXPECT_EQ(adapter.calls.front(), "EnableTS") << "the adapter is configured again";
    EXPECT_EQ(adapter.calls.size(), 13u);
}

TEST_F(MonitorFixture, SavingResumesAfterTheRoundTripToFileMode)
{
    link.pollTick();
    monitor.setSaveToFile(true);
    adapter.pushMessage(0x18EFFF21, {1});
    link.pollTick();
    monitor.switchMode();
    EXPECT_FALSE(logger.saveLog().isOpen()) << "closed in file mode";
    monitor.switchMode();
    EXPECT_TRUE(logger.saveLog().isOpen()) << "the box kept its tick: saving goes on";
    adapter.pushMessage(0x18EFFF22, {2});
    link.pollTick();
    monitor.setSaveToFile(false);
    const QByteArray saved = test::readFile(logger.saveLog().fileName());
    EXPECT_TRUE(saved.contains("18EFFF21"));
    EXPECT_TRUE(saved.contains("18EFFF22"));
    EXPECT_EQ(saved.size() % 47, 0);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(MonitorFixture, ListClickClearsInLiveModeAndPlaysInFileMode)
{
    monitor.setDisplayLive(true);
    logger.logCanMessage(CanMessage{});
    ASSERT_EQ(list.size(), 1u);
    monitor.listClicked(0);
    EXPECT_TRUE(list.isEmpty());

    monitor.switchMode();
    dialogs.fileAnswers = {logFile(20)};
    monitor.chooseLogFile();
    EXPECT_EQ(dialogs.openCalls, QStringList({dir.filePath(QStringLiteral("Tellvane/"))}));
    EXPECT_TRUE(dialogs.lastFilter.startsWith(QStringLiteral("Text Files (*.txt)")));
    EXPECT_EQ(monitor.readFileText(), dir.filePath(QStringLiteral("Tellvane/old.txt")));
    EXPECT_EQ(playback.recordCount(), 20);
    monitor.listClicked(4);
    ASSERT_EQ(router.messages.size(), 1u);
    EXPECT_EQ(router.messages[0].id, 0x105);
    EXPECT_EQ(list.size(), 15u) << "a click in file mode does not clear";
}

TEST_F(MonitorFixture, CancellingTheDialogLeavesWhatWasLoaded)
{
    monitor.switchMode();
    list.appendNow(QStringLiteral("kept"));
    monitor.chooseLogFile();  // cancelled before any file
    EXPECT_EQ(list.size(), 1u);
    EXPECT_FALSE(playback.readFileOpen());

    dialogs.fileAnswers = {logFile(20)};
    monitor.chooseLogFile();
    monitor.chooseLogFile();  // cancelled
    EXPECT_EQ(monitor.readFileText(), QString());
    EXPECT_EQ(list.size(), 15u);
    EXPECT_TRUE(playback.readFileOpen());
    monitor.step();
    EXPECT_EQ(router.messages.size(), 1u);
}

TEST_F(MonitorFixture, LeavingFileModeStopsPlaybackAndLiveLinesStayOutOfThePlaybackList)
{
    monitor.setDisplayLive(true);
    monitor.switchMode();
    dialogs.fileAnswers = {logFile(30)};
    monitor.chooseLogFile();
    monitor.play();
    EXPECT_TRUE(playback.stepTimer().isActive());
    // A message sent meanwhile (a board asked for its code) is not shown in the playback list.
    const std::uint8_t data[9] = {5};
    link.sendLogged(0x98EF21F9u, 1, data);
    EXPECT_EQ(list.size(), 15u);
    monitor.switchMode();
    EXPECT_FALSE(playback.stepTimer().isActive());
    link.sendLogged(0x98EF21F9u, 1, data);
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(MonitorFixture, StatusPanelFollowsTheLink)
{
    EXPECT_FALSE(status.interfaceLabelVisible(0));
    EXPECT_FALSE(status.errorOkVisible());
    link.pollTick();
    status.flush();
    EXPECT_TRUE(status.interfaceLabelVisible(0));
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(status.interfaceLabelVisible(i));

    struct Case {
        std::uint8_t flags;
        bool ok;
        std::vector<int> bits;
        bool timer;
    };
    const Case cases[] = {
        {0x00, true, {}, false},
        {0x40, false, {6}, true},
        {0xC0, false, {6, 7}, true},
        {0x01, false, {}, false},
        {0x3E, false, {1, 2, 3, 4, 5}, false},
    };
    for (const Case& c : cases) {
        adapter.errorRegister = c.flags;
        link.checkCanLink(false);
        EXPECT_EQ(status.errorOkVisible(), c.ok) << int(c.flags);
        for (int bit = 1; bit <= 7; ++bit) {
            const bool expected = std::find(c.bits.begin(), c.bits.end(), bit) != c.bits.end();
            EXPECT_EQ(status.errorBitVisible(bit), expected) << int(c.flags) << " bit " << bit;
        }
        EXPECT_EQ(status.errorTimer().isActive(), c.timer || status.errorTimer().isActive());
    }
    // Two seconds after a buffer flag the register is cleared and the timer stops.
    ASSERT_TRUE(status.errorTimer().isActive());
    EXPECT_EQ(status.errorTimer().interval(), 2000);
    adapter.clearLog();
    status.errorTimerTick();
    EXPECT_FALSE(status.errorTimer().isActive());
    EXPECT_EQ(adapter.calls, std::vector<std::string>({"WriteReg 45 1 0"}));

    adapter.sendResult = -4;
    link.checkCanLink(true);
    EXPECT_TRUE(status.interfaceLabelVisible(1));
    EXPECT_FALSE(status.interfaceLabelVisible(0));
}

TEST_F(MonitorFixture, BufferTagAndMessagesInBuffer)
{
    QSignalSpy changed(&status, &MonitorStatus::changed);
    link.pollTick();
    adapter.pushMessage(1, {1}, 0x20);
    adapter.pushMessage(2, {1}, 0x20);
    adapter.queuedCount = 7;
    link.pollTick();
    EXPECT_TRUE(status.bufferOverflowVisible());
    EXPECT_EQ(status.messagesInBuffer(), QStringLiteral("7"));
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 1) << "one announcement for the whole drain";
    adapter.clearLog();
    status.bufferOverflowClicked();
    EXPECT_FALSE(status.bufferOverflowVisible());
    EXPECT_EQ(adapter.calls.front(), "EnableTS") << "the click configures the adapter again";
}

}  // namespace
