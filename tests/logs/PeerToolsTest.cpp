// Our logs against independent readers and writers from Debian: can-utils'
// log2asc and asc2log, and python-can (its can_logconvert reads one log and
// writes another). What they write from our files must read back as the
// frames we wrote, times within a microsecond. Also tellvane-cli convert as
// a process: what it prints and its exit codes.

#include "../trace/TraceSamples.h"
#include "logs/FrameText.h"
#include "transmit/TransmitRow.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tellvane;
using namespace tellvane::test;

namespace {

const QString kLogToAsc = QStringLiteral("/usr/bin/log2asc");
const QString kAscToLog = QStringLiteral("/usr/bin/asc2log");
const QString kLogConvert = QStringLiteral("/usr/bin/can_logconvert");
const QString kCansend = QStringLiteral("/usr/bin/cansend");

// A missing peer is a failure that names the Debian package to install.
void requirePeer(const QString& program, const char* package)
{
    ASSERT_TRUE(QFileInfo(program).isExecutable())
        << program.toStdString() << " is missing: apt-get install " << package;
    if (program == kLogConvert) {
        const Finished python = runProcess(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import can")});
        ASSERT_EQ(python.exitCode, 0) << "python-can is missing: apt-get install " << package;
    }
}

void convertWith(const QString& program, const QStringList& arguments, const QString& output)
{
    const Finished peer = runProcess(program, arguments);
    ASSERT_EQ(peer.exitCode, 0) << program.toStdString() << ": " << peer.err.toStdString();
    ASSERT_TRUE(QFileInfo::exists(output)) << peer.err.toStdString();
}

// The frames alike, each time counted from the first frame (ASC counts from
// there) and within a microsecond; the direction only where both formats keep it.
void expectSameFrames(const std::vector<TraceFrame>& actual, const std::vector<TraceFrame>& expected, bool direction)
{
    ASSERT_EQ(actual.size(), expected.size());
    const std::uint8_t compared = TraceFrame::Extended | TraceFrame::Remote | TraceFrame::Error
                                  | (direction ? TraceFrame::Sent : 0);
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(i);
        const TraceFrame& a = actual[i];
        const TraceFrame& e = expected[i];
        EXPECT_NEAR(a.timeUs - actual.front().timeUs, e.timeUs - expected.front().timeUs, 1);
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.flags & compared, e.flags & compared);
        EXPECT_EQ(a.length, e.length);
        if (!(e.flags & TraceFrame::Remote)) {
            EXPECT_EQ(a.data, e.data);
        }
    }
}

// Our .log through log2asc and asc2log, and our .asc through asc2log.
TEST(PeerTools, CanUtilsReadOurLogAndAsc)
{
    requirePeer(kLogToAsc, "can-utils");
    requirePeer(kAscToLog, "can-utils");
    QTemporaryDir dir;
    const std::vector<TraceFrame> frames = sampleFrames();
    const QString ourLog = dir.filePath(QStringLiteral("ours.log"));
    const QString ourAsc = dir.filePath(QStringLiteral("ours.asc"));
    const QString fromLog = dir.filePath(QStringLiteral("log2asc.asc"));
    const QString back = dir.filePath(QStringLiteral("asc2log.log"));
    const QString fromAsc = dir.filePath(QStringLiteral("asc2log-ours.log"));
    writeFrames(ourLog, frames);
    writeFrames(ourAsc, frames);
    convertWith(kLogToAsc, {QStringLiteral("-I"), ourLog, QStringLiteral("-O"), fromLog, QStringLiteral("can0")}, fromLog);
    convertWith(kAscToLog, {QStringLiteral("-I"), fromLog, QStringLiteral("-O"), back}, back);
    convertWith(kAscToLog, {QStringLiteral("-I"), ourAsc, QStringLiteral("-O"), fromAsc}, fromAsc);
    for (const QString& name : {fromLog, back, fromAsc}) {
        SCOPED_TRACE(name.toStdString());
        const ReadBack read = readFrames(name);
        EXPECT_EQ(read.bad, 0);
        expectSameFrames(read.frames, frames, true);
    }
}

