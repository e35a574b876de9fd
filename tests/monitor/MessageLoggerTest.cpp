#include "core/LineListModel.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"

#include "TestSupport.h"

#include <QFile>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

using test::makeMessage;

struct LoggerFixture : ::testing::Test {
    QTemporaryDir dir;
    LineListModel list{LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit};
    MessageLogger logger{list};
    test::ErrorCollector errors;
};

TEST_F(LoggerFixture, NothingIsShownWithoutDisplayOrInFileMode)
{
    logger.options().showAscii = true;
    for (int i = 0; i < 10; ++i)
        logger.logCanMessage(makeMessage(i, {1}));
    EXPECT_TRUE(list.isEmpty());
    logger.options().displayLive = true;
    logger.setListAvailable(false);
    logger.logCanMessage(makeMessage(1, {1}));
    EXPECT_TRUE(list.isEmpty());
    logger.setListAvailable(true);
    logger.logCanMessage(makeMessage(1, {1}));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(LoggerFixture, DisplayAddsListItemsWithOrWithoutAscii)
{
    logger.options().displayLive = true;
    logger.logCanMessage(makeMessage(0x123, {0x41, 0x1F, 0x7F}, 1.5));
    logger.options().showAscii = true;
    logger.logCanMessage(makeMessage(0x123, {0x41, 0x1F, 0x7F}, 1.5));
    ASSERT_EQ(list.size(), 2u);
    const QString line = QStringLiteral("01.500000 00000123 3 41 1F 7F                ");
    EXPECT_EQ(list.at(0), line + QStringLiteral("     "));
    EXPECT_EQ(list.at(1), line + QStringLiteral("     A**"));
}

TEST_F(LoggerFixture, TheTenThousandAndFirstLineEmptiesTheList)
{
    logger.options().displayLive = true;
    for (int i = 0; i < 10000; ++i)
        logger.logCanMessage(makeMessage(i, {}));
    EXPECT_EQ(list.size(), 10000u);
    logger.logCanMessage(makeMessage(1, {}));
    EXPECT_EQ(list.size(), 0u);
    logger.logCanMessage(makeMessage(2, {}));
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(LoggerFixture, SavingAppendsLinesWithCrLf)
{
    const QString path = dir.filePath(QStringLiteral("Tellvane/deeper/run.txt"));  // folders made on the way
    logger.saveLog().setFileName(path);
    logger.options().saveToFile = true;
    logger.openSaveLogFile();
    logger.options().showAscii = true;
    logger.logCanMessage(makeMessage(0x123, {0x41, 0x20, 0x7E}, 1.5));
    QCoreApplication::processEvents();  // the end of the batch
    EXPECT_EQ(test::readFile(path).size(), messageline::kRecordBytes) << "buffered lines reach the disk";
    logger.logCanMessage(makeMessage(0, {}));
    logger.closeSaveLogFile();
    EXPECT_TRUE(list.isEmpty()) << "saving alone shows nothing";
    const QByteArray expected = "01.500000 00000123 3 41 20 7E                \r\n"
                                "00.000000 00000000 0                         \r\n";
    EXPECT_EQ(test::readFile(path), expected);
    EXPECT_EQ(expected.size(), 2 * messageline::kRecordBytes);

    // Switched on again later in the run: the same file grows.
    logger.openSaveLogFile();
    logger.logCanMessage(makeMessage(7, {7}));
    logger.closeSaveLogFile();
    EXPECT_EQ(test::readFile(path).size(), 3 * messageline::kRecordBytes);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(LoggerFixture, AFailedOpenIsReportedOnceAndAGoodPlaceWorksAfterwards)
{
    // A file in the way of the folder: the log cannot be made.
    test::writeFile(dir.filePath(QStringLiteral("blocker")), "x");
    logger.saveLog().setFileName(dir.filePath(QStringLiteral("blocker/run.txt")));
    logger.options().saveToFile = true;
    logger.options().displayLive = true;
    logger.openSaveLogFile();
    for (int i = 0; i < 5; ++i)
        logger.logCanMessage(makeMessage(i, {1}));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].startsWith(QStringLiteral("A file error ")));
    EXPECT_TRUE(errors.messages[0].endsWith(
        QStringLiteral("' while trying to save to log file.  Make sure \\SavedData directory exists")));
    EXPECT_EQ(list.size(), 5u) << "the display goes on";
    // Switched off and on again: the same failure is still reported only once.
    logger.closeSaveLogFile();
    logger.openSaveLogFile();
    EXPECT_EQ(errors.messages.size(), 1);
    logger.closeSaveLogFile();

    // A place that can be written works afterwards.
    const QString good = dir.filePath(QStringLiteral("run.txt"));
    logger.saveLog().setFileName(good);
    logger.openSaveLogFile();
    logger.logCanMessage(makeMessage(2, {2}));
    logger.closeSaveLogFile();
    EXPECT_EQ(test::readFile(good).size(), messageline::kRecordBytes);
    EXPECT_EQ(errors.messages.size(), 1);
}

TEST_F(LoggerFixture, AFaultIsReportedOnceAsTheSystemSaysIt)
{
    // The numbers a recording reports for the same faults (ValueRecorder).
    const struct {
        const char* file;
        const char* failure;
    } cases[] = {{"/sys/run.txt", "70 occurred 'Permission denied'"},  // refused to root too
                 {"/dev/full", "61 occurred 'Disk full'"}};
    logger.options().saveToFile = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        errors.messages.clear();
        logger.saveLog().setFileName(QString::fromLatin1(c.file));
        logger.openSaveLogFile();
        for (int i = 0; i < 2000; ++i)  // well past the file's buffer
            logger.logCanMessage(makeMessage(i, {1, 2, 3, 4, 5, 6, 7, 8}));
        logger.flushSaveLog();
        logger.closeSaveLogFile();
        ASSERT_EQ(errors.messages.size(), 1);
        EXPECT_EQ(errors.messages[0], QStringLiteral("A file error %1 while trying to save to log file.  Make sure "
                                                     "\\SavedData directory exists")
                                          .arg(QLatin1String(c.failure)));
    }
}

