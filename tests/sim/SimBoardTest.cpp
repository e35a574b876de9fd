#include "can/BoardMessages.h"
#include "can/CanFrameBits.h"
#include "core/Clock.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"
#include "sim/TrafficNode.h"

#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct BoardBench : ::testing::Test {
    FakeClock clock;
    SimAdapter adapter{clock};
    SimBoard* board = &adapter.bus().emplaceNode<SimBoard>(SimBoardSpec{.address = 0x21, .boardType = 1537, .serial = 7, .pCode = 12010003});

    std::vector<CanMessage> after(int ms)
    {
        clock.advanceMs(ms);
        return test::drainMessages(adapter);
    }
    void send(std::uint32_t id, std::vector<std::uint8_t> data)
    {
        adapter.sendCanMess(id | 0x80000000u, 7, static_cast<std::uint8_t>(data.size()), data.data());
    }
};

TEST_F(BoardBench, AnnouncesWhenTheToolJoinsAndOnRequest)
{
    adapter.resetInterface();
    auto messages = after(50);
    ASSERT_EQ(messages.size(), 1u);
    const CanMessage& a = messages[0];
    EXPECT_EQ(a.id, 0x18EFFF21);
    EXPECT_EQ(a.data[0], 0xFF);
    EXPECT_EQ(board::announcedType(a), 1537);
    EXPECT_EQ(board::announcedSerial(a), 7);

    send(0x18EAFFF9, {0x00, 0xEE, 0x00});
    EXPECT_EQ(after(50).size(), 1u);
    send(0x18EAFFF9, {0x00, 0xEF, 0x00});  // a request for another group
    EXPECT_TRUE(after(50).empty());
    EXPECT_EQ(board->announcements(), 2);
}

TEST_F(BoardBench, AnswersThePCodeRequestAddressedToIt)
{
    send(0x18EF21F9, {0x05});
    send(0x18EF22F9, {0x05});
    const auto messages = after(10);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, 0x18EFF921);
    EXPECT_EQ(messages[0].length, 5);
    EXPECT_EQ(board::pCodeText(board::pCodeValue(messages[0])), QStringLiteral("12010003"));
}

TEST_F(BoardBench, DiagnosticFramesFlowUntilDiagnosticOff)
{
    EXPECT_TRUE(after(500).empty());
    send(0x18EF21F9, {0xFE, '$', '1', 'X', '1'});
    EXPECT_TRUE(board->diagnosticMode());
    const auto first = after(1000);
    // Three frames every 100 ms, all to all boards from the board's address.
    EXPECT_GE(first.size(), 29u);
    EXPECT_LE(first.size(), 30u);
    for (const auto& m : first)
        EXPECT_EQ(m.id, 0x18EFFF21);
    EXPECT_EQ(first[0].data[0], 0x10);
    EXPECT_EQ(first[1].data[0], 0x01);
    EXPECT_EQ(first[1].data[1], 0x20) << "a message with a two-byte number";
    EXPECT_EQ(first[2].data[0], 0x11);
    const auto later = after(3000);
    EXPECT_NE(first.back().data, later.back().data) << "the values move";
    send(0x18EF21F9, {0xFE, '$', '1', 'X', '0'});
    EXPECT_FALSE(board->diagnosticMode());
    EXPECT_LE(after(1000).size(), 3u);
    EXPECT_TRUE(after(1000).empty());
}

TEST_F(BoardBench, SwitchedOffBoardIsSilent)
{
    board->setPresent(false);
    adapter.resetInterface();
    send(0x18EAFFF9, {0x00, 0xEE, 0x00});
    send(0x18EF21F9, {0x05});
    send(0x18EF21F9, {0xFE, '$', '1', 'X', '1'});
    EXPECT_TRUE(after(1000).empty());
}

TEST(BenchFile, ReadsBoardsAndTraffic)
{
    const BenchSpec spec = parseBench(QStringLiteral("# a bench\n"
                                                     "board 0x21 1537 7 12010003\n"
                                                     "  BOARD 34 15 0x10 04120101 off  # switched off\n"
                                                     "traffic 0x18FEF100 500 FF 40 1f\n"
                                                     "bitrate 125000  # a slower bus\n"
                                                     "\n"),
                                      QStringLiteral("test"));
    EXPECT_TRUE(spec.warnings.isEmpty()) << spec.warnings.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(spec.boards.size(), 2u);
    EXPECT_EQ(spec.boards[0].address, 0x21);
    EXPECT_EQ(spec.boards[0].pCode, 12010003u);
    EXPECT_TRUE(spec.boards[0].present);
    EXPECT_EQ(spec.boards[1].address, 34);
    EXPECT_EQ(spec.boards[1].serial, 16u);
    EXPECT_EQ(spec.boards[1].pCode, 4120101u);
    EXPECT_FALSE(spec.boards[1].present);
    ASSERT_EQ(spec.traffic.size(), 1u);
    EXPECT_EQ(spec.traffic[0].frame.id, 0x18FEF100u);
    EXPECT_EQ(spec.traffic[0].periodMs, 500);
    EXPECT_EQ(spec.traffic[0].frame.length, 3);
    EXPECT_EQ(spec.traffic[0].frame.data[2], 0x1F);
    EXPECT_EQ(spec.bitRate, 125000);
    EXPECT_EQ(parseBench(QStringLiteral("board 1 1 1 00000001\n"), QString()).bitRate, 0) << "no wire without the line";
}

