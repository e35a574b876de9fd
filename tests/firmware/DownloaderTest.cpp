#include "can/BoardDirectory.h"
#include "can/CanFrameBits.h"
#include "can/CanLink.h"
#include "can/TextTransport.h"
#include "core/Clock.h"
#include "core/SRecord.h"
#include "core/SettingsStore.h"
#include "firmware/FirmwareDownloader.h"
#include "firmware/ListDownloaderView.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

#include "FirmwareFiles.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct FakeView final : ListDownloaderView {
    QStringList statuses;
    std::vector<int> progress;
    bool warning = false;
    std::vector<bool> busy;
    std::function<void()> onYield;

    void showWindow() override {}
    void raiseWindow() override {}
    void hideWindow() override {}
    void setStatus(const QString& text) override { statuses.append(text); }
    void setProgress(int percent) override { progress.push_back(percent); }
    void setWarningVisible(bool visible) override { warning = visible; }
    void setBusy(bool b) override { busy.push_back(b); }
    void yield() override
    {
        if (onYield)
            onYield();
    }
    QString status() const { return statuses.isEmpty() ? QString() : statuses.last(); }
};

using test::firmware;
using test::Firmware;

// A board on the simulated bench with its downloader open, the link up.
struct DownloadRig {
    QTemporaryDir dir;
    FakeClock clock;
    SimAdapter sim{clock};
    SimBoard* board = nullptr;
    CanLink link{sim, clock};
    SettingsStore settings{dir.filePath(QStringLiteral("s.ini"))};
    BoardDirectory boards{link, settings};
    TextTransport transport{link, clock, boards};
    test::FakeDialogs dialogs;
    test::RecordingSink sent;
    FakeView view;
    FirmwareDownloader downloader{transport, boards, link, clock, dialogs, settings, dir.path()};
    test::ErrorCollector errors;

    DownloadRig()
    {
        board = &sim.bus().emplaceNode<SimBoard>(SimBoardSpec{.address = 0x21, .boardType = 1537, .serial = 7, .pCode = 12010003});
        link.setRouter(&boards);
        link.setMessageSink(&sent);
        boards.setPacketReceiver(&transport);
        boards.setDownloaderControl(&downloader);
        downloader.setView(&view);
        link.pollTick();  // the adapter is configured; the board announces itself
        clock.advanceMs(50);
        link.pollTick();
        boards.setDownloadBoardAddress(0x21);
        downloader.open();
    }

    bool trySelectArea(const char* keyword)
    {
        for (int i = 0; i < view.info.size(); ++i) {
            if (view.info[i].contains(QLatin1String(keyword))) {
                view.selected = i;
                downloader.infoListClicked(i);
                return true;
            }
        }
        return false;
    }
    void selectArea(const char* keyword)
    {
        if (!trySelectArea(keyword))
            FAIL() << "no line with " << keyword;
    }
    // Information asked for, the pCode area chosen, the file chosen.
    void readyToDownload(const QByteArray& file)
    {
        downloader.requestNodeInfo();
        selectArea("pCode:");
        chooseFile(file);
    }
    // The whole dialogue as a technician clicks it: information, area, file,
    // download, flash. True when the board confirmed the flash.
    bool downloadAndFlash(const QByteArray& file)
    {
        downloader.requestNodeInfo();
        if (!trySelectArea("pCode:"))
            return false;
        chooseFile(file);
        downloader.startDownload();
        if (!downloader.lastStageSucceeded())
            return false;
        downloader.flashToMemory();
        return downloader.lastStageSucceeded();
    }
    // The characters of a text packet the tool sent the board; empty for others.
    static QByteArray packetText(const CanMessage& m)
    {
        QByteArray chars;
        if (static_cast<std::uint32_t>(m.id) != 0x98EF21F9u || m.length < 2 || m.data[0] != 0xFE)
            return chars;
        for (int i = 1; i < m.length; ++i)
            chars.append(static_cast<char>(m.data[static_cast<std::size_t>(i)]));
        return chars;
    }
    void chooseFile(const QByteArray& text, const char* name = "app.QXP")
    {
        view.file = test::writeFile(dir.filePath(QString::fromLatin1(name)), text);
    }
    int sentTexts(const char* text) const
    {
        int n = 0;
        for (const CanMessage& m : sent.messages)
            n += packetText(m) == QByteArray(text);
        return n;
    }
};

