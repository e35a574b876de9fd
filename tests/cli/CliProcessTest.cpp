// tellvane-cli run as a process, on the simulated bench inside it (--adapter
// sim): what it refuses, and that the area typed is the area loaded.

#include "FirmwareFiles.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#include <csignal>

#include <sys/stat.h>

using namespace tellvane;

namespace {

using test::Finished;

Finished runCli(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return test::runProcess(QStringLiteral(TELLVANE_CLI), arguments, environment);
}

// Arguments from words written with spaces between them.
QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

// The packets a file's lines take: each line and its LF in pieces of seven.
int packetsOf(const QByteArray& text)
{
    int packets = 0;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            packets += static_cast<int>((line.size() + 1 + 6) / 7);
    }
    return packets;
}

struct Cli : ::testing::Test {
    QTemporaryDir dir;
    test::Firmware app = test::firmware(20);
    QString file;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = test::writeFile(dir.filePath(QStringLiteral("app.QXP")), app.text);
    }

    // The app's file with the checksum of its third line (a data record) wrong.
    QByteArray sumWrongAtLine3() const
    {
        QList<QByteArray> lines = app.text.split('\n');
        lines[2][lines[2].size() - 2] = static_cast<char>(lines[2].at(lines[2].size() - 2) ^ 1);
        return lines.join('\n');
    }

    QStringList flash(const QString& board, const QString& area) const
    {
        return words("flash --adapter sim --board") << board << QStringLiteral("--area") << area << QStringLiteral("--file")
                                                   << file << QStringLiteral("--no-flash");
    }
};

struct Refusal {
    const char* name;
    QStringList arguments;
    QString message;  // after "tellvane-cli: "
};

// Refused before the link starts: exit code 2, the message and the usage
// (which begins with `usage`) on stderr, nothing on stdout.
void expectRefused(const Refusal& refusal, const QString& usage)
{
    SCOPED_TRACE(refusal.name);
    const Finished run = runCli(refusal.arguments);
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("tellvane-cli: ") + refusal.message)) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(usage)) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("Interface:"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

TEST_F(Cli, CheckConfigLintsOnRequestAndSaysSoInItsExitCode)
{
    // Loads without a warning, but its name is one no board looks for and
    // its FORM is too small.
    const QString cfg = test::writeFile(dir.filePath(QStringLiteral("0412-0101.cfg")),
                                        "FORM, 7020, 4000\r\nFRAME, Inputs, 3600, 120, 4440, 2280\r\n");
    // The check makes no window: no display and no platform plugin needed.
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    headless.remove(QStringLiteral("DISPLAY"));
    const Finished plain = runCli({QStringLiteral("check-config"), cfg}, headless);
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();
    EXPECT_FALSE(plain.out.contains(QStringLiteral("Lint:")));

    const Finished linted = runCli({QStringLiteral("check-config"), cfg, QStringLiteral("--lint")});
    EXPECT_EQ(linted.exitCode, 1);
    const QStringList lines = linted.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Lint: 0412-0101.cfg: no board looks for a file of this name: the board of this "
                                       "style and variant looks for 412-0101.cfg"));
    EXPECT_TRUE(lines.filter(QStringLiteral("Lint: 0412-0101.cfg: FORM 7020 x 4000 twips is too small")).size() == 1)
        << linted.out.toStdString();
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("Window: 7020 x 4000 twips"))) << "the summary after the findings";

    const QString clean = test::writeFile(dir.filePath(QStringLiteral("412-0101.cfg")),
                                          "FORM, 7020, 6600\r\nFRAME, Inputs, 3600, 120, 4440, 2280\r\n");
    EXPECT_EQ(runCli(words("check-config --lint") << clean).exitCode, 0);
}

