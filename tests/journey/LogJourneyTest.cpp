// Journeys through the monitor's file mode: a log chosen and played with the
// Step button, the mouse and the keys; logs older writers made; files that
// cannot be played.

#include "Session.h"

#include "monitor/MonitorWindow.h"

#include <QLineEdit>
#include <QListView>
#include <QMdiSubWindow>
#include <QProgressBar>

#include <sys/stat.h>

using namespace tellvane;
using namespace tellvane::test;

namespace {

QByteArray lineOf(const SimFrame& frame, const QString& time)
{
    return (time + formatMessageLine(messageOf(frame)).mid(9)).toLatin1();
}

class LogJourney : public Session {
protected:
    MonitorWindow* monitor() const { return h->main().monitorWindow(); }
    QListView* list() const { return monitor()->messageList(); }
    QString field(const char* name) const { return monitor()->findChild<QLineEdit*>(QString::fromLatin1(name))->text(); }
    QString row(int r) const { return list()->model()->index(r, 0).data().toString(); }
    int current() const { return list()->currentIndex().row(); }

    void toFileMode()
    {
        ASSERT_TRUE(h->clickButton(monitor(), "ModePicture"));
        ASSERT_FALSE(h->app->monitor().inCanMode());
    }
    bool chooseLog(const QString& path)
    {
        h->dialogs.fileAnswers = {path};
        return h->clickButton(monitor(), "File_Open");
    }
    // The log written, file mode on, the log chosen: its path.
    QString playLog(const char* name, const QByteArray& bytes)
    {
        const QString path = writeFile(h->dir.filePath(QString::fromLatin1(name)), bytes);
        toFileMode();
        EXPECT_TRUE(chooseLog(path));
        return path;
    }
};

TEST_F(LogJourney, AnOldLogPlaysByMouseKeysAndStep)
{
    // Five records as older writers made them: 47 bytes below 100 s, 48 from
    // there on, and one line ended by LF alone.
    const QByteArray log = QByteArray("00.000000 00000000 0                         \r\n")
                           + "00.000000 18EFF921 8 01\r\n"  // promises eight bytes
                           + lineOf(pumpAnnouncementAt(40), QStringLiteral("100.250000")) + "\r\n"
                           + lineOf(pumpAnnouncementAt(41), QStringLiteral("101.500000")) + "\n"
                           + lineOf(pumpAnnouncementAt(42), QStringLiteral("133.750000")) + "\r\n";
    const QString path = playLog("old.txt", log);
    EXPECT_EQ(field("ReadFileText"), path);
    EXPECT_EQ(field("LineSizeText"), QStringLiteral("5"));

    ASSERT_TRUE(h->clickRow(list(), 0));
    EXPECT_TRUE(errorLines().isEmpty());

    // Down: the broken second line is reported as a click reports it.
    h->key(Qt::Key_Down);
    EXPECT_EQ(current(), 1);
    ASSERT_EQ(errorLines().size(), 1) << errorLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(errorLines()[0], QStringLiteral("Error in logged message, incorrect data length!"));

    // The error list came forward; a click on the monitor's title bar takes
    // the keys back to its list. Down again: the board at 40 announces itself.
    ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(monitor())));
    EXPECT_EQ(h->keyTarget(), list());
    EXPECT_FALSE(boardWindowAt(40));
    h->key(Qt::Key_Down);
    EXPECT_EQ(current(), 2);
    EXPECT_TRUE(boardWindowAt(40)) << "a 48-byte record plays as what it says";
    // Its window asks the board for its P-code, as for a live announcement; the
    // request stays out of the list played.
    const auto& sent = h->toolFrames()->frames();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const ToolFrames::Frame& f) {
        return (f.frame.id & 0x1FFFFFFFu) == 0x18EF28F9u && f.frame.length == 1 && f.frame.data[0] == 5;
    }));
    for (int r = 0; r < list()->model()->rowCount(); ++r)
        EXPECT_FALSE(row(r).contains(QStringLiteral("EF28F9"))) << r;

    // Step goes on from where the keys left the line.
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    EXPECT_EQ(current(), 3);
    EXPECT_TRUE(boardWindowAt(41));
    ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(monitor())));  // the new window came forward
    h->key(Qt::Key_Down);
    EXPECT_EQ(current(), 4);
    EXPECT_TRUE(boardWindowAt(42));
    const int beeps = h->dialogs.beeps;
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    EXPECT_EQ(h->dialogs.beeps, beeps + 1) << "the file ends after its fifth line";
    EXPECT_EQ(errorLines().size(), 1);
}

