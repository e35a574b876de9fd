// A plan run on the simulated bench inside the test, on the fake clock: the
// boards found, refused, loaded, flashed or failed, what the boards hold
// afterwards, and the report.

#include "cli/BatchConsole.h"
#include "core/Clock.h"
#include "core/SettingsStore.h"
#include "firmware/DownloadRules.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"
#include "stack/BatchFlash.h"
#include "stack/BusStack.h"

#include "FirmwareFiles.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;
using namespace tellvane::cli;
using namespace tellvane::firmware;

namespace {

constexpr qint64 kEpochMs = 1796000000000;  // the fake wall clock's start

SimBoardSpec simBoard(int address, std::uint32_t serial, std::uint32_t pCode)
{
    return {.address = address, .boardType = 1537, .serial = serial, .pCode = pCode};
}

// Everything the batch told, in order.
struct Told final : BatchObserver {
    QStringList events;
    std::map<QString, std::vector<int>> progress;  // "board/area" -> percents

    void boardStarted(const BoardResult& b, int number, int total) override
    {
        events.append(QStringLiteral("start %1/%2 %3").arg(number).arg(total).arg(b.foundAddress));
    }
    void areaStarted(const BoardResult& b, const AreaResult& a) override
    {
        events.append(QStringLiteral("area %1 of %2").arg(a.area.areaId).arg(b.foundAddress));
    }
    void areaProgress(const BoardResult& b, const AreaResult& a, int percent) override
    {
        progress[QStringLiteral("%1/%2").arg(b.foundAddress).arg(a.area.areaId)].push_back(percent);
    }
    void areaDone(const BoardResult&, const AreaResult& a) override
    {
        events.append(QStringLiteral("area %1 %2").arg(a.area.areaId).arg(a.code));
    }
    void boardDone(const BoardResult& b, int number, int) override
    {
        events.append(QStringLiteral("done %1 %2").arg(number).arg(outcomeName(b.outcome)));
    }
};

struct Bench {
    QTemporaryDir dir;
    FakeClock clock;
    test::FakeDialogs dialogs;
    SettingsStore settings{dir.filePath(QStringLiteral("s.ini"))};
    SimAdapter* sim = nullptr;
    std::map<int, SimBoard*> boards;
    std::unique_ptr<BusStack> bus;
    test::ErrorCollector errors;
    Told told;

    explicit Bench(const std::vector<SimBoardSpec>& specs)
    {
        auto adapter = std::make_unique<SimAdapter>(clock);
        int position = 0;
        for (const SimBoardSpec& s : specs)
            boards[s.address] = &adapter->bus().emplaceNode<SimBoard>(s, position++);
        sim = adapter.get();
        bus = std::make_unique<BusStack>(std::move(adapter), BusStackEnvironment{clock, dialogs, settings, dir.path()});
    }

    QString file(const QString& name, const QByteArray& text) { return test::writeFile(dir.filePath(name), text); }

    FlashPlan plan(const char* json)
    {
        const PlanReading reading = readFlashPlan(QByteArray(json), dir.path());
        for (const PlanError& e : reading.errors)
            ADD_FAILURE() << e.text().toStdString();
        return reading.plan;
    }

    QDateTime wall() { return QDateTime::fromMSecsSinceEpoch(kEpochMs + clock.nowMicroseconds() / 1000, Qt::UTC); }

    BatchReport run(const FlashPlan& plan, bool stopOnError = false)
    {
        BatchFlasher flasher(*bus, clock, [this] { return wall(); });
        flasher.setObserver(&told);
        return flasher.run(plan, stopOnError);
    }