TEST_F(Cli, CheckConfigBoundsWhatItReadsAndPrints)
{
    const QString big = test::writeFile(dir.filePath(QStringLiteral("big.cfg")),
                                        QByteArray(1 << 20, '\'') + "\nLABEL, Speed, 3600, 120, 1000, 255\n");
    const Finished tooLarge = runCli({QStringLiteral("check-config"), big});
    EXPECT_EQ(tooLarge.exitCode, 1);
    EXPECT_TRUE(tooLarge.out.startsWith(QStringLiteral("A warning occured within EnterDiagnosticMode, big.cfg holds more "
                                                       "than 1048576 bytes (1 MB), more than any configuration file: it "
                                                       "is not loaded\nControls: 0")))
        << tooLarge.out.toStdString();

    // Groups of ten groups, four deep, each line of the last a warning: far more lines than anyone reads.
    QByteArray groups;
    for (int depth = 0; depth < 4; ++depth) {
        groups += "STARTGROUP, G" + QByteArray::number(depth) + "\n";
        for (int i = 0; i < 10; ++i)
            groups += depth < 3 ? "GROUP, G" + QByteArray::number(depth + 1) + ", x\n" : QByteArray("LABEL, a\n");
        groups += "ENDGROUP\n";
    }
    test::writeFile(dir.filePath(QStringLiteral("fan/groups.grp")), groups);
    const QString fan = test::writeFile(dir.filePath(QStringLiteral("fan/fan.cfg")), "GROUP, G0, x\nGROUP, G0, x\n");
    const Finished fanned = runCli({QStringLiteral("check-config"), fan});
    EXPECT_EQ(fanned.exitCode, 1);
    const QStringList lines = fanned.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 1001);
    EXPECT_EQ(lines[1000], QStringLiteral("\u2026 and 19000 more")) << "20000 warnings, the first thousand printed";
    EXPECT_TRUE(lines[1001].startsWith(QStringLiteral("Controls: 0")));

    const QString fifo = dir.filePath(QStringLiteral("fifo.cfg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Finished notFile = runCli({QStringLiteral("check-config"), fifo});
    EXPECT_EQ(notFile.exitCode, 1);
    EXPECT_EQ(notFile.err, QStringLiteral("tellvane-cli: %1 is not a regular file\n").arg(fifo));
}

TEST_F(Cli, RefusesWhatWasMistypedBeforeTheAdapterIsOpened)
{
    const QString areaWords = QStringLiteral("--area takes 0, 1, 2, 3 or boot, sys, pcode, config");
    const QString count = QStringLiteral("--count takes a whole number from 1 to 2147483647");
    const QString seconds = QStringLiteral("--seconds takes a whole number from 1 to 31536000");
    const QString conflict = QStringLiteral("is the address of boards in address conflict");
    const auto monitor = [](const char* option, const char* value) {
        return words("monitor --adapter sim") << QString::fromLatin1(option) << QString::fromLatin1(value);
    };
    // 2000 frames a second of 145 bits: beyond the bus (whose port is never dialled).
    QByteArray traffic;
    for (int i = 0; i < 4; ++i)
        traffic += "traffic 0x18FEF100 2 FF 40 1F FF FF FF FF FF\n";
    const QString busy = test::writeFile(dir.filePath(QStringLiteral("busy.txt")), traffic);
    const QString pipe = dir.filePath(QStringLiteral("pipe.log"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const std::vector<Refusal> cases = {
        {"conflict address", flash(QStringLiteral("254"), QStringLiteral("2")), QStringLiteral("--board 254 ") + conflict},
        {"area V", flash(QStringLiteral("33"), QStringLiteral("V")), areaWords + QStringLiteral(" (in any case), not \"V\"")},
        {"count of nothing", monitor("--count", "0"), count},
        {"seconds with a fraction", monitor("--seconds", "1.5"), seconds},
        {"bench seconds 0x", words("bench --adapter sim --seconds 0x"), seconds},
        {"bench beyond the bus", words("bench --adapter virtualcan:tcp://127.0.0.1:1/can0 --seconds 1 --bench") << busy,
         QStringLiteral("the traffic of %1 needs 290000 bits a second, more than the 250000 the bus carries").arg(busy)},
        {"option before the command", words("--adapter sim monitor"),
         QStringLiteral("Unknown option 'adapter'.")},
        {"filter that does not parse", monitor("--filter", "rx prio=9"),
         QStringLiteral("--filter: prio: 9 is above 7 at position 9")},
        {"unknown console format", monitor("--format", "xml"), QStringLiteral("--format takes lines, candump, asc or csv")},
        {"signals between candump lines", words("monitor --adapter sim --format candump --dbc a.dbc"),
         QStringLiteral("--dbc takes a file, and goes with --format lines: the signals follow each line")},
        {"decode without a database", words("decode a.log"),
         QStringLiteral("--dbc FILE is needed: the signal database to decode with")},
        {"decode to xml", words("decode --dbc a.dbc a.log --format xml"), QStringLiteral("--format takes text or csv")},
        {"decode csv of a pipe", words("decode --dbc a.dbc --format csv") << pipe,
         QStringLiteral("--format csv reads the log twice: %1 is no regular file").arg(pipe)},
        {"replay too fast", words("replay a.log --speed 11"),
         QStringLiteral("--speed takes a factor from 0.1 to 10")},
        {"replay onto no bus", words("replay --transmit a.log"),
         QStringLiteral("--transmit needs --adapter: the bus to send on")},
        {"send a remote frame", words("send --adapter sim 123#01 123#R"),
         QStringLiteral("123#R: a remote frame (\"#R\"): the tool sends data frames only")},
        {"send nothing", words("send --adapter sim"), QStringLiteral("send takes the frames to send (ID#DATA), or --list FILE")},
        {"send onto no bus", words("send 123#01"), QStringLiteral("--adapter is needed: the bus to send on")},
        {"send a count once", words("send --adapter sim --count 2 123#01"),
         QStringLiteral("--count goes with --period: without it each frame is sent once")},
        {"send faster than a millisecond", words("send --adapter sim --period 0 123#01"),
         QStringLiteral("--period takes a whole number from 1 to 3600000, decimal or hexadecimal after 0x, not \"0\"")},
        {"send a list at a period", words("send --adapter sim --list l.json --period 10"),
         QStringLiteral("--period and --count do not go with --list: each row of the list has its own")},
        {"send beyond the bus", words("send --adapter sim --period 1 1FFFFFFF#FFFFFFFFFFFFFFFF 1FFFFFFE#FFFFFFFFFFFFFFFF"),
         QStringLiteral("The periodic frames would take 120.0 % of the bus at 250 kbit/s: at most 80 % may be sent.")},
    };
    for (const Refusal& refusal : cases)
        expectRefused(refusal, QStringLiteral("usage: tellvane-cli"));
}

TEST_F(Cli, ReplayPlaysALogInOrderAndMonitorPrintsAndSavesTheBus)
{
    const QString log = test::writeFile(dir.filePath(QStringLiteral("played.log")),
                                        "(1700000000.000000) can0 18FEF121#0102\n"
                                        "(1700000000.500000) can0 18FEF1F9#11 T\n"
                                        "not a frame\n"
                                        "(1700000000.600000) can0 123#R\n"
                                        "(1700000000.700000) can0 20000080#\n"
                                        "(1700000000.750000) can0 123#\n");
    const Finished played = runCli(words("replay --speed 10") << log);
    EXPECT_EQ(played.exitCode, 1) << "a line was skipped";
    EXPECT_EQ(played.out, QStringLiteral("00.000000 18FEF121 2 01 02                   \n"
                                         "00.500000 98FEF1F9 1 11                      \n"
                                         "00.750000 00000123 0                         \n"))
        << "times in the log, the sent frame marked as the monitor marks it, the remote and error frames left out";
    EXPECT_EQ(played.err.count(log + QStringLiteral(":3: ")), 1) << played.err.toStdString();
    EXPECT_EQ(played.err.count(QStringLiteral("left out")), 1) << played.err.toStdString();
    EXPECT_TRUE(played.err.contains(log + QStringLiteral(": 2 remote or error frames left out"))) << played.err.toStdString();
    // More bad lines than are named one by one: counted.
    const QString noisy = test::writeFile(dir.filePath(QStringLiteral("noisy.log")),
                                          QByteArray("x\n").repeated(1005) + "(1.000000) can0 123#01\n");
    const Finished counted = runCli({QStringLiteral("replay"), noisy});
    EXPECT_EQ(counted.err.count(noisy + QLatin1Char(':')), 1001) << "a thousand named, and how many more";
    EXPECT_TRUE(counted.err.contains(noisy + QStringLiteral(": and 5 more warnings\n"))) << counted.err.right(200).toStdString();

    const Finished candump = runCli(words("monitor --adapter sim --count 4 --format candump"));
    EXPECT_EQ(candump.exitCode, 0) << candump.err.toStdString();
    const QStringList lines = candump.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << candump.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" can0 000# T"))) << "the link's probe first: " << lines[0].toStdString();
    // The candump line itself is the log writers' test.
    for (const QString& line : lines) {
        // Seconds of the session since the adapter opened, the tool's own frames too.
        const double seconds = line.mid(1, line.indexOf(QLatin1Char(')')) - 1).toDouble();
        EXPECT_GT(seconds, 0.0) << line.toStdString();
        EXPECT_LT(seconds, 60.0) << line.toStdString();
    }

    // Its own lines, from the probe on, and the same lines saved as records.
    const QString saved = dir.filePath(QStringLiteral("bus.txt"));
    const Finished monitor = runCli(words("monitor --adapter sim --count 4 --save") << saved);
    EXPECT_EQ(monitor.exitCode, 0) << monitor.err.toStdString();
    const QStringList printed = monitor.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(printed.size(), 4) << monitor.out.toStdString();
    EXPECT_EQ(printed[0], QStringLiteral("00.000000 00000000 0                         "));
    QSet<QString> senders;
    for (const QString& line : printed.mid(1)) {
        EXPECT_EQ(line.size(), printed[0].size()) << line.toStdString();
        senders.insert(line.mid(10, 8));
    }
    EXPECT_EQ(senders, (QSet<QString>{QStringLiteral("18EFFF21"), QStringLiteral("18EFFF22"), QStringLiteral("18EFFF23")}));
    EXPECT_TRUE(test::readFile(saved).startsWith(printed.join(QStringLiteral("\r\n")).toLatin1() + "\r\n"));
}