struct DownloadBench : ::testing::Test, DownloadRig {};

// The lines listed, and a line without an area, are checked in the journeys.
TEST_F(DownloadBench, TheBoardsPasswordAndAFileOnlyForAnArea)
{
    EXPECT_EQ(downloader.infoTimer().interval(), 500);
    downloader.requestNodeInfo();
    EXPECT_TRUE(transport.pipeBuffer().isEmpty());
    downloader.chooseFile();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("You must select a memory area first (Step 1)"));
}

TEST_F(DownloadBench, ChoosingTheFileRemembersItsFolder)
{
    downloader.requestNodeInfo();
    selectArea("Boot:");
    dialogs.fileAnswers = {QStringLiteral("/srv/firmware/boot.QXB")};
    downloader.chooseFile();
    EXPECT_EQ(dialogs.openCalls, QStringList({dir.path()})) << "the program's folder the first time";
    EXPECT_EQ(view.file, QStringLiteral("/srv/firmware/boot.QXB"));
    EXPECT_EQ(settings.value(QStringLiteral("File Manager"), QStringLiteral("Last Dir")), QStringLiteral("/srv/firmware/"));
    downloader.chooseFile();  // cancelled
    EXPECT_EQ(dialogs.openCalls.last(), QStringLiteral("/srv/firmware/"));
    EXPECT_EQ(view.file, QStringLiteral("/srv/firmware/boot.QXB"));
}

// The time a text packet and its acknowledgement occupy a 250 kbit/s bus, in
// microseconds (4 us a bit).
std::int64_t packetOnWireUs(const QByteArray& chars)
{
    std::uint8_t data[8] = {0xFE};
    for (qsizetype i = 0; i < chars.size(); ++i)
        data[i + 1] = static_cast<std::uint8_t>(chars.at(i));
    const std::uint8_t ack[1] = {0xFE};
    const int bits = CanFrameBits::frameBits(0x18EF21F9, true, static_cast<std::uint8_t>(chars.size() + 1), data)
        + CanFrameBits::frameBits(0x18EFF921, true, 1, ack);
    return std::int64_t{bits} * 4;
}

// On a 250 kbit/s wire: each line without the paced waits takes exactly its
// packets and their acknowledgements (the next packet goes when an
// acknowledgement arrives); a file of 100 lines or more goes without the 1 ms
// pauses until 99 % is reached after line 248, lines 249 and 250 wait with them.
TEST_F(DownloadBench, DownloadAndFlash)
{
    sim.bus().setBitRate(250000);
    const Firmware app = firmware(248);  // 250 lines with header and end
    readyToDownload(app.text);
    std::vector<int> delaysAtLine;  // the clock's pauses so far, after each line sent
    std::vector<std::int64_t> lineEnd;
    view.onYield = [&] {
        if (view.status().startsWith(QStringLiteral("Downloading "))) {
            delaysAtLine.push_back(clock.delayCalls());
            lineEnd.push_back(clock.nowMicroseconds());
        }
    };
    downloader.startDownload();
    view.onYield = nullptr;
    ASSERT_EQ(delaysAtLine.size(), 250u);
    EXPECT_EQ(delaysAtLine[247], delaysAtLine[0]) << "no pauses for lines 2 to 248";
    EXPECT_GT(delaysAtLine[248], delaysAtLine[247]);
    EXPECT_GT(delaysAtLine[249], delaysAtLine[248]);
    const QList<QByteArray> lines = app.text.split('\n');
    for (std::size_t i = 1; i < 248; ++i) {
        const QByteArray line = lines[static_cast<qsizetype>(i)].chopped(1) + '\n';  // CR for LF, as sent
        std::int64_t expected = 0;
        for (qsizetype p = 0; p < line.size(); p += 7)
            expected += packetOnWireUs(line.mid(p, 7));
        EXPECT_EQ(lineEnd[i] - lineEnd[i - 1], expected) << "line " << i + 1;
    }
    EXPECT_EQ(view.status(), QStringLiteral("You may now choose to download another area (Step 1) or Flash to memory (Step 4)"));
    EXPECT_EQ(board->bootLoader().loaded(2), app.image);
    EXPECT_EQ(sentTexts("$1Z"), 1);
    // Progress in whole steps: 0 after the first line, 100 after the last (a
    // step a line is the batch run's test).
    EXPECT_EQ(view.statuses.filter(QStringLiteral("Downloading ")).front(), QStringLiteral("Downloading 0%"));
    EXPECT_EQ(view.statuses.filter(QStringLiteral("Downloading ")).back(), QStringLiteral("Downloading 100%"));
    EXPECT_FALSE(view.warning);
    EXPECT_EQ(view.busy.back(), false);
    // The steps the window tells before and after the lines, in order.
    QStringList steps = view.statuses;
    steps.removeIf([](const QString& s) { return s.startsWith(QLatin1String("Downloading ")); });
    EXPECT_EQ(steps.join(QLatin1String(" | ")).toStdString(),
              " |  | Sending $1Z command | Sending password | Erasing memory... | Sending download section command | "
              "Loading file... | You may now choose to download another area (Step 1) or Flash to memory (Step 4)")
        << "cleared as the area and the file are chosen, then each step";

    // A next area without download mode again is the refused-files test's; two
    // areas flashed at once, the batch run's.
    downloader.flashToMemory();
    EXPECT_EQ(view.status(), QStringLiteral("Success, please wait 10 seconds and then cycle power"));
    EXPECT_EQ(board->bootLoader().flashed(2), app.image);
    EXPECT_TRUE(errors.messages.isEmpty());
}