    SimBootLoader& loader(int address) { return boards.at(address)->bootLoader(); }
    bool untouched(int address)
    {
        for (int area = 0; area < 4; ++area) {
            if (!loader(address).loaded(area).empty() || !loader(address).flashed(area).empty())
                return false;
        }
        return loader(address).migrations() == 0;
    }
};

// The report as written against its golden file, the temporary folder
// spelled $DIR (the fake clock makes the times exact).
void expectGoldenReport(const BatchReport& report, const QString& dir, const QString& name)
{
    test::expectGolden(QString::fromUtf8(reportJson(report)).replace(dir, QStringLiteral("$DIR")).toUtf8(), name + QStringLiteral(".json"));
}

// One board named by serial number and P-code at an address of its own, one
// missing, one that goes dead half way, one only to be loaded: what the boards
// hold afterwards, what the batch told as it went, and the report against its
// golden file.
TEST(BatchFlash, GoodBoardsAreFlashedAMissingAndADeadBoardAreReportedAndNotFlashed)
{
    SimBoardSpec quiet = simBoard(0x23, 200417, 4120101);
    quiet.quietAfterLines = 10;
    // The board named by serial and P-code sits at 0x2A today.
    Bench bench({simBoard(0x2A, 1042, 13050012), simBoard(0x21, 7, 12010003), quiet});
    const test::Firmware app = test::firmware(40);
    const test::Firmware site = test::firmware(6, 0xC000, "SITE 4");
    bench.file(QStringLiteral("app.QXP"), app.text);
    bench.file(QStringLiteral("cfg/site.QXC"), site.text);

    const FlashPlan plan = bench.plan(R"({"boards": [
        {"serial": 1042, "pcode": "13050012", "areas": [{"area": "pcode", "file": "app.QXP"}, {"area": 3, "file": "cfg/site.QXC"}]},
        {"address": 64, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": "0x23", "areas": [{"area": 2, "file": "app.QXP"}, {"area": 3, "file": "cfg/site.QXC"}]},
        {"address": 33, "flash": false, "areas": [{"area": "PCODE", "file": "app.QXP"}]}]})");
    ASSERT_EQ(plan.boards.size(), 4u);
    BatchReport report = bench.run(plan);
    ASSERT_FALSE(report.refused()) << report.refusal.front().text().toStdString();
    report.planFile = QStringLiteral("/plans/line4.json");
    expectGoldenReport(report, bench.dir.path(), QStringLiteral("batch-report"));

    // Found where it sits, both areas loaded in the plan's order, then flashed
    // once: the board holds exactly what the files hold.
    EXPECT_EQ(bench.loader(0x2A).flashed(2), app.image);
    EXPECT_EQ(bench.loader(0x2A).flashed(3), site.image);
    EXPECT_EQ(bench.loader(0x2A).areaLabel(3), QStringLiteral("SITE 4")) << "the header record went with the file";
    EXPECT_EQ(bench.loader(0x2A).migrations(), 1) << "one flash for both areas";
    // Dead after ten lines: the second area is never started, nothing is flashed.
    EXPECT_TRUE(bench.loader(0x23).flashed(2).empty());
    EXPECT_TRUE(bench.loader(0x23).flashed(3).empty());
    EXPECT_EQ(bench.loader(0x23).migrations(), 0);
    EXPECT_EQ(bench.loader(0x23).loaded(2).size(), 9u * 16) << "the nine data lines before it went dead";
    // The run went on after the failures; this board was only to be loaded.
    EXPECT_EQ(bench.loader(0x21).loaded(2), app.image);
    EXPECT_TRUE(bench.loader(0x21).flashed(2).empty());
    EXPECT_EQ(bench.loader(0x21).migrations(), 0);