TEST_F(Cli, SendPutsTypedFramesAndTransmitListsOnTheBusAndCountsThem)
{
    const Finished typed = runCli(words("send --adapter sim --period 5 --count 3 123#01 18FEF1F9#01.40.FF 5AA#"));
    EXPECT_TRUE(typed.exitCode == 0 && typed.out == QStringLiteral("9 frames sent\n")) << typed.err.toStdString();
    // Once, three times on a period, switched off, and a row that cannot be sent.
    const QString list = test::writeFile(dir.filePath(QStringLiteral("list.json")), R"({"format": "tellvane transmit list",
        "version": 1, "rows": [{"id": "123", "extended": false}, {"id": "18FEF1F9", "periodMs": 5, "count": 3},
        {"id": "18FEF1FA", "periodMs": 5, "enabled": false}, {"id": "800", "extended": false}]})");
    const Finished listed = runCli(words("send --adapter sim --list") << list);
    EXPECT_TRUE(listed.exitCode == 1 && listed.out == QStringLiteral("4 frames sent\n")) << "a row was left out";
    EXPECT_EQ(listed.err, list + QStringLiteral(": row 4 left out: the standard identifier 800 is above 7FF\n"));
}

// A J1939 group (two sources), a multiplexed message in both byte orders, a
// value text, and a line that is no good; Prop is a group the simulated boards send.
constexpr char kDbc[] = R"(VERSION ""
BO_ 2364540158 EEC1: 8 ECU
 SG_ Torque : 16|8@1+ (1,-125) [-125|125] "%" Vector__XXX
 SG_ EngineSpeed : 24|16@1+ (0.125,0) [0|8031.875] "rpm" Vector__XXX
 SG_ Gear : 40|4@1+ (1,0) [0|15] "" Vector__XXX
