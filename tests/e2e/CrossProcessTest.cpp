// The program and the boards as separate processes on a virtual CAN bus over
// loopback TCP. Each test runs its own bus on a free port; every wait is
// bounded, so a fault ends in a failure rather than a hang.

#include "app/MainWindow.h"
#include "app/TellvaneApp.h"
#include "adapters/AdapterFactory.h"
#include "core/Clock.h"
#include "core/SettingsStore.h"
#include "diagnostics/BoardWindow.h"
#include "diagnostics/DynTextBox.h"
#include "sim/SimBootLoader.h"

#include "FirmwareFiles.h"
#include "TestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

using namespace tellvane;

namespace {

constexpr int kStartMs = 20000;
constexpr int kFlashMs = 120000;

QString busName(quint16 port)
{
    return QStringLiteral("virtualcan:tcp://127.0.0.1:%1/can0").arg(port);
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString cli()
{
    return QStringLiteral(TELLVANE_CLI);
}

// tellvane-cli in a process of its own (the bench, hosting the virtual bus,
// or any command on it), its stdout and stderr read together.
class CliProcess {
public:
    // benchFile: empty for the bench shipped with the program.
    CliProcess(quint16 port, const QString& imageFolder, const QString& benchFile = {})
        : CliProcess(QStringList{QStringLiteral("bench"), QStringLiteral("--adapter"), busName(port), QStringLiteral("--images"),
                                 imageFolder, QStringLiteral("--seconds"), QStringLiteral("300")}
                     + (benchFile.isEmpty() ? QStringList{} : QStringList{QStringLiteral("--bench"), benchFile}))
    {
    }

    explicit CliProcess(const QStringList& arguments)
    {
        m_process.setProgram(cli());
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
    }

    ~CliProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Waits for the bench to say it is on the bus.
    bool ready() { return waitFor(QByteArrayLiteral("ready\n"), kStartMs); }

    bool waitFor(const QByteArray& text, int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!m_output.contains(text) && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 200)));
            m_output += m_process.readAll();
        }
        m_output += m_process.readAll();
        return m_output.contains(text);
    }

    QByteArray output()
    {
        m_output += m_process.readAll();
        return m_output;
    }

    // Ctrl+C, then the exit code once the command ended within ms (-1 when not).
    int interrupt(int ms)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGINT);
        const bool ended = m_process.waitForFinished(ms) && m_process.exitStatus() == QProcess::NormalExit;
        m_output += m_process.readAll();
        return ended ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

struct Finished {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Finished runCli(const QStringList& arguments, int ms)
{
    QProcess process;
    process.start(cli(), arguments);
    Finished result;
    if (!process.waitForFinished(ms)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = "did not finish in time";
    } else {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err += process.readAllStandardError();
    return result;
}

struct CrossProcess : ::testing::Test {
    QTemporaryDir dir;
    quint16 port = freePort();
    std::unique_ptr<CliProcess> bench;

    void SetUp() override
    {
        ASSERT_NE(port, 0);
        bench = std::make_unique<CliProcess>(port, dir.filePath(QStringLiteral("images")));
        ASSERT_TRUE(bench->ready()) << bench->output().toStdString();
    }
};

TEST_F(CrossProcess, FlashToolProgramsABenchBoard)
{
    const test::Firmware app = test::firmware(150);
    const QString file = test::writeFile(dir.filePath(QStringLiteral("app.QXP")), app.text);
    auto flashTo = [&](const char* board, const char* area) {
        return runCli({QStringLiteral("flash"), QStringLiteral("--adapter"), busName(port), QStringLiteral("--board"),
                       QLatin1String(board), QStringLiteral("--area"), QLatin1String(area), QStringLiteral("--file"), file},
                      kFlashMs);
    };
    // Area 2 by its number: the boot line ("Boot: V1.02 2019-03-01") holds a 2 too.
    const Finished flash = flashTo("0x21", "2");
    ASSERT_EQ(flash.exitCode, 0) << flash.out.toStdString() << flash.err.toStdString();
    EXPECT_TRUE(flash.out.contains("\nArea 2: pCode: ")) << flash.out.toStdString();
    EXPECT_TRUE(flash.out.contains("Success, please wait 10 seconds and then cycle power")) << flash.out.toStdString();
    ASSERT_TRUE(bench->waitFor(QByteArrayLiteral("Board 33 flashed area 2"), kStartMs)) << bench->output().toStdString();
    QFile image(dir.filePath(QStringLiteral("images/board-33-area-2.txt")));
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    EXPECT_EQ(image.readAll(), SimBootLoader::imageText(app.image)) << "the board holds exactly the file's bytes";
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("images/board-33-area-0.txt"))))
        << "nothing went into the boot area";

    // A board that is not on the bus: a clear error, no hang.
    const Finished none = flashTo("0x40", "pCode");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("no board at address 64 announced itself")) << none.err.toStdString();
}

