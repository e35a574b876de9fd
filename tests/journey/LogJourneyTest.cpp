// Journeys through the monitor's file mode: a log chosen and played with the
// Step button, the mouse and the keys; logs older writers made; files that
// cannot be played.

#include "Session.h"

#include "monitor/MonitorWindow.h"

#include <QLineEdit>
#include <QListView>
#include <QMdiSubWindow>
#include <QStyle>

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
    // The error list's entries, long ones joined again from their continued rows.
    QStringList errors() const
    {
        return errorLines().join(QLatin1Char('\n')).replace(QStringLiteral("\n-->"), QString()).split(
            QLatin1Char('\n'), Qt::SkipEmptyParts);
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
    EXPECT_TRUE(errors().isEmpty());

    // Down: the broken second line is reported as a click reports it.
    h->key(Qt::Key_Down);
    EXPECT_EQ(current(), 1);
    ASSERT_EQ(errors().size(), 1) << errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(errors()[0], QStringLiteral("Error in logged message, incorrect data length!"));

    // The error list came forward; a click on the monitor's title bar takes
    // the keys back to its list. Down again: the board at 40 announces itself.
    QMdiSubWindow* frame = JourneyHarness::subWindowOf(monitor());
    ASSERT_TRUE(h->click(frame, JourneyHarness::titleBarPoint(frame, QStyle::SC_TitleBarLabel)));
    EXPECT_EQ(h->keyTarget(), list());
    EXPECT_FALSE(boardWindowAt(40));
    h->key(Qt::Key_Down);
    EXPECT_EQ(current(), 2);
    EXPECT_TRUE(boardWindowAt(40)) << "a 48-byte record plays as what it says";

    // Step goes on from where the keys left the line.
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    EXPECT_EQ(current(), 3);
    EXPECT_TRUE(boardWindowAt(41));
    ASSERT_TRUE(h->click(frame, JourneyHarness::titleBarPoint(frame, QStyle::SC_TitleBarLabel)));  // the new window came forward
    h->key(Qt::Key_Down);
    EXPECT_EQ(current(), 4);
    EXPECT_TRUE(boardWindowAt(42));
    const int beeps = h->dialogs.beeps;
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    EXPECT_EQ(h->dialogs.beeps, beeps + 1) << "the file ends after its fifth line";
    EXPECT_EQ(errors().size(), 1);
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
    ASSERT_EQ(errors().size(), 1) << errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(errors()[0],
              QStringLiteral("An unexpected error 53'File not found' occured within OpenReadLogFile with Filename=") + missing);
    EXPECT_EQ(field("ReadFileText"), path) << "the name of the lines listed";
    EXPECT_EQ(field("LineSizeText"), QStringLiteral("20"));
    EXPECT_EQ(row(0), first);
    ASSERT_TRUE(h->clickButton(monitor(), "Step_Button"));
    EXPECT_EQ(current(), 1) << "Step goes on in the file listed";
}

}  // namespace