BO_ 291 Status: 4 ECU
 SG_ Mode M : 0|8@1+ (1,0) [0|3] "" Vector__XXX
 SG_ Temp m1 : 15|16@0- (0.1,0) [-50|150] "degC" Vector__XXX
 SG_ Volt m2 : 8|16@1+ (0.01,0) [0|100] "V" Vector__XXX
BO_ 2565799936 Prop: 8 ECU
 SG_ First : 0|8@1+ (1,0) [0|255] "" Vector__XXX
BA_ "ProtocolType" "J1939";
VAL_ 2364540158 Gear 3 "Drive" 0 "Neutral" ;
garbage here
)";

TEST_F(Cli, DecodePrintsEachFramesSignalsAsLinesOrCsvAndMonitorAfterEachLine)
{
    const QString dbc = test::writeFile(dir.filePath(QStringLiteral("a.dbc")), kDbc);
    const QString log = test::writeFile(dir.filePath(QStringLiteral("b.log")),
                                        "(1700000000.000000) can0 0CF00400#FF00A2411F03FFFF\n"
                                        "(1700000000.010000) can0 0CF00421#FF007D0000000000\n"
                                        "(1700000000.020000) can0 123#01FF38\n"
                                        "(1700000000.030000) can0 123#02E803\n"
                                        "(1700000000.035000) can0 123#01\n"
                                        "not a frame\n"
                                        "(1700000000.040000) can0 456#01\n");
    const QString reports = dbc + QStringLiteral(":14: unknown statement \"garbage here\"\n") + log
                            + QStringLiteral(":6: the time not is not \"(SECONDS)\"; line skipped\n");
    const Finished text = runCli(words("decode --dbc") << dbc << log);
    EXPECT_EQ(text.exitCode, 1) << "lines were left out";
    EXPECT_EQ(text.err, reports);
    EXPECT_EQ(text.out, QStringLiteral(
        "(1700000000.000000) 0CF00400#FF00A2411F03FFFF  EEC1@00  Torque=37 %  EngineSpeed=1000.125 rpm  Gear=3 \"Drive\"\n"
        "(1700000000.010000) 0CF00421#FF007D0000000000  EEC1@21  Torque=0 %  EngineSpeed=0 rpm  Gear=0 \"Neutral\"\n"
        "(1700000000.020000) 123#01FF38  Status  Mode=1  Temp=-20 degC\n"
        "(1700000000.030000) 123#02E803  Status  Mode=2  Volt=10 V\n"
        "(1700000000.035000) 123#01  Status  Mode=1\n"
        "(1700000000.040000) 456#01\n"));
    const Finished csv = runCli(words("decode --format csv --dbc") << dbc << log);
    EXPECT_EQ(csv.exitCode, 1);
    EXPECT_EQ(csv.err, reports) << "the first reading says nothing";
    EXPECT_EQ(csv.out, QStringLiteral("time,id,message,EEC1.Torque@00,EEC1.EngineSpeed@00,EEC1.Gear@00,EEC1.Torque@21,"
                                      "EEC1.EngineSpeed@21,EEC1.Gear@21,Status.Mode,Status.Temp,Status.Volt\n"
                                      "1700000000.000000,0CF00400,EEC1,37,1000.125,3,,,,,,\n"
                                      "1700000000.010000,0CF00421,EEC1,,,,0,0,0,,,\n"
                                      "1700000000.020000,123,Status,,,,,,,1,-20,\n"
                                      "1700000000.030000,123,Status,,,,,,,2,,10\n"
                                      "1700000000.035000,123,Status,,,,,,,1,,\n"
                                      "1700000000.040000,456,,,,,,,,,,\n"));
    const Finished missing = runCli(words("decode --dbc") << dbc << QStringLiteral("--dbc") << dir.filePath(QStringLiteral("none.dbc")) << log);
    EXPECT_TRUE(missing.exitCode == 1 && missing.out.isEmpty()) << missing.exitCode;
    EXPECT_TRUE(missing.err.endsWith(QStringLiteral("tellvane-cli: %1 is not a file\n").arg(dir.filePath(QStringLiteral("none.dbc")))))
        << missing.err.toStdString();

    // The boards' answers to the probe, each with its source.
    const Finished monitor = runCli(words("monitor --adapter sim --count 4 --dbc") << dbc);
    EXPECT_EQ(monitor.exitCode, 1) << "the database's line left out";
    const QStringList lines = monitor.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << monitor.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("00.000000 00000000 0                         "));
    for (const QString& line : lines.mid(1))
        EXPECT_TRUE(line.contains(QStringLiteral(" Prop@%1  First=").arg(line.mid(16, 2)))) << line.toStdString();
    const Finished named = runCli(words("monitor --adapter sim --count 2 --filter msg=prop --dbc") << dbc);
    const QStringList shown = named.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(shown.isEmpty());
    for (const QString& line : shown)
        EXPECT_TRUE(line.contains(QStringLiteral(" Prop@"))) << "the probe left out: " << line.toStdString();
}