// The board erases an area as soon as it is named: a bad file is found out
// before the board hears anything, so the area loaded before stays as it was.
TEST_F(DownloadBench, FilesRefusedBeforeAnythingIsSent)
{
    const Firmware app = firmware(20);
    readyToDownload(app.text);
    downloader.startDownload();
    ASSERT_TRUE(downloader.lastStageSucceeded());
    ASSERT_EQ(board->bootLoader().loaded(2), app.image);

    // What makes a file corrupt is the file check's; here, that a bad line
    // after good ones is found before the first is sent.
    struct Case {
        QByteArray text;
        QString message;
    };
    const Case cases[] = {
        {QByteArray(), QStringLiteral("Error, empty file found")},
        {firmware(4).text + "S1 not a record\r\n", QStringLiteral("Error, corrupted S19 file format")},
    };
    for (const Case& c : cases) {
        chooseFile(c.text, "bad.QXP");
        const auto packets = sent.messages.size();
        downloader.startDownload();
        EXPECT_EQ(view.status(), c.message);
        EXPECT_EQ(sent.messages.size(), packets) << c.message.toStdString() << ": nothing goes to the board";
        EXPECT_FALSE(view.busy.back()) << "the buttons are free again";
    }
    for (const QString& missing : {dir.filePath(QStringLiteral("nothing-here.QXP")), QString()}) {
        view.file = missing;
        const auto packets = sent.messages.size();
        downloader.startDownload();
        EXPECT_EQ(view.status(), QStringLiteral("Error, file not found"));
        EXPECT_EQ(sent.messages.size(), packets);
    }
    EXPECT_EQ(board->bootLoader().loaded(2), app.image) << "the area loaded before was never erased";

    // The next good file still goes straight to the area the board waits for.
    const Firmware next = firmware(4);
    chooseFile(next.text, "next.QXP");
    downloader.startDownload();
    EXPECT_TRUE(downloader.lastStageSucceeded());
    EXPECT_EQ(sentTexts("$1Z"), 1);
    EXPECT_EQ(board->bootLoader().loaded(2), next.image);
}

TEST_F(DownloadBench, FaultsOfTheBoardEndInTheirMessages)
{
    readyToDownload(firmware(20).text);

    board->bootLoader().faults().rejectedLine = 3;
    downloader.startDownload();
    EXPECT_EQ(view.status(), QStringLiteral("Error, I think you are trying to download the wrong file to the wrong area!"));
    board->bootLoader().faults().rejectedLine = -1;
    board->bootLoader().reset();
    transport.clearPipe();

    board->bootLoader().faults().wrongPassword = true;
    downloader.startDownload();
    EXPECT_TRUE(view.status().startsWith(QStringLiteral("Error, expecting password accepted and instead got ->Wrong code")))
        << view.status().toStdString();
    board->bootLoader().faults().wrongPassword = false;

    board->bootLoader().faults().speakAfterLines = 5;
    downloader.startDownload();
    EXPECT_TRUE(view.status().startsWith(QStringLiteral("Unexpected message from board = Buffer overrun")))
        << view.status().toStdString();
    board->bootLoader().faults().speakAfterLines = -1;
    board->bootLoader().reset();
    transport.clearPipe();

    board->bootLoader().faults().silent = true;
    downloader.startDownload();
    EXPECT_EQ(view.status(), QStringLiteral("Error, no response for further data request within $1Z command"));
    board->bootLoader().faults().silent = false;

    board->bootLoader().faults().noAck = true;
    downloader.startDownload();
    EXPECT_EQ(view.status(), QStringLiteral("Error, no response to request when sending $1Z command"));
    downloader.flashToMemory();
    EXPECT_EQ(view.status(), QStringLiteral("Error, no response to request M"));
    downloader.requestNodeInfo();
    EXPECT_EQ(view.info, QStringList({"Retrieving data...", "Error, no response to request"}));
    board->bootLoader().faults().noAck = false;

    board->bootLoader().reset();
    downloader.flashToMemory();  // nothing loaded
    EXPECT_TRUE(view.status().startsWith(QStringLiteral("Error, expecting Migrating and instead got ->Nothing to migrate")));
}