    EXPECT_EQ(bench.told.events,
              (QStringList{QStringLiteral("start 1/4 42"), QStringLiteral("area 2 of 42"), QStringLiteral("area 2 1"),
                           QStringLiteral("area 3 of 42"), QStringLiteral("area 3 1"), QStringLiteral("done 1 flashed"),
                           QStringLiteral("done 2 missing"), QStringLiteral("start 3/4 35"), QStringLiteral("area 2 of 35"),
                           QStringLiteral("area 2 -104"), QStringLiteral("done 3 failed"), QStringLiteral("start 4/4 33"),
                           QStringLiteral("area 2 of 33"), QStringLiteral("area 2 1"), QStringLiteral("done 4 loaded")}));
    const std::vector<int>& percents = bench.told.progress[QStringLiteral("42/2")];
    ASSERT_EQ(percents.size(), 42u) << "one step per line";
    EXPECT_EQ(percents.front(), 2);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(bench.told.progress[QStringLiteral("35/2")].size(), 10u);
    EXPECT_TRUE(bench.errors.messages.isEmpty()) << bench.errors.messages.join(QLatin1Char('\n')).toStdString();
}

TEST(BatchFlash, StopOnErrorLeavesTheBoardsAfterTheFirstFailureAlone)
{
    Bench bench({simBoard(0x21, 7, 12010003), simBoard(0x22, 1042, 13050012)});
    bench.file(QStringLiteral("app.QXP"), test::firmware(5).text);
    const FlashPlan plan = bench.plan(R"({"boards": [
        {"address": 33, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"serial": 99, "pcode": "13050012", "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 34, "areas": [{"area": 2, "file": "app.QXP"}]}]})");
    const BatchReport report = bench.run(plan, true);
    ASSERT_EQ(report.boards.size(), 3u);
    EXPECT_EQ(report.boards[0].outcome, BoardResult::Outcome::Flashed);
    EXPECT_EQ(report.boards[1].outcome, BoardResult::Outcome::Missing) << "no board has that serial number";
    EXPECT_EQ(report.boards[2].outcome, BoardResult::Outcome::NotRun);
    EXPECT_EQ(report.boards[2].problem, QStringLiteral("not run: the run stopped at the first failure"));
    EXPECT_EQ(report.boards[2].foundAddress, 0x22) << "found, and left alone";
    EXPECT_EQ(report.exitCode(), 2);
    EXPECT_EQ(bench.loader(0x21).migrations(), 1);
    EXPECT_TRUE(bench.untouched(0x22));
    EXPECT_EQ(bench.told.events.last(), QStringLiteral("done 3 not run"));
}

TEST(BatchFlash, ABoardThatDoesNotListItsAreasFailsAndTheNextIsServed)
{
    Bench bench({simBoard(0x21, 7, 12010003), simBoard(0x22, 1042, 13050012)});
    bench.loader(0x21).faults().silent = true;  // acknowledges "$1V", never answers
    const test::Firmware app = test::firmware(5);
    bench.file(QStringLiteral("app.QXP"), app.text);
    const BatchReport report = bench.run(bench.plan(R"({"boards": [
        {"address": 33, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 34, "areas": [{"area": 2, "file": "app.QXP"}]}]})"));
    ASSERT_FALSE(report.refused());
    EXPECT_EQ(report.boards[0].outcome, BoardResult::Outcome::Failed);
    EXPECT_EQ(report.boards[0].problem, QStringLiteral("the board does not list its memory areas: Retrieving data... "
                                                       "Error, no response for further data request"));
    EXPECT_TRUE(report.boards[0].areas.empty());
    EXPECT_TRUE(bench.untouched(0x21));
    EXPECT_EQ(report.boards[1].outcome, BoardResult::Outcome::Flashed);
    EXPECT_EQ(bench.loader(0x22).flashed(2), app.image);
    EXPECT_EQ(report.exitCode(), 1);
    EXPECT_EQ(bench.told.events.mid(0, 3),
              (QStringList{QStringLiteral("start 1/2 33"), QStringLiteral("done 1 failed"), QStringLiteral("start 2/2 34")}));
}