TEST(PeerTools, PythonCanReadsAndWritesEveryFormatOfOurs)
{
    requirePeer(kLogConvert, "python3-can");
    QTemporaryDir dir;
    std::vector<TraceFrame> frames = sampleFrames();
    // python-can's .log writer drops a remote frame's length.
    for (TraceFrame& f : frames) {
        if (f.flags & TraceFrame::Remote)
            f.length = 0;
    }
    const QString formats[] = {QStringLiteral("log"), QStringLiteral("asc"), QStringLiteral("csv")};
    for (const QString& from : formats) {
        const QString ours = dir.filePath(QStringLiteral("ours.") + from);
        writeFrames(ours, frames);
        for (const QString& to : formats) {
            SCOPED_TRACE((from + QStringLiteral(" -> ") + to).toStdString());
            const QString theirs = dir.filePath(QStringLiteral("python-from-%1.%2").arg(from, to));
            convertWith(kLogConvert, {ours, theirs}, theirs);
            const ReadBack back = readFrames(theirs);
            EXPECT_EQ(back.bad, 0);
            EXPECT_TRUE(back.warnings.empty()) << back.warnings.front().text.toStdString();
            const bool direction = from != QLatin1String("csv") && to != QLatin1String("csv");
            expectSameFrames(back.frames, frames, direction);
        }
    }
}

// Vector ASC events as the peers read them: statistics lines, with a channel
// and without, passed over; and times relative to the line before added up.
// python-can 4.1 reads relative times as absolute ones, and asc2log adds up
// the frames' times only, not those of the events between them: each peer is
// asked where it reads as the format says.
TEST(PeerTools, TheyReadAscEventsAsWeDo)
{
    requirePeer(kAscToLog, "can-utils");
    requirePeer(kLogConvert, "python3-can");
    const struct {
        const char* timestamps;
        QByteArray events;
        bool python;
    } cases[] = {
        {"absolute",
         "   0.500000 1  123             Rx   d 1 01\n"
         "   1.000000 Statistic: D 1 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
         "   1.000000 1 Statistic: D 1 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
         "   2.250000 1  18FEF121x       Tx   d 2 01 02\n",
         true},
        {"relative",
         "   0.500000 1  123             Rx   d 1 01\n"
         "   0.250000 1  18FEF121x       Tx   d 2 01 02\n"
         "   1.000000 1  7FF             Rx   d 8 01 02 03 04 05 06 07 08\n",
         false},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timestamps);
        const QString ours = dir.filePath(QStringLiteral("%1.asc").arg(QLatin1String(c.timestamps)));
        writeFile(ours, "base hex  timestamps " + QByteArray(c.timestamps) + "\ninternal events logged\n" + c.events);
        const ReadBack read = readFrames(ours);
        EXPECT_TRUE(read.warnings.empty()) << read.warnings.front().text.toStdString();
        const QString canUtils = dir.filePath(QStringLiteral("%1-asc2log.log").arg(QLatin1String(c.timestamps)));
        convertWith(kAscToLog, {QStringLiteral("-I"), ours, QStringLiteral("-O"), canUtils}, canUtils);
        expectSameFrames(readFrames(canUtils).frames, read.frames, true);
        if (c.python) {
            const QString python = dir.filePath(QStringLiteral("%1-python.log").arg(QLatin1String(c.timestamps)));
            convertWith(kLogConvert, {ours, python}, python);
            expectSameFrames(readFrames(python).frames, read.frames, true);
        }
    }
}