TEST_F(Cli, EveryCommandEndsWithTheReasonWhenItsOutputCannotBeWritten)
{
    const QString log = test::writeFile(dir.filePath(QStringLiteral("in.log")), "(1.000000) can0 123#0102\n");
    const QString full = dir.filePath(QStringLiteral("full.log"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), full));
    const QString console = QStringLiteral("cannot write to the standard output: ");
    const QStringList monitor = words("monitor --adapter sim --count 5");
    struct Case {
        QStringList arguments;
        QString stdoutFile;
        QString message;  // after "tellvane-cli: ", before the system's reason
    };
    const std::vector<Case> cases = {
        {monitor, QStringLiteral("/dev/full"), console},
        {monitor + words("--format candump"), QStringLiteral("/dev/full"), console},
        {monitor + words("--save /dev/full"), QStringLiteral("/dev/null"), QStringLiteral("cannot write /dev/full: ")},
        {{QStringLiteral("replay"), log}, QStringLiteral("/dev/full"), console},
        {words("send --adapter sim 123#01"), QStringLiteral("/dev/full"), console},
        {{QStringLiteral("convert"), log, dir.filePath(QStringLiteral("out.asc"))}, QStringLiteral("/dev/full"), console},
        {{QStringLiteral("decode"), QStringLiteral("--dbc"), test::writeFile(dir.filePath(QStringLiteral("a.dbc")), kDbc), log},
         QStringLiteral("/dev/full"), console},
        {{QStringLiteral("convert"), log, full}, QStringLiteral("/dev/null"), QStringLiteral("cannot write %1: ").arg(full)},
        {{QStringLiteral("check-config"), QStringLiteral(TELLVANE_SOURCE_DIR "/Configuration/1201-0003.cfg"),
          QStringLiteral("--dump")},
         QStringLiteral("/dev/full"), console},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        QProcess process;
        process.setStandardOutputFile(c.stdoutFile);
        process.start(QStringLiteral(TELLVANE_CLI), c.arguments);
        ASSERT_TRUE(process.waitForFinished(-1));
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("tellvane-cli: ") + c.message + QStringLiteral("No space left on device\n")))
            << err.toStdString();
    }
}

TEST_F(Cli, ReplayConvertAndDecodeOfAPipeThatNeverEndsStopAtASignal)
{
    struct Case {
        QStringList arguments;
        int signal;
    };
    const QString pipe = dir.filePath(QStringLiteral("endless.log"));
    const Case cases[] = {{{QStringLiteral("replay"), pipe}, SIGINT},
                          {{QStringLiteral("convert"), pipe, dir.filePath(QStringLiteral("out.csv"))}, SIGTERM},
                          {{QStringLiteral("decode"), QStringLiteral("--dbc"),
                            test::writeFile(dir.filePath(QStringLiteral("a.dbc")), kDbc), pipe},
                           SIGINT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.first().toStdString());
        QFile::remove(pipe);
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QProcess writer;  // lines that are no frames, for ever
        writer.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("yes 'no frame' > \"$0\""), pipe});
        QProcess cli;
        cli.setReadChannel(QProcess::StandardError);
        cli.start(QStringLiteral(TELLVANE_CLI), c.arguments);
        // The warnings come while it reads, not at the end.
        QByteArray err;
        for (int waits = 0; waits < 30 && !err.contains("line skipped"); ++waits) {
            cli.waitForReadyRead(1000);
            err += cli.readAllStandardError();
        }
        EXPECT_TRUE(err.contains(": not \"(SECONDS) INTERFACE ID#DATA\"; line skipped")) << err.left(500).toStdString();
        ::kill(static_cast<pid_t>(cli.processId()), c.signal);
        const bool ended = cli.waitForFinished(60000);
        if (!ended)
            cli.kill();
        EXPECT_TRUE(ended && cli.exitStatus() == QProcess::NormalExit);
        EXPECT_EQ(cli.exitCode(), 128 + c.signal);
        writer.kill();
        writer.waitForFinished();
    }
}