TEST_F(DownloadBench, SendFailuresBecomeAWarning)
{
    const Firmware app = firmware(10);
    readyToDownload(app.text);
    // The password exchange runs normally; the record lines are acknowledged
    // while the adapter reports their sends as failed.
    view.onYield = [&] {
        if (view.status() == QStringLiteral("Loading file..."))
            sim.setReportSendFailure(true);
    };
    downloader.startDownload();
    sim.setReportSendFailure(false);
    EXPECT_TRUE(view.warning);
    EXPECT_GT(downloader.downloadWarnings(), 10);
    EXPECT_EQ(board->bootLoader().loaded(2), app.image) << "the packets went through all the same";
}

TEST_F(DownloadBench, ABoardLeftWaitingForAnAreaIsRecognised)
{
    readyToDownload(firmware(3).text);
    downloader.startDownload();
    // The window is closed and opened again: the board still waits for the next area.
    downloader.windowClosed();
    boards.setDownloadBoardAddress(0x21);
    downloader.open();
    downloader.requestNodeInfo();
    ASSERT_EQ(view.info.size(), 5);
    EXPECT_EQ(view.info[1], QStringLiteral("Warning: Your board is in the middle of a programming "));
    EXPECT_EQ(view.info[4], QStringLiteral("been lost so you will have to start again after reset"));
}

// The board starting again in the middle of a download is a journey.

TEST_F(DownloadBench, OneStageAtATime)
{
    readyToDownload(firmware(30).text);
    int nested = 0;
    view.onYield = [&] {
        if (nested++ == 0) {
            downloader.startDownload();  // a second click while the first runs
            downloader.flashToMemory();
            downloader.requestNodeInfo();  // the 500 ms timer while a stage runs
            EXPECT_TRUE(downloader.infoRequestPending());
        }
    };
    downloader.startDownload();
    EXPECT_EQ(sentTexts("$1Z"), 1);
    EXPECT_EQ(sentTexts("M"), 0);
    EXPECT_EQ(sentTexts("$1V"), 1) << "the information request waits for the stage";
    EXPECT_EQ(view.status(), QStringLiteral("You may now choose to download another area (Step 1) or Flash to memory (Step 4)"));
    // It was not dropped: it runs as soon as the event loop turns.
    EXPECT_FALSE(downloader.infoRequestPending());
    EXPECT_TRUE(downloader.infoTimer().isActive());
    EXPECT_EQ(downloader.infoTimer().interval(), 0);
    view.onYield = nullptr;
    downloader.requestNodeInfo();
    EXPECT_EQ(sentTexts("$1V"), 2);

    // Closing the window forgets a waiting request.
    view.onYield = [&] {
        if (nested++ == 1)
            downloader.requestNodeInfo();
    };
    nested = 1;
    chooseFile(firmware(3).text);
    downloader.flashToMemory();
    downloader.windowClosed();
    EXPECT_FALSE(downloader.infoRequestPending());
    EXPECT_FALSE(downloader.infoTimer().isActive());
}

