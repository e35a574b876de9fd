#include "core/SRecord.h"
#include "firmware/DownloadRules.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;
using namespace tellvane::firmware;

namespace {

// The results a download on the bench ends in are checked with their
// messages there; these are the others.
TEST(DownloadRules, EveryOtherResultHasItsMessage)
{
    const QString reply = QStringLiteral("Wrong code");
    const std::pair<std::int16_t, const char*> cases[] = {
        {-103, "Error, some unknown file error occurred"},
        {-104, "Error, no response from board"},
        {-105, "Error, ACK Timeout"},
        {-106, "Unexpected message from board = Wrong code"},
        {-111, "Error, expecting password request and instead got ->Wrong code"},
        {-113, "Error, expecting Erasing to complete and instead got ->Wrong code"},
        {-114, "Error, no response for further data request within M command"},
        {-107, "Error, the following unknown error code (-107) was returned"},
        {0, "Error, the following unknown error code (0) was returned"},
    };
    for (auto [code, text] : cases)
        EXPECT_EQ(resultMessage(code, reply), QString::fromLatin1(text)) << code;
}

TEST(DownloadRules, AreasPasswordsAndFilters)
{
    // Each keyword's area is the area-line test's.
    EXPECT_EQ(areaOfLine(QStringLiteral("Sys: V2 Boot: V1")), QStringLiteral("0")) << "Boot: is tested first";
    EXPECT_EQ(areaOfLine(QStringLiteral("boot: lower case")), QString());
    EXPECT_EQ(areaOfLine(QStringLiteral("Board: 7F3A")), QString());

    EXPECT_EQ(passwordFromBoardLine(QStringLiteral("Board: 7F3A P-code 12010003")), QStringLiteral("7F3A"));
    EXPECT_EQ(passwordFromBoardLine(QStringLiteral("Board:  AB  rest")), QString()) << "the space right after the colon and one more end it";
    EXPECT_EQ(passwordFromBoardLine(QStringLiteral("Board: 7F3A")), QStringLiteral("7F3A")) << "no space after it: to the end";
    EXPECT_EQ(passwordFromBoardLine(QStringLiteral("Board:")), QString());

    EXPECT_EQ(fileFilterForArea(QStringLiteral("0")), QStringLiteral("Boot Files (*.QXB *.qxb);;S19 Files (*.S19 *.s19);;All Files (*)"));
    EXPECT_TRUE(fileFilterForArea(QStringLiteral("1")).startsWith(QStringLiteral("System Files (*.QXS")));
    EXPECT_TRUE(fileFilterForArea(QStringLiteral("2")).startsWith(QStringLiteral("pCode Files (*.QXP")));
    EXPECT_TRUE(fileFilterForArea(QStringLiteral("3")).startsWith(QStringLiteral("Config Files (*.QXC")));
    EXPECT_EQ(fileFilterForArea(QStringLiteral("7")), QString());
}

TEST(DownloadRules, ReplyLinesEndAtCarriageReturns)
{
    const ReplyLines two = replyLines(QStringLiteral("Board: PW more\r\nBoot: V1\r\n"));
    EXPECT_EQ(two.lines, QStringList({"Board: PW more", "Boot: V1"}));
    EXPECT_TRUE(two.rest.isEmpty());
    const ReplyLines none = replyLines(QStringLiteral("no carriage return"));
    EXPECT_TRUE(none.lines.isEmpty());
    EXPECT_EQ(none.rest, QStringLiteral("no carriage return"));
    const ReplyLines odd = replyLines(QStringLiteral("\r\rA\r\n\nB\rtail"));
    EXPECT_EQ(odd.lines, QStringList({"A", "\nB"})) << "only one LF after a CR is dropped";
    EXPECT_EQ(odd.rest, QStringLiteral("tail"));
}

QString s19(QTemporaryDir& dir, const char* name, const QByteArray& text)
{
    return test::writeFile(dir.filePath(QString::fromLatin1(name)), text);
}

TEST(DownloadRules, S19FileShape)
{
    QTemporaryDir dir;
    const QByteArray good = makeSRecord('0', 0, "HDR") + "\r\n" + makeSRecord('1', 0x1000, "ABCDEFGH") + "\r\n"
        + makeSRecord('9', 0x1000, QByteArray()) + "\r\n";
    EXPECT_EQ(checkS19File(s19(dir, "good.s19", good)), 3);
    EXPECT_EQ(checkS19File(s19(dir, "empty.s19", QByteArray())), kEmptyFile);
    EXPECT_EQ(checkS19File(dir.filePath(QStringLiteral("missing.s19"))), kFileNotFound);
    EXPECT_EQ(checkS19File(dir.path()), kFileNotFound);
    EXPECT_EQ(checkS19File(s19(dir, "blankend.s19", good + "\r\n")), kCorruptFile) << "a last line that is empty";
    QByteArray wrongCount = makeSRecord('1', 0x1000, "ABCD");
    wrongCount[3] = '9';
    EXPECT_EQ(checkS19File(s19(dir, "count.s19", wrongCount + "\r\n")), kCorruptFile);
    EXPECT_EQ(checkS19File(s19(dir, "odd.s19", makeSRecord('1', 0x1000, "ABCD") + "0\r\n")), kCorruptFile);
    // A count record, an address shorter than its type's, an end record with a longer one.
    for (const QByteArray& record : {makeSRecord('5', 2, {}), QByteArray("S10240BD"), "S9" + makeSRecord('7', 0x4000, {}).mid(2)})
        EXPECT_FALSE(isS19Record(record)) << record.constData();
    // The first bad line is told, for the command line and the plan.
    int badLine = 0;
    EXPECT_EQ(checkS19File(s19(dir, "third.s19", good + wrongCount + "\r\n" + good), &badLine), kCorruptFile);
    EXPECT_EQ(badLine, 4);
    EXPECT_EQ(fileCheckMessage(kCorruptFile, badLine), QStringLiteral("Error, corrupted S19 file format (line 4)"));
}

TEST(SRecords, ParseAndMakeAgree)
{
    for (char type : {'0', '1', '2', '3', '5', '7', '8', '9'}) {
        const QByteArray line = makeSRecord(type, 0x123456 & (type == '1' || type == '9' || type == '0' || type == '5' ? 0xFFFF : 0xFFFFFF),
                                            type >= '7' || type == '5' ? QByteArray() : QByteArray("data\x01\xFF", 6));
        const SRecord r = parseSRecord(line);
        EXPECT_TRUE(r.valid) << line.constData();
        EXPECT_EQ(r.type, type);
    }
    for (const char* bad : {"", "S", "S4030000FC", "X1130000", "S10", "S1130000285F245F2212226A000424290008237CZZ"})
        EXPECT_FALSE(parseSRecord(bad).valid) << bad;
}

// srecord's srec_cat, an independent reader and writer of S-records: what it
// makes for us (without its S5 count record) passes our file check and reads
// as the same bytes, and it reads our records as the same bytes and refuses
// the checksum our check refuses.
TEST(SRecords, AgreeWithSrecCat)
{
    const QString srecCat = QStringLiteral("/usr/bin/srec_cat");
    ASSERT_TRUE(QFileInfo(srecCat).isExecutable()) << "srec_cat is missing: apt-get install srecord";
    QTemporaryDir dir;
    QByteArray image;
    for (int i = 0; i < 300; ++i)
        image.append(static_cast<char>(i * 37 + 11));
    const QString bin = test::writeFile(dir.filePath(QStringLiteral("image.bin")), image);
    const QString theirs = dir.filePath(QStringLiteral("theirs.s19"));
    const test::Finished made = test::runProcess(srecCat, {bin, QStringLiteral("-binary"), QStringLiteral("-offset"), QStringLiteral("0x8000"),
                                                           QStringLiteral("-o"), theirs, QStringLiteral("-motorola"), QStringLiteral("-disable=data-count")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_GT(checkS19File(theirs), 0) << "srec_cat's file passes the check";
    QByteArray fromTheirs;
    for (const QByteArray& line : test::readFile(theirs).split('\n')) {
        const SRecord r = parseSRecord(line.trimmed());
        if (r.valid && r.type == '1')
            fromTheirs.append(r.data);
    }
    EXPECT_EQ(fromTheirs, image);

    QByteArray ours = makeSRecord('0', 0, "hdr") + "\r\n";
    for (int at = 0; at < image.size(); at += 32)
        ours += makeSRecord('1', static_cast<std::uint32_t>(0x8000 + at), image.mid(at, 32)) + "\r\n";
    ours += makeSRecord('9', 0x8000, {}) + "\r\n";
    const QString oursFile = test::writeFile(dir.filePath(QStringLiteral("ours.s19")), ours);
    const QString back = dir.filePath(QStringLiteral("back.bin"));
    const test::Finished read = test::runProcess(srecCat, {oursFile, QStringLiteral("-motorola"), QStringLiteral("-offset"), QStringLiteral("-0x8000"),
                                                           QStringLiteral("-o"), back, QStringLiteral("-binary")});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    EXPECT_EQ(test::readFile(back), image);

    QByteArray broken = ours;
    const qsizetype lineEnd = broken.indexOf("\r\n", broken.indexOf("\r\n") + 2);
    broken[lineEnd - 1] = broken[lineEnd - 1] == '0' ? '1' : '0';  // the first data record's checksum
    const QString brokenFile = test::writeFile(dir.filePath(QStringLiteral("broken.s19")), broken);
    EXPECT_NE(test::runProcess(srecCat, {brokenFile, QStringLiteral("-motorola"), QStringLiteral("-o"), back, QStringLiteral("-binary")}).exitCode, 0);
    EXPECT_EQ(checkS19File(brokenFile), kCorruptFile);
}

TEST(DownloadRules, FileCheckFromADeviceMatchesTheFile)
{
    QTemporaryDir dir;
    const QByteArray good = "S00600004844521B\r\nS1130000285F245F2212226A000424290008237C2A\r\nS9030000FC\r\n";
    for (const QByteArray& content : {good, QByteArray(), QByteArray("S1130000\r\n"), QByteArray("\n\n")}) {
        QByteArray copy = content;
        QBuffer buffer(&copy);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(firmware::checkS19Device(buffer),
                  firmware::checkS19File(test::writeFile(dir.filePath(QStringLiteral("f.s19")), content)))
            << content.constData();
    }

    // A line longer than any record is refused where it passes that length,
    // the rest of it never read.
    QByteArray endless = good + "S1" + QByteArray(1 << 20, 'F') + "\r\n" + good;
    QBuffer endlessBuffer(&endless);
    ASSERT_TRUE(endlessBuffer.open(QIODevice::ReadOnly));
    int badLine = 0;
    EXPECT_EQ(firmware::checkS19Device(endlessBuffer, &badLine), kCorruptFile);
    EXPECT_EQ(badLine, 4);
    EXPECT_LT(endlessBuffer.pos(), endless.size() / 4);
}

}  // namespace