// Its --help without a display is the manual page test's, its --version the package check's.
TEST_F(Cli, TheProgramTellsItsOptionsWithoutOpeningAWindow)
{
    // A preview needs a file it can read, and runs on the simulated bench only.
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QTemporaryDir dir;
    const Finished missing =
        test::runProcess(QStringLiteral(TELLVANE_APP), {QStringLiteral("--preview"), dir.filePath(QStringLiteral("none.cfg"))}, headless);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("Cannot read the configuration file"))) << missing.err.toStdString();
    const Finished elsewhere = test::runProcess(
        QStringLiteral(TELLVANE_APP), words("--adapter library --preview " TELLVANE_SOURCE_DIR "/Configuration/1201-0003.cfg"), headless);
    EXPECT_EQ(elsewhere.exitCode, 2);
    EXPECT_TRUE(elsewhere.err.contains(QStringLiteral("--preview runs on the simulated bench"))) << elsewhere.err.toStdString();
}

TEST_F(Cli, HelpListsTheCommandsAndEachCommandsOptions)
{
    // --version is the package check's.
    const Finished tool = runCli({QStringLiteral("--help")});
    EXPECT_EQ(tool.exitCode, 0);
    // Each command listed, and each command's options, are the manual page test's.
    EXPECT_TRUE(tool.out.contains(QStringLiteral(" tellvane-cli flash --plan PLAN [--adapter NAME] [--report REPORT] "
                                                 "[--stop-on-error]\n")))
        << tool.out.toStdString();

    // Help, even with the command's options incomplete, and nothing opened.
    const Finished flash = runCli(words("flash --board 254 -h"));
    EXPECT_EQ(flash.exitCode, 0) << flash.err.toStdString();
    EXPECT_TRUE(flash.out.contains(QStringLiteral("--board <ADDRESS>"))) << flash.out.toStdString();
    EXPECT_TRUE(flash.out.contains(QStringLiteral("\nExit codes:\n  0  "))) << flash.out.toStdString();
    for (const char* code : {"  1 to 100  ", "\n  2  ", "\n  101  ", "\n  102  "})
        EXPECT_TRUE(flash.out.contains(QString::fromLatin1(code))) << code;
    EXPECT_FALSE(flash.out.contains(QStringLiteral("Interface:")) || flash.err.contains(QStringLiteral("Interface:")));
}

// What the first group of a pattern captures in a text, each once, sorted;
// --help and --help-all, which every command has, left out.
QStringList captured(const QString& pattern, const QString& text)
{
    QStringList found;
    const QRegularExpression expression(
        pattern, QRegularExpression::MultilineOption | QRegularExpression::DotMatchesEverythingOption);
    for (const QRegularExpressionMatch& match : expression.globalMatch(text))
        found.append(match.captured(1));
    found.sort();
    found.removeDuplicates();
    found.removeAll(QStringLiteral("help"));
    found.removeAll(QStringLiteral("help-all"));
    return found;
}

TEST(ManualPages, NameEveryOptionTheHelpOfEachCommandLists)
{
    const auto manual = [](const char* name) {
        QFile page(QStringLiteral(TELLVANE_SOURCE_DIR "/packaging/") + QLatin1String(name));
        EXPECT_TRUE(page.open(QIODevice::ReadOnly)) << name;
        return QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    };
    struct Page {
        QString program;
        QStringList arguments;
        QString text;
        QString heading;
    };
    // Every help asked with no display and no platform named: a window system would abort the program.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        bare.remove(QString::fromLatin1(name));
    // The program's options under OPTIONS; each command the tool's help lists under its own heading.
    std::vector<Page> pages = {{QStringLiteral(TELLVANE_APP), {QStringLiteral("--help")}, manual("tellvane.1"),
                                QStringLiteral(".SH OPTIONS")}};
    const QString cliPage = manual("tellvane-cli.1");
    const QStringList commands = captured(QStringLiteral("^ +tellvane-cli ([a-z-]+) "), runCli({QStringLiteral("--help")}).out);
    EXPECT_GE(commands.size(), 6) << commands.join(QLatin1Char(' ')).toStdString();
    for (const QString& command : commands)
        pages.push_back({QStringLiteral(TELLVANE_CLI), {command, QStringLiteral("--help")}, cliPage, QStringLiteral(".SS ") + command});
    for (const Page& page : pages) {
        SCOPED_TRACE(page.heading.toStdString());
        const Finished help = test::runProcess(page.program, page.arguments, bare);
        ASSERT_EQ(help.exitCode, 0) << help.err.toStdString();
        // A help's options begin its lines; a section runs to the next heading.
        const QStringList section =
            captured(QStringLiteral("^%1\n(.*?)^\\.S[HS] ").arg(QRegularExpression::escape(page.heading)), page.text);
        ASSERT_EQ(section.size(), 1);
        EXPECT_EQ(captured(QStringLiteral("--([a-z][a-z-]*[a-z])"), section[0]),
                  captured(QStringLiteral("^  (?:-\\w, )?--([a-z-]+)"), help.out));
    }
}

TEST_F(Cli, FlashRefusesACorruptFileWithItsLineBeforeTheAdapterIsOpened)
{
    test::writeFile(file, sumWrongAtLine3());
    const Finished run = runCli(flash(QStringLiteral("33"), QStringLiteral("2")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("tellvane-cli: %1: Error, corrupted S19 file format (line 3)\n").arg(file));
    EXPECT_TRUE(run.out.isEmpty()) << "no board was asked anything\n" << run.out.toStdString();
}

QJsonObject jsonFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QJsonDocument::fromJson(file.readAll()).object();
}