TEST(BenchFile, BadLinesAreWarnedAboutAndSkipped)
{
    const char* bad[] = {
        "board 0x21 1537 7",            "board 256 1 1 12010003",      "board 0x21 4096 1 12010003",
        "board 0x21 1 1073741824 12010003", "board 0x21 1 1 1201003",  "board 0x21 1 1 12010003 maybe",
        "board 08x 1 1 12010003",       "traffic 0x20000000 10",       "traffic 0x100 0",
        "traffic 0x100 10 1 2 3 4 5 6 7 8 9", "traffic 0x100 10 GG",   "traffic 0x100 10 100",
        "switch on",                    "board 0x21 1 1 +1305001",     "traffic 0x100 10 +F",
        "traffic 0x100 10 0xF",         "board +3 1 1 12010003",
        "bitrate 9999",                 "bitrate 1000001",             "bitrate 0x3D090",
        "bitrate",                      "bitrate 250000 500000",       "bitrate -250000",
        "bitrate 250k",                 "bitrate 99999999999999999999",
    };
    for (const char* line : bad) {
        const BenchSpec spec = parseBench(QString::fromLatin1(line) + QStringLiteral("\nboard 1 1 1 00000001\n"),
                                          QStringLiteral("bench.txt"));
        ASSERT_EQ(spec.warnings.size(), 1) << line;
        EXPECT_TRUE(spec.warnings[0].startsWith(
            QStringLiteral("A warning occured within the simulated bench bench.txt, line 1: ")))
            << spec.warnings[0].toStdString();
        EXPECT_EQ(spec.boards.size(), 1u) << "the good line still counts: " << line;
        EXPECT_EQ(spec.bitRate, 0) << line;
    }
    // The bit rates at the ends of the range, and a second bit rate that is ignored.
    EXPECT_EQ(parseBench(QStringLiteral("bitrate 10000"), QString()).bitRate, 10000);
    EXPECT_EQ(parseBench(QStringLiteral("bitrate 1000000"), QString()).bitRate, 1000000);
    const BenchSpec twice = parseBench(QStringLiteral("bitrate 500000\nbitrate 250000\n"), QStringLiteral("bench.txt"));
    EXPECT_EQ(twice.bitRate, 500000);
    ASSERT_EQ(twice.warnings.size(), 1);
    EXPECT_EQ(twice.warnings[0],
              QStringLiteral("A warning occured within the simulated bench bench.txt, line 2: the bit rate was given on line 1"));
}