// cansend's usage examples and candump frames read as python-can's candump reader
// reads them; remote, CAN FD and length-code frames are no frames to send.
TEST(PeerTools, CansendsExamplesAndCandumpFramesReadAsPythonCanReadsThem)
{
    requirePeer(kCansend, "can-utils");
    requirePeer(kLogConvert, "python3-can");
    const QString usage = runProcess(kCansend, {}).err;
    const QStringList examples = usage.mid(usage.indexOf(QStringLiteral("Examples:")))
                                     .split(QRegularExpression(QStringLiteral("[\\s/]+")))
                                     .filter(QStringLiteral("#"));
    ASSERT_GE(examples.size(), 6) << usage.toStdString();
    QStringList texts;
    QStringList ours;
    for (const QString& text : examples + QStringLiteral("7FF#0102030405060708 0cf00400#f07d7d00 18FEF1F9#R8").split(QLatin1Char(' '))) {
        TraceFrame sendable;
        TraceFrame frame;
        QString why;
        const bool special = QRegularExpression(QStringLiteral("##|#R|_")).match(text).hasMatch();
        EXPECT_EQ(readSendFrame(text.toStdString(), sendable, why), !special) << text.toStdString();
        EXPECT_EQ(why.isEmpty(), !special) << text.toStdString();
        if (frametext::read(text.toStdString(), frame, why, frametext::Dots::Allowed)) {
            EXPECT_TRUE(special || frame == sendable) << text.toStdString();
            texts << QString(text).remove(QLatin1Char('.'));  // python-can reads no dots
            ours << frametext::write(frame);
        }
    }
    const QString script = QStringLiteral(
        "import io, sys\nfrom can.io.canutils import CanutilsLogReader\n"
        "for m in CanutilsLogReader(io.StringIO(''.join('(0) can0 %s\\n' % t for t in sys.argv[1:]))):\n"
        "    print(('%08X' if m.is_extended_id else '%03X') % m.arbitration_id + '#' + (('R%d' % m.dlc if m.dlc else 'R')"
        " if m.is_remote_frame else bytes(m.data).hex().upper()))");
    const Finished python = runProcess(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + texts);
    EXPECT_EQ(python.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), ours) << python.err.toStdString();
}

TEST(ConvertCommand, ExitCodesAndWarnings)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.log"));
    const QString broken = dir.filePath(QStringLiteral("broken.log"));
    writeFile(good, "(1.000000) can0 123#01\n(2.000000) can0 18FEF121#0102 T\n");
    writeFile(broken, "(1.000000) can0 123#01\n(2.000000) can0 123#0\n");
    // More bad lines than are named one by one.
    const QString noisy = dir.filePath(QStringLiteral("noisy.log"));
    writeFile(noisy, QByteArray("x\n").repeated(TraceLogReader::kMaxPendingWarnings + 5) + "(1.000000) can0 123#01\n");
    const QString out = dir.filePath(QStringLiteral("out.asc"));
    const QString lines = dir.filePath(QStringLiteral("out.txt"));
    // The same file under another name: a hard link.
    const QString hard = dir.filePath(QStringLiteral("hard.log"));
    ASSERT_EQ(::link(QFile::encodeName(good).constData(), QFile::encodeName(hard).constData()), 0);
    struct Case {
        QStringList arguments;
        int exitCode;
        QString inOutput;  // on stdout or stderr
    };
    const Case cases[] = {
        {{good, out}, 0, QStringLiteral("2 frames written to ") + out},
        {{broken, out}, 1, broken + QStringLiteral(":2: ")},
        {{noisy, dir.filePath(QStringLiteral("noisy.asc"))}, 1, noisy + QStringLiteral(": and 5 more warnings\n")},
        {{good, lines}, 1, lines + QStringLiteral(": 1 frame with an 11-bit identifier written as a 29-bit one\n")},
        {{dir.filePath(QStringLiteral("missing.log")), out}, 1, QStringLiteral("cannot open")},
        {{good, dir.filePath(QStringLiteral("out.blf"))}, 2, QStringLiteral("none of .txt, .log, .asc, .csv")},
        {{good, good}, 2, QStringLiteral("overwrite the input")},
        {{good, hard}, 2, QStringLiteral("overwrite the input")},
        {{good}, 2, QStringLiteral("usage: tellvane-cli convert IN OUT")},
        {{good, out, QStringLiteral("--frames")}, 2, QStringLiteral("Unknown option 'frames'")},
        {{QStringLiteral("--help")}, 0, QStringLiteral("IN OUT")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const Finished cli = runProcess(QStringLiteral(TELLVANE_CLI), QStringList{QStringLiteral("convert")} + c.arguments);
        EXPECT_EQ(cli.exitCode, c.exitCode) << cli.err.toStdString();
        EXPECT_TRUE((cli.out + cli.err).contains(c.inOutput)) << (cli.out + cli.err).toStdString();
    }
    EXPECT_EQ(readFrames(out).frames.size(), 1u);  // the broken log's good line
    EXPECT_EQ(readFrames(hard).frames.size(), 2u);
}

}  // namespace