TEST_F(Cli, FlashPlanRefusesMistypedOptionsBeforeThePlanIsRead)
{
    const QByteArray planText = R"({"boards": [{"address": 33, "areas": [{"area": 2, "file": "app.QXP"}]}]})";
    const QString plan = test::writeFile(dir.filePath(QStringLiteral("plan.json")), planText);
    const QString link = dir.filePath(QStringLiteral("link.json"));
    const QString hardLink = dir.filePath(QStringLiteral("hard.json"));
    QFile::link(plan, link);
#ifdef Q_OS_UNIX
    ASSERT_EQ(::link(QFile::encodeName(plan).constData(), QFile::encodeName(hardLink).constData()), 0);
#endif
    const auto withPlan = [&](QStringList more) { return QStringList{QStringLiteral("flash"), QStringLiteral("--plan"), plan} + more; };
    std::vector<Refusal> usage = {
        {"board with a plan", withPlan(words("--board 33")),
         QStringLiteral("--board does not go with --plan: the plan names the boards, areas and files")},
        {"no-flash with a plan", withPlan({QStringLiteral("--no-flash")}), QStringLiteral("--no-flash does not go with --plan")},
        {"report without a plan", flash(QStringLiteral("33"), QStringLiteral("2")) << QStringLiteral("--report") << QStringLiteral("r.json"),
         QStringLiteral("--report goes with --plan")},
        {"stop-on-error without a plan", flash(QStringLiteral("33"), QStringLiteral("2")) << QStringLiteral("--stop-on-error"),
         QStringLiteral("--stop-on-error goes with --plan")},
        {"plan of no name", words("flash --plan="), QStringLiteral("--plan needs the name of the plan file\n")},
        {"report of no name", withPlan({QStringLiteral("--report=")}), QStringLiteral("--report needs the name of the file to write\n")},
        {"report nowhere", withPlan({QStringLiteral("--report"), dir.filePath(QStringLiteral("no/such/r.json"))}),
         QStringLiteral("--report %1 cannot be written: ").arg(dir.filePath(QStringLiteral("no/such/r.json")))},
    };
    for (const QString& same : {plan, dir.filePath(QStringLiteral("./plan.json")), link, hardLink}) {
        if (QFileInfo::exists(same))
            usage.push_back({"report over the plan", withPlan({QStringLiteral("--report"), same}),
                             QStringLiteral("--report %1 is the plan itself: the report would write over it").arg(same)});
    }
    for (const Refusal& refusal : usage)
        expectRefused(refusal, QStringLiteral("usage: tellvane-cli flash"));
    EXPECT_EQ(test::readFile(plan), planText);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("r.json")))) << "a report is only tried with a plan";
}