TEST_F(LoggerFixture, TwoInstancesStartedInTheSameSecondKeepSaveLogsOfTheirOwn)
{
    const QString name = dir.filePath(QStringLiteral("2026-Dec-07_154624.txt"));
    const QString own = dir.filePath(QStringLiteral("2026-Dec-07_154624_2.txt"));
    SaveLog first;  // the other instance, which saved first
    first.claimFileName(name);
    first.open();
    QString shown;
    QObject::connect(&logger, &MessageLogger::saveFileNameChanged, [&](const QString& file) { shown = file; });
    logger.saveLog().claimFileName(name);
    logger.options().saveToFile = true;
    logger.openSaveLogFile();
    EXPECT_EQ(logger.saveLog().fileName(), own);
    EXPECT_EQ(shown, own);
    EXPECT_EQ(errors.messages,
              QStringList{QStringLiteral("The save log file %1 is another program's: this run saves to %2").arg(name, own)});

    // Switched off and on: the run goes on in its own file, and says nothing more.
    logger.logCanMessage(makeMessage(1, {1}));
    logger.closeSaveLogFile();
    logger.openSaveLogFile();
    logger.logCanMessage(makeMessage(2, {2}));
    first.writeLine(QStringLiteral("first"));
    first.close();
    logger.closeSaveLogFile();
    EXPECT_EQ(test::readFile(name), QByteArray("first\r\n"));
    EXPECT_EQ(test::readFile(own).size(), 2 * messageline::kRecordBytes);
    EXPECT_EQ(errors.messages.size(), 1);

    // A log named on purpose (tellvane-cli monitor --save) is not shared either.
    logger.openSaveLogFile();
    SaveLog appending;
    appending.setFileName(own);
    try {
        appending.open();
        ADD_FAILURE() << "opened a log another program writes";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), FailureCode::PermissionDenied);
        EXPECT_EQ(appending.failureText(failure), QStringLiteral("another program writes to it"));
    }
}

TEST_F(LoggerFixture, ABadMessageIsReportedAsAFileErrorOnce)
{
    logger.options().displayLive = true;
    CanMessage bad;
    bad.length = 9;
    logger.logCanMessage(bad);
    logger.logCanMessage(bad);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("A file error 9 occurred 'Subscript out of range' while trying to "
                                                 "save to log file.  Make sure \\SavedData directory exists"));
    EXPECT_TRUE(list.isEmpty());
}

}  // namespace