TEST_F(LogJourney, AFileThatCannotBeOpenedLeavesTheLoadedOneAsItWas)
{
    QByteArray log;
    for (int k = 0; k < 20; ++k)
        log += lineOf(pumpAnnouncementAt(40 + k % 3), QStringLiteral("%1.000000").arg(k, 2, 10, QLatin1Char('0'))) + "\r";
    const QString path = playLog("cr.txt", log);
    EXPECT_EQ(field("LineSizeText"), QStringLiteral("20")) << "lines ended by CR alone";
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    const QString first = row(0);

    const QString missing = h->dir.filePath(QStringLiteral("gone.txt"));
    ASSERT_TRUE(chooseLog(missing));
    ASSERT_EQ(errorLines().size(), 1) << errorLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(errorLines()[0],
              QStringLiteral("An unexpected error 53'File not found' occured within OpenReadLogFile with Filename=") + missing);
    // Nothing that may never end is read: a pipe, a device.
    const QString fifo = h->dir.filePath(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& endless : {fifo, QStringLiteral("/dev/zero")}) {
        const qsizetype before = errorLines().size();
        ASSERT_TRUE(chooseLog(endless));
        ASSERT_EQ(errorLines().size(), before + 1);
        EXPECT_EQ(errorLines().last(), QStringLiteral("An unexpected error 52'Bad file name or number' occured within "
                                                  "OpenReadLogFile with Filename=%1 (not a regular file)")
                                       .arg(endless));
    }
    EXPECT_EQ(field("ReadFileText"), path) << "the name of the lines listed";
    EXPECT_EQ(field("LineSizeText"), QStringLiteral("20"));
    EXPECT_EQ(row(0), first);
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    EXPECT_EQ(current(), 1) << "Step goes on in the file listed";
}

// A log of some megabytes opens a slice per turn of the event loop; meanwhile
// the file before plays on, and Escape or Cancel gives the new one up.
TEST_F(LogJourney, ABigLogOpensInSlicesAndCanBeCancelled)
{
    const QString small = playLog("small.txt", lineOf(pumpAnnouncementAt(40), QStringLiteral("01.000000")) + "\r\n");
    const QString big = writeFile(h->dir.filePath(QStringLiteral("big.txt")),
                                  QByteArray(lineOf(pumpAnnouncementAt(41), QStringLiteral("02.000000")) + "\r\n")
                                      .repeated(60000));
    h->app->playback().setScanSlice(256 << 10);
    auto* progress = monitor()->findChild<QProgressBar*>(QStringLiteral("OpenProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isVisible());
    const QString before = row(0);
    auto unchanged = [&] {
        EXPECT_FALSE(progress->isVisible());
        EXPECT_EQ(field("ReadFileText"), small);
        EXPECT_EQ(field("LineSizeText"), QStringLiteral("1"));
        EXPECT_EQ(row(0), before);
    };

    for (const bool byEscape : {true, false}) {
        ASSERT_TRUE(chooseLog(big));
        ASSERT_TRUE(progress->isVisible());
        h->runDueTimers();
        const int reached = progress->value();
        EXPECT_GT(reached, 0);
        EXPECT_LT(reached, 1000);
        EXPECT_EQ(field("LineSizeText"), QStringLiteral("1"));
        ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
        EXPECT_TRUE(boardWindowAt(40)) << "the file before plays on meanwhile";
        ASSERT_TRUE(h->bringToFront(JourneyHarness::subWindowOf(monitor())));  // back from the board's window
        if (byEscape)
            h->key(Qt::Key_Escape);
        else
            ASSERT_TRUE(h->clickButton(monitor(), "CancelOpen"));
        h->runDueTimers();
        unchanged();
    }

    ASSERT_TRUE(chooseLog(big));
    int turns = 0;
    for (; progress->isVisible() && turns < 100; ++turns)
        h->runDueTimers();
    EXPECT_GE(turns, 10) << "2.8 MB in slices of 256 KiB";
    EXPECT_EQ(field("ReadFileText"), big);
    EXPECT_EQ(field("LineSizeText"), QStringLiteral("60000"));
    EXPECT_EQ(row(0).left(9), QStringLiteral("02.000000"));
    EXPECT_TRUE(errorLines().isEmpty()) << errorLines().join(QLatin1Char('|')).toStdString();
}

}  // namespace