// Every ending of a plan's run leaves its report and has its exit code:
// refused as read, not started, refused on the bus, done, or the report
// itself not written.
TEST_F(Cli, FlashPlanReportsEveryEndingWithAnExitCodeOfItsOwn)
{
    // Wrong in itself: each error at its key path, and every board it names listed.
    const QString bad = test::writeFile(dir.filePath(QStringLiteral("bad.json")), R"({"adapter": "sim", "boards": [
        {"address": 33, "areas": [{"area": 2, "file": "app.QXP"}, {"area": "pcode", "file": "app.QXP"}]},
        {"adress": 34, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 35, "areas": [{"area": 2, "file": "app.QXP"}], "flash": "yes", "address": 36}]})");
    const QString noAdapter = test::writeFile(dir.filePath(QStringLiteral("plan.json")),
        R"({"boards": [{"address": 33, "areas": [{"area": 2, "file": "app.QXP"}]}, {"address": 34, "areas": [{"area": 2, "file": "app.QXP"}]}]})");
    const QString sameBoard = test::writeFile(dir.filePath(QStringLiteral("same.json")), R"({"adapter": "sim", "boards": [
        {"serial": 1042, "pcode": "13050012", "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 34, "areas": [{"area": 2, "file": "app.QXP"}]}]})");
    const QString one = test::writeFile(dir.filePath(QStringLiteral("one.json")), R"({"adapter": "sim", "boards": [
        {"address": 33, "flash": false, "areas": [{"area": 2, "file": "app.QXP"}]}]})");
    // One board named by its serial number, one missing, one only to be loaded.
    const QString served = test::writeFile(dir.filePath(QStringLiteral("served.json")), R"({"adapter": "sim", "boards": [
        {"serial": 1042, "pcode": "13050012", "areas": [{"area": "pcode", "file": "app.QXP"}]},
        {"address": 64, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 33, "flash": false, "areas": [{"area": "boot", "file": "app.QXP"}]}]})");
    const QString kept = test::writeFile(dir.filePath(QStringLiteral("kept.json")), "the report before");

    struct Ending {
        const char* name;
        QString plan;
        QStringList more;
        int exitCode;
        QString ending;        // empty: no report written
        QStringList results;   // each board's
        QStringList said;      // on stderr, or on stdout for a run done (plain lines: no terminal)
        QString report = {};   // another file than report.json
        QString shell = {};    // run under sh -c with this before it
    };
    const QString refused = QStringLiteral("the plan was refused");
    const QString notRun = QStringLiteral("not run");
    const std::vector<Ending> cases = {
        {"refused as read", bad, {}, 101, QStringLiteral("refused"), {notRun, notRun, notRun},
         {QStringLiteral("tellvane-cli: the plan %1 is refused; nothing was downloaded:\n"
                        "  boards[2].address: given twice: give each key once\n").arg(bad)}},
        {"no adapter named", noAdapter, {}, 2, QStringLiteral("not started"), {notRun, notRun},
         {QStringLiteral("tellvane-cli: --adapter is needed: the plan names no adapter\n")}},
        {"an adapter that does not open", noAdapter, words("--adapter no-such-adapter"), 2,
         QStringLiteral("not started"), {notRun, notRun}, {QStringLiteral("no-such-adapter")}},
        {"refused on the bus", sameBoard, {}, 101, QStringLiteral("refused"), {notRun, notRun},
         {QStringLiteral("  boards[1]: finds the board at address 34, which boards[0] names too\n")}},
        {"done", one, {}, 0, QStringLiteral("done"), {QStringLiteral("loaded")},
         {QStringLiteral("Plan %1: 1 board on sim\n").arg(one), QStringLiteral("\nPlan done: 1 of 1 board succeeded\n")}},
        {"done, a board missing", served, {}, 1, QStringLiteral("done"), words("flashed missing loaded"),
         {QStringLiteral("Plan %1: 3 boards on sim\n"
                         "Board 1 of 3, serial 1042, P-code 13050012: at address 34\n"
                         "  area 2 (pCode: V3.04): loaded, 22 lines, %2 packets\n"
                         "  flashed: Success, please wait 10 seconds and then cycle power\n"
                         "Board 2 of 3, address 64: MISSING: not on the bus\n"
                         "Board 3 of 3, address 33:\n"
                         "  area 0 (Boot: V1.02 2019-03-01): loaded, 22 lines, %2 packets\n"
                         "  loaded, not flashed: the plan asks for no flash\n"
                         "Plan done: 2 of 3 boards succeeded, 1 failed\n").arg(served).arg(packetsOf(app.text))}},
        {"report on a full device", noAdapter, {}, 102, {}, {}, {QStringLiteral(": No space left on device\n")}, QStringLiteral("/dev/full")},
        {"report beyond the file size limit", bad, {}, 102, {}, {}, {QStringLiteral(": File too large\n")}, kept,
         QStringLiteral("trap '' XFSZ; ulimit -f 0;")},
    };
    for (const Ending& c : cases) {
        SCOPED_TRACE(c.name);
#ifndef Q_OS_UNIX
        if (!c.shell.isEmpty() || c.report.startsWith(QLatin1String("/dev/")))
            continue;
#endif
        const QString report = c.report.isEmpty() ? dir.filePath(QStringLiteral("report.json")) : c.report;
        QFile::remove(dir.filePath(QStringLiteral("report.json")));
        const QStringList arguments = QStringList{QStringLiteral("flash"), QStringLiteral("--plan"), c.plan, QStringLiteral("--report"), report} + c.more;
        const Finished run = c.shell.isEmpty()
            ? runCli(arguments)
            : test::runProcess(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), c.shell + QStringLiteral(" exec \"$0\" \"$@\""),
                                                                      QStringLiteral(TELLVANE_CLI)} + arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        for (const QString& said : c.said)
            EXPECT_TRUE((c.ending == QLatin1String("done") ? run.out : run.err).contains(said)) << run.out.toStdString() << run.err.toStdString();
        if (c.ending.isEmpty()) {
            EXPECT_TRUE(run.err.contains(QStringLiteral("tellvane-cli: the report %1 cannot be written: ").arg(report)))
                << run.err.toStdString();
            continue;
        }
        const QJsonObject json = jsonFile(report);
        EXPECT_EQ(json[QStringLiteral("ending")].toString(), c.ending);
        EXPECT_EQ(json[QStringLiteral("exitCode")].toInt(), c.exitCode);
        EXPECT_EQ(json[QStringLiteral("errors")].toArray().isEmpty(), c.ending == QLatin1String("done"));
        QStringList results;
        for (const QJsonValue& board : json[QStringLiteral("boards")].toArray())
            results.append(board.toObject()[QStringLiteral("result")].toString());
        EXPECT_EQ(results, c.results);
    }
#ifdef Q_OS_UNIX
    EXPECT_EQ(test::readFile(kept), "the report before") << "the report that could not be written left the file as it was";
    EXPECT_TRUE(QFileInfo(QStringLiteral("/dev/full")).exists() && !QFileInfo(QStringLiteral("/dev/full")).isFile())
        << "a device is written, never replaced";
#endif
}

}  // namespace