TEST_F(CrossProcess, ProgramFindsTheBenchBoardsAndShowsLiveData)
{
    RealClock clock;
    test::FakeDialogs dialogs;
    SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));
    const QString programFolder = QStringLiteral(TELLVANE_SOURCE_DIR);
    AdapterChoice choice = createAdapter(busName(port), AdapterEnvironment{clock, programFolder});
    ASSERT_NE(choice.adapter, nullptr) << choice.error.toStdString();
    TellvaneApp app(AppEnvironment{clock, dialogs, settings, dir.filePath(QStringLiteral("data/")), programFolder,
                                   [] { return QDateTime::currentDateTime(); }, true},
                    std::move(choice.adapter));
    app.mainWindow().open();

    auto window = [&](const QString& title) -> BoardWindow* {
        const auto subs = app.mainWindow().mdiArea()->subWindowList();
        for (QMdiSubWindow* sub : subs) {
            auto* w = qobject_cast<BoardWindow*>(sub->widget());
            if (w && w->windowTitle() == title)
                return w;
        }
        return nullptr;
    };
    const QString titles[] = {QStringLiteral("Board 1201-0003 [33]"), QStringLiteral("Board 1305-0012 [34]"),
                              QStringLiteral("Board 0412-0101 [35]")};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window(titles[0]) && window(titles[1]) && window(titles[2]); }, kStartMs))
        << "the three boards of the bench process announce themselves and answer the P-code request";
    BoardWindow* board = window(titles[0]);
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(app.link().interfaceState(), InterfaceState::Ok);

    board->findChild<QPushButton*>(QStringLiteral("StartDiag"))->click();
    ASSERT_TRUE(board->inDiagnosticMode()) << dialogs.boxes.size();
    EXPECT_GT(board->screen().controlCount(), 10);

    // The board's diagnostic frames come back across the process boundary and move the screen.
    QMap<int, QSet<QString>> texts;
    auto moved = [&] {
        int changing = 0;
        for (int i = 0; i < board->screen().controlCount(); ++i) {
            if (auto* box = dynamic_cast<DynTextBox*>(board->screen().control(i))) {
                texts[i].insert(box->text());
                changing += texts[i].size() > 2;
            }
        }
        return changing >= 3;
    };
    EXPECT_TRUE(QTest::qWaitFor(moved, kStartMs)) << "value boxes follow the board's live data";
    EXPECT_EQ(app.errorLog().count(), 0);
}

TEST_F(CrossProcess, FramesSentByTheCommandArriveByteForByteInAnotherProcessesMonitor)
{
    const QStringList bus{QStringLiteral("--adapter"), busName(port)};
    CliProcess monitor(QStringList{QStringLiteral("monitor"), QStringLiteral("--format"), QStringLiteral("candump")} + bus);
    ASSERT_TRUE(monitor.waitFor(" can0 000# T\n", kStartMs)) << "its probe: on the bus\n" << monitor.output().toStdString();
    // 0 to 8 bytes on identifiers no bench board uses. The adapters send every frame as an
    // extended one and receive 29-bit identifiers: a standard one arrives in eight digits.
    const QStringList typed = QStringLiteral("5A0# 1ABCDE00# 5A1#9E 1ABCDE02#9F.3C 5A3#A03DDA 1ABCDE04#A1.3E.DB.78 "
                                             "5A5#A23FDC7916 1ABCDE06#A340DD7A17B4 5A7#A4.41DE.7B18.B552 "
                                             "1ABCDE08#A542DF7C19B653F0 7FF#0102030405060708").split(QLatin1Char(' '));
    QStringList expected = typed;
    expected.replaceInStrings(QStringLiteral("."), QString()).replaceInStrings(QRegularExpression(QStringLiteral("^(...)#")), QStringLiteral("00000\\1#"));
    const Finished sent = runCli(QStringList{QStringLiteral("send")} + bus + typed, kStartMs);
    EXPECT_TRUE(sent.exitCode == 0 && sent.out == "11 frames sent\n") << sent.out.toStdString() << sent.err.toStdString();
    // Until Ctrl+C, which still tells how many went.
    CliProcess endless(QStringList{QStringLiteral("send"), QStringLiteral("--period"), QStringLiteral("2"), QStringLiteral("1ABCDEFF#01")} + bus);
    EXPECT_TRUE(monitor.waitFor(" 1ABCDEFF#01\n", kStartMs)) << monitor.output().toStdString();
    EXPECT_EQ(endless.interrupt(kStartMs), 130);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[1-9][0-9]* frames sent\n$")).match(QString::fromLatin1(endless.output())).hasMatch())
        << endless.output().toStdString();
    EXPECT_EQ(monitor.interrupt(kStartMs), 0);
    QStringList arrived = QString::fromLatin1(monitor.output()).split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral(" (000005A|1ABCDE0|000007FF)")));
    EXPECT_EQ(arrived.replaceInStrings(QRegularExpression(QStringLiteral("^.* ")), QString()), expected) << "in order, byte for byte";
}

TEST(CrossProcessBench, ABenchBusierThanItsTimeEndsOnCtrlC)
{
    // Every traffic frame reaches 20000 boards: more work a second than a second holds.
    QTemporaryDir dir;
    QByteArray text = "traffic 0x100 1\ntraffic 0x101 1\ntraffic 0x102 1\ntraffic 0x103 1\n";
    for (int i = 0; i < 20000; ++i)
        text += "board " + QByteArray::number(i % 250) + " 1 " + QByteArray::number(i) + " 12010003\n";
    const QString file = test::writeFile(dir.filePath(QStringLiteral("busy.txt")), text);
    const quint16 port = freePort();
    ASSERT_NE(port, 0);
    CliProcess bench(port, dir.filePath(QStringLiteral("images")), file);
    ASSERT_TRUE(bench.ready()) << bench.output().toStdString();
    EXPECT_EQ(bench.interrupt(kStartMs), 0) << "ended by Ctrl+C, not killed";
    EXPECT_TRUE(bench.output().contains("\nBench ends: ")) << bench.output().right(2000).toStdString();
}

}  // namespace