// The window closes and a board window opens it again while a stage is still
// on its way out (all in one event pass): the old stage never sends again,
// and the new opening gets its information once the old stage has returned.
TEST_F(DownloadBench, AStageOfAClosedWindowNeverSendsAgain)
{
    readyToDownload(firmware(60).text);
    std::size_t atReopen = 0;
    int lines = 0;
    view.onYield = [&] {
        if (view.status().startsWith(QStringLiteral("Downloading ")) && ++lines == 10) {
            downloader.closeDownloader();
            boards.setDownloadBoardAddress(0x21);
            downloader.open();
            atReopen = sent.messages.size();
            downloader.requestNodeInfo();  // its 500 ms pass while the old stage still runs
        }
    };
    downloader.startDownload();
    ASSERT_GT(atReopen, 0u);
    EXPECT_EQ(sent.messages.size(), atReopen) << "not one packet or acknowledgement after the window closed";
    EXPECT_TRUE(downloader.isOpen());
    EXPECT_FALSE(downloader.isRunning());
    EXPECT_FALSE(view.busy.back());
    EXPECT_FALSE(view.status().startsWith(QStringLiteral("Error"))) << "the old stage tells the new window nothing";
    EXPECT_TRUE(downloader.infoTimer().isActive()) << "the new opening's request follows";
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(DownloadBench, BoardsInAddressConflictAreNeverTalkedTo)
{
    downloader.windowClosed();
    boards.setDownloadBoardAddress(254);
    downloader.open();
    const auto before = sent.messages.size();
    downloader.requestNodeInfo();
    EXPECT_EQ(sent.messages.size(), before);
    EXPECT_EQ(view.info, QStringList({"Retrieving data...", "Error, no response to request"}));
    EXPECT_EQ(transport.sendAck(), 0);
    EXPECT_EQ(sent.messages.size(), before);
}

// The adapter is pulled out at each stage of the dialogue: every stage ends in
// its message with the buttons free again, nothing reaches flash that should
// not, and once the adapter is back (and the board started again) the same
// download goes through.
TEST(DownloadFaults, AdapterPulledOutAtEachStage)
{
    const Firmware app = firmware(120);
    std::vector<QByteArray> texts;  // every message the tool sends, as text
    {
        DownloadRig rig;
        rig.sent.messages.clear();
        ASSERT_TRUE(rig.downloadAndFlash(app.text)) << rig.view.status().toStdString();
        for (const CanMessage& m : rig.sent.messages)
            texts.push_back(DownloadRig::packetText(m));
    }
    auto firstFrom = [&](std::size_t from, const QByteArray& start) {
        for (std::size_t i = from; i < texts.size(); ++i) {
            if (texts[i].startsWith(start))
                return i;
        }
        ADD_FAILURE() << "no packet starts with " << start.constData();
        return texts.size();
    };
    const std::size_t line1 = firstFrom(0, "S1");
    struct Stage {
        const char* name;
        std::size_t message;
    };
    const Stage stages[] = {
        {"information request", firstFrom(0, "$1V")},
        {"download mode", firstFrom(0, "$1Z")},
        {"password", firstFrom(firstFrom(0, "$1Z") + 1, SimBoard::passwordFor(7).left(7).toLatin1())},
        {"header record", firstFrom(0, "S0")},
        {"first data record", line1},
        {"a record half way", firstFrom(line1 + 60 * 6, "S1")},
        {"end record", firstFrom(0, "S9")},
        {"flash command", firstFrom(0, "M")},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        DownloadRig rig;
        rig.sent.messages.clear();
        rig.sim.setPluggedIn(stage.message > 0);
        rig.sent.onMessage = [&](const CanMessage&) {
            if (rig.sent.messages.size() == stage.message)
                rig.sim.setPluggedIn(false);  // the next send finds no adapter
        };
        EXPECT_FALSE(rig.downloadAndFlash(app.text));
        EXPECT_FALSE(rig.downloader.isRunning());
        ASSERT_FALSE(rig.view.busy.empty());
        EXPECT_FALSE(rig.view.busy.back()) << "the buttons are free again";
        EXPECT_NE(rig.board->bootLoader().flashed(2), app.image);
        if (stage.message > firstFrom(0, "$1V")) {
            EXPECT_FALSE(rig.view.status().isEmpty());
        }
        EXPECT_TRUE(rig.errors.messages.isEmpty()) << rig.errors.messages.join(QLatin1Char('\n')).toStdString();

        rig.sent.onMessage = nullptr;
        rig.sim.setPluggedIn(true);
        rig.board->bootLoader().reset();
        rig.transport.clearPipe();
        EXPECT_TRUE(rig.downloadAndFlash(app.text)) << rig.view.status().toStdString();
        EXPECT_EQ(rig.board->bootLoader().flashed(2), app.image);
    }
}

}  // namespace