TEST(BenchFile, TrafficBeyondItsBusIsLeftOutWithTheBitsItNeeds)
{
    const QString line = QStringLiteral("traffic 0x18FEF100 1 FF 40 1F FF FF FF FF FF\n");
    const SimFrame frame = makeFrame(0x18FEF100, {0xFF, 0x40, 0x1F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const std::int64_t needs = 2 * 1000 * CanFrameBits::frameBits(frame.id, true, 8, frame.data.data());
    const BenchSpec over = parseBench(line + line, QStringLiteral("bench.txt"));
    EXPECT_TRUE(over.traffic.empty());
    EXPECT_EQ(over.trafficBitsPerSecond, needs);
    EXPECT_EQ(over.warnings, QStringList{QStringLiteral("A warning occured within the simulated bench bench.txt: the "
                                                        "traffic needs %1 bits a second, more than the 250000 of the "
                                                        "bus; it is left out").arg(needs)});
    const BenchSpec fast = parseBench(line + line + QStringLiteral("bitrate 1000000\n"), QStringLiteral("bench.txt"));
    EXPECT_EQ(fast.traffic.size(), 2u) << "a faster bus carries it";
    EXPECT_TRUE(fast.warnings.isEmpty());
}

TEST(BenchFile, ShippedBenchIsTheBuiltInOne)
{
    QFile shipped(QStringLiteral(TELLVANE_SOURCE_DIR "/Configuration/SimulatedBench.txt"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(shipped.readAll()), defaultBenchText());
    const BenchSpec spec = parseBench(defaultBenchText(), QStringLiteral("built in"));
    EXPECT_TRUE(spec.warnings.isEmpty());
    ASSERT_GE(spec.boards.size(), 4u) << "three boards and the conflict board";
    int present = 0;
    for (const auto& b : spec.boards) {
        present += b.present;
        if (b.address == 254) {
            EXPECT_FALSE(b.present) << "the conflict board is switched off until the user turns it on";
        }
    }
    EXPECT_GE(present, 3);
    // The wire is off, and one "#" away from 250 kbit/s.
    EXPECT_EQ(spec.bitRate, 0);
    ASSERT_EQ(defaultBenchText().count(QStringLiteral("\n# bitrate 250000\n")), 1);
    QString wired = defaultBenchText();
    wired.replace(QStringLiteral("\n# bitrate 250000\n"), QStringLiteral("\nbitrate 250000\n"));
    const BenchSpec onWire = parseBench(wired, QStringLiteral("built in"));
    EXPECT_TRUE(onWire.warnings.isEmpty());
    EXPECT_EQ(onWire.bitRate, 250000);
    EXPECT_EQ(onWire.boards.size(), spec.boards.size());
}

// A missing file falls back to the built-in bench with a warning; a file's
// bit rate reaches the bus (what the wire does with it is the wire's test).
TEST(BenchFile, LoadingFallsBackWhenMissingAndTheBitRateReachesTheBus)
{
    QTemporaryDir dir;
    const BenchSpec missing = loadBench(dir.filePath(QStringLiteral("none.txt")));
    ASSERT_EQ(missing.warnings.size(), 1);
    EXPECT_TRUE(missing.warnings[0].contains(QStringLiteral("the built-in bench is used")));
    EXPECT_EQ(missing.boards.size(), parseBench(defaultBenchText(), QString()).boards.size());
    FakeClock clock;
    SimAdapter fallback(clock);
    buildBench(fallback, missing);
    EXPECT_EQ(fallback.bus().nodes().size(), missing.boards.size() + 1) << "boards and one traffic source";
    EXPECT_EQ(fallback.bus().bitRate(), 0);

    const QString file =
        test::writeFile(dir.filePath(QStringLiteral("bench.txt")), "\xEF\xBB\xBF" "board 0x21 1537 7 12010003\nbitrate 500000\n");
    const BenchSpec spec = loadBench(file);
    EXPECT_TRUE(spec.warnings.isEmpty()) << "an editor's byte-order mark is no part of the first line";
    SimAdapter wired(clock);
    buildBench(wired, spec);
    EXPECT_EQ(wired.bus().bitRate(), 500000);
}

}  // namespace

TEST(BenchFile, OnOffAnimateAndQuietAfterFollowThePCodeInAnyOrder)
{
    const BenchSpec line = parseBench(QStringLiteral("board 0x23 261 200417 04120101 on quiet-after 12\n"
                                                     "board 0x24 261 200418 04120101 ON Quiet-After 0x10\n"
                                                     "board 0x25 261 200419 04120101 quiet-after 12 ANIMATE\n"
                                                     "board 0x26 261 200420 04120101 on quiet-after 0\n"
                                                     "board 0x27 261 200421 04120101 on loud-after 5\n"
                                                     "board 0x28 261 200422 04120101 on quiet-after\n"),
                                      QStringLiteral("test"));
    ASSERT_EQ(line.boards.size(), 3u) << line.warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(line.boards[0].quietAfterLines, 12);
    EXPECT_EQ(line.boards[1].quietAfterLines, 16);
    EXPECT_EQ(line.boards[2].quietAfterLines, 12) << "the words after the P-code come in any order";
    EXPECT_TRUE(line.boards[2].present);
    EXPECT_TRUE(line.boards[2].animate);
    EXPECT_FALSE(line.boards[0].animate);
    ASSERT_EQ(line.warnings.size(), 3);
    EXPECT_TRUE(line.warnings[0].endsWith(QStringLiteral("line 4: a board's fault is \"quiet-after LINES\", 1 to 1000000 lines")));
    EXPECT_TRUE(line.warnings[1].contains(QStringLiteral("line 5: a board is \"on\" or \"off\"")));
    EXPECT_TRUE(line.warnings[2].endsWith(QStringLiteral("line 6: a board's fault is \"quiet-after LINES\", 1 to 1000000 lines")));
    const BenchSpec all = parseBench(QStringLiteral("board 1 1 1 00000001 animate quiet-after 3 off\n"
                                                    "board 2 1 1 00000001 on animate quiet-after 3 off\n"
                                                    "board 3 1 1 00000001 quiet-after 3 quiet-after 4\n"
                                                    "board 4 1 1 00000001 animate animate\n"),
                                     QStringLiteral("test"));
    ASSERT_EQ(all.boards.size(), 1u);
    EXPECT_TRUE(all.boards[0].animate);
    EXPECT_FALSE(all.boards[0].present);
    EXPECT_EQ(all.boards[0].quietAfterLines, 3);
    EXPECT_EQ(all.warnings.size(), 3) << "a line of ten words, a fault given twice, animate given twice";
    EXPECT_EQ(parseBench(QStringLiteral("board 1 1 1 00000001"), QString()).boards.at(0).quietAfterLines, -1)
        << "a board without the fault never goes quiet";
}