TEST(BatchFlash, TheBoardOfASerialNumberWithAnotherPCodeIsNotTheBoardMeant)
{
    Bench bench({simBoard(0x22, 1042, 13050012)});
    bench.file(QStringLiteral("app.QXP"), test::firmware(5).text);
    const BatchReport report = bench.run(bench.plan(R"({"boards": [
        {"serial": 1042, "pcode": "13050013", "areas": [{"area": 2, "file": "app.QXP"}]}]})"));
    ASSERT_EQ(report.boards.size(), 1u);
    EXPECT_EQ(report.boards[0].outcome, BoardResult::Outcome::Missing);
    EXPECT_EQ(report.boards[0].problem,
              QStringLiteral("not on the bus: the board of serial number 1042 (at address 34) has P-code 13050012"));
    EXPECT_EQ(report.exitCode(), 1);
    EXPECT_TRUE(bench.untouched(0x22));
}

TEST(BatchFlash, AmbiguousBoardsAndMissingAreasRefuseThePlanBeforeAnythingIsDownloaded)
{
    SimBoardSpec noConfig = simBoard(0x23, 200417, 4120101);
    Bench bench({simBoard(0x21, 7, 12010003), simBoard(0x30, 5, 12010003), simBoard(0x31, 5, 12010003), noConfig});
    bench.loader(0x23).faults().unlistedArea = 3;
    bench.file(QStringLiteral("app.QXP"), test::firmware(5).text);
    const FlashPlan plan = bench.plan(R"({"boards": [
        {"address": 33, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"serial": 7, "pcode": "12010003", "areas": [{"area": 3, "file": "app.QXP"}]},
        {"serial": 5, "pcode": "12010003", "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 35, "areas": [{"area": 2, "file": "app.QXP"}, {"area": "config", "file": "app.QXP"}]}]})");
    const BatchReport report = bench.run(plan);

    // Every error at its key path, every board not run: the report's golden file.
    ASSERT_TRUE(report.refused());
    expectGoldenReport(report, bench.dir.path(), QStringLiteral("batch-report-refused"));
    for (int address : {0x21, 0x30, 0x31, 0x23})
        EXPECT_TRUE(bench.untouched(address)) << address;
    EXPECT_TRUE(bench.told.events.isEmpty());

    // The same bench, the plan put right: the board that lacks the area is
    // served, and the roster left the board table clean for the next run.
    bench.told.events.clear();
    const BatchReport again = bench.run(bench.plan(R"({"boards": [{"address": 35, "areas": [{"area": 2, "file": "app.QXP"}]}]})"));
    EXPECT_FALSE(again.refused());
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_EQ(bench.loader(0x23).migrations(), 1);
}

TEST(BatchFlash, AnAdapterThatNeverComesUpFailsEveryBoard)
{
    Bench bench({simBoard(0x21, 7, 12010003)});
    bench.sim->setPluggedIn(false);
    bench.file(QStringLiteral("app.QXP"), test::firmware(5).text);
    const BatchReport report = bench.run(bench.plan(R"({"boards": [
        {"address": 33, "areas": [{"area": 2, "file": "app.QXP"}]},
        {"address": 34, "areas": [{"area": 2, "file": "app.QXP"}]}]})"));
    ASSERT_EQ(report.boards.size(), 2u);
    for (const BoardResult& b : report.boards) {
        EXPECT_EQ(b.outcome, BoardResult::Outcome::Failed);
        EXPECT_EQ(b.problem, QStringLiteral("the adapter did not come up"));
    }
    EXPECT_EQ(report.exitCode(), 2);
    EXPECT_TRUE(bench.untouched(0x21));
}

TEST(BatchFlash, ExitCodesCountFailedBoardsUpToAHundred)
{
    BatchReport report;
    report.boards.resize(150);
    for (BoardResult& b : report.boards)
        b.outcome = BoardResult::Outcome::Flashed;
    EXPECT_EQ(report.exitCode(), 0);
    for (BoardResult& b : report.boards)
        b.outcome = BoardResult::Outcome::Failed;
    EXPECT_EQ(report.failedBoards(), 150);
    EXPECT_EQ(report.exitCode(), 100);
    // A plan that names no board is refused all the same.
    BatchReport refused;
    refused.refusal.push_back({QString(), QStringLiteral("not JSON")});
    EXPECT_EQ(refused.exitCode(), kExitPlanRefused);
    // A loaded board's success and a board not run counted as failed are the
    // process tests' endings and the stop-on-error run's.
}

TEST(BatchFlash, TheConsoleShowsALinePerBoardAndAreaAndABarOnlyOnATerminal)
{
    BoardResult board;
    board.board.serial = 1042;
    board.board.pCode = QStringLiteral("13050012");
    board.foundAddress = 42;
    AreaResult area;
    area.area.areaId = QStringLiteral("2");
    area.infoLine = QStringLiteral("pCode: V3.04");
    area.ok = true;
    area.code = 1;
    area.lines = 42;
    area.packets = 300;
    AreaResult dead = area;
    dead.ok = false;
    dead.code = -104;
    dead.message = QStringLiteral("Error, no response from board");
    dead.warnings = 2;
    BoardResult missing;
    missing.board.address = 64;
    missing.outcome = BoardResult::Outcome::Missing;
    missing.problem = QStringLiteral("not on the bus");

    auto play = [&](bool terminal) {
        QString text;
        QTextStream out(&text);
        BatchConsole console(out, terminal);
        console.boardStarted(board, 1, 2);
        console.areaStarted(board, area);
        for (int percent : {2, 50, 50, 100})
            console.areaProgress(board, area, percent);
        console.areaDone(board, area);
        console.areaStarted(board, dead);
        console.areaProgress(board, dead, 10);
        console.areaDone(board, dead);
        board.areas = {area, dead};
        board.outcome = BoardResult::Outcome::Failed;
        board.problem = QStringLiteral("area 2 failed: Error, no response from board");
        console.boardDone(board, 1, 2);
        console.boardDone(missing, 2, 2);
        BoardResult unplugged = missing;
        unplugged.outcome = BoardResult::Outcome::Failed;
        unplugged.problem = QStringLiteral("the adapter did not come up");
        console.boardDone(unplugged, 3, 3);
        return text;
    };

    const QString lines = QStringLiteral("Board 1 of 2, serial 1042, P-code 13050012: at address 42\n"
                                         "  area 2 (pCode: V3.04): loaded, 42 lines, 300 packets\n"
                                         "  area 2 (pCode: V3.04): FAILED (-104): Error, no response from board, 2 packets "
                                         "acknowledged but reported as not sent\n"
                                         "  FAILED: area 2 failed: Error, no response from board; not flashed\n"
                                         "Board 2 of 2, address 64: MISSING: not on the bus\n"
                                         "Board 3 of 3, address 64: FAILED: the adapter did not come up; not flashed\n");
    EXPECT_EQ(play(false), lines) << "plain lines, no carriage returns";

    const QString bar = play(true);
    const QString blank = QLatin1Char('\r') + QString(BatchConsole::kBarWidth + 24, QLatin1Char(' ')) + QLatin1Char('\r');
    EXPECT_EQ(QString(bar).remove(QRegularExpression(QStringLiteral("\r  area 2 \\[[#.]{40}\\] +\\d+%"))).remove(blank), lines)
        << "the same lines once the bar is taken out";
    EXPECT_TRUE(bar.contains(QStringLiteral("\r  area 2 [") + QString(20, QLatin1Char('#')) + QString(20, QLatin1Char('.'))
                             + QStringLiteral("]  50%")));
    EXPECT_TRUE(bar.contains(QStringLiteral("\r  area 2 [") + QString(40, QLatin1Char('#')) + QStringLiteral("] 100%")));
    EXPECT_EQ(bar.count(QStringLiteral("]  50%")), 1) << "drawn again only when the percentage moves";
    EXPECT_EQ(bar.count(blank), 2) << "each area's bar is wiped before its line";
}

}  // namespace
