#include "can/CanLink.h"
#include "core/Clock.h"
#include "logs/FrameText.h"
#include "logs/LogReplay.h"
#include "sim/SimAdapter.h"
#include "transmit/BusShare.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitScheduler.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace tellvane;

namespace {

std::string text(const QString& s) { return s.toStdString(); }

TEST(TransmitFrames, TypedFramesAreReadOrRefusedWithTheReason)
{
    struct Case {
        const char* typed;
        const char* written;  // as the frame is written back; empty when refused
        const char* why = "";
    };
    const Case cases[] = {
        {"18FEF1F9#0140FF", "18FEF1F9#0140FF"},
        {"123#deadbeef", "123#DEADBEEF"},
        {"5AA#", "5AA#"},
        {"5A1#11.2233.44556677.88", "5A1#1122334455667788"},
        {"00000001#.01.", "00000001#01"},
        {"7FF#0102030405060708", "7FF#0102030405060708"},
        {"123#R", "", "a remote frame (\"#R\"): the tool sends data frames only"},
        {"123#R3", "", "a remote frame (\"#R\"): the tool sends data frames only"},
        {"123##1DEAD", "", "a CAN FD frame (\"##\"): the tool sends classic frames of 0 to 8 bytes only"},
        {"123#1122_9", "", "a length code after \"_\": the tool sends 0 to 8 bytes, the length the data has"},
        {"20000080#00", "", "an error frame (20000000 set in the identifier): the tool sends data frames only"},
        {"800#01", "", "the identifier \"800\" is neither three hex digits up to 7FF nor eight up to 1FFFFFFF"},
        {"1234#01", "", "the identifier \"1234\" is neither three hex digits up to 7FF nor eight up to 1FFFFFFF"},
        {"123", "", "no \"#\" between identifier and data"},
        {"123#012", "", "the data is not 0 to 8 bytes of two hex digits"},
        {"123#010203040506070809", "", "the data is not 0 to 8 bytes of two hex digits"},
        {"123#01..02", "", "data byte 2 is not two hex digits"},
        {"123#0G", "", "data byte 1 is not two hex digits"},
    };
    for (const Case& c : cases) {
        TraceFrame frame;
        QString why;
        const bool read = readSendFrame(c.typed, frame, why);
        EXPECT_EQ(read, *c.written != '\0') << c.typed;
        if (read)
            EXPECT_EQ(text(frametext::write(frame)), c.written) << c.typed;
        else
            EXPECT_EQ(text(why), c.why) << c.typed;
    }
    // A log's frame text takes no dots: candump never writes them.
    TraceFrame frame;
    QString why;
    EXPECT_FALSE(frametext::read("123#11.22", frame, why));
}

TEST(TransmitList, ListsGoRoundAndBrokenRowsAreLeftOutByName)
{
    TransmitRow eec1{.name = QStringLiteral("EEC1 \"stand-in\""), .id = 0x0CF00400, .length = 8,
                     .data = {0xF0, 0x7D, 0x7D, 0, 0, 0, 0, 0xFF}, .periodMs = 100};
    TransmitRow once{.name = QStringLiteral("ask"), .id = 0x123, .extended = false, .length = 0, .enabled = false};
    TransmitRow counted{.id = 0x18EA00F9, .length = 3, .data = {0x00, 0xEE, 0x00}, .periodMs = 1, .count = 2147483647};
    const std::vector<TransmitRow> rows{eec1, once, counted};

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("list.json"));
    QString error;
    ASSERT_TRUE(transmitlist::save(file, rows, error)) << text(error);
    const transmitlist::Loaded loaded = transmitlist::load(file);
    EXPECT_TRUE(loaded.ok() && loaded.warnings.isEmpty());
    EXPECT_EQ(loaded.rows, rows);
    EXPECT_FALSE(transmitlist::save(dir.filePath(QStringLiteral("none/list.json")), rows, error));
    EXPECT_FALSE(transmitlist::load(dir.path()).ok()) << "a folder is no list";

    const QByteArray broken = R"({"format": "tellvane transmit list", "version": 1, "later": 1, "rows": [
        {"id": "123", "extended": false, "data": "01", "periodMs": 10, "more": "passed over"},
        {"id": "800", "extended": false},
        {"id": "12345678G"},
        {"id": "18FEF1F9", "data": "012"},
        {"id": "18FEF1F9", "data": "0G"},
        {"id": "18FEF1F9", "periodMs": 0.5},
        {"id": "18FEF1F9", "periodMs": 3600001},
        {"id": "18FEF1F9", "count": -1},
        {"id": "18FEF1F9", "enabled": "yes"},
        {"id": 12},
        7
    ]})";
    const transmitlist::Loaded some = transmitlist::fromJson(broken);
    ASSERT_TRUE(some.ok());
    ASSERT_EQ(some.rows.size(), 1u);
    EXPECT_EQ(some.rows[0].periodMs, 10);
    EXPECT_EQ(text(some.warnings.join('\n')),
              "row 2 left out: the standard identifier 800 is above 7FF\n"
              "row 3 left out: \"id\" is not 1 to 8 hex digits\n"
              "row 4 left out: \"data\" is not 0 to 8 bytes of two hex digits\n"
              "row 5 left out: \"data\" byte 1 is not two hex digits\n"
              "row 6 left out: \"periodMs\" is not a whole number from 0 to 3600000\n"
              "row 7 left out: \"periodMs\" is not a whole number from 0 to 3600000\n"
              "row 8 left out: \"count\" is not a whole number from 0 to 2147483647\n"
              "row 9 left out: \"enabled\" is neither true nor false\n"
              "row 10 left out: \"id\" is not 1 to 8 hex digits\n"
              "row 11 left out: not an object");

    const std::pair<QByteArray, const char*> refused[] = {
        {"{\"rows\": []", "not JSON: unterminated object at byte 11"},
        {"[]", "not a transmit list: \"format\" is not \"tellvane transmit list\""},
        {R"({"format": "tellvane transmit list", "version": 2, "rows": []})", "version 2 is newer than this program reads (1)"},
        {R"({"format": "tellvane transmit list", "version": 1, "rows": {}})", "\"rows\" is not a list"},
    };
    for (const auto& [json, why] : refused) {
        const transmitlist::Loaded none = transmitlist::fromJson(json);
        EXPECT_EQ(text(none.error), why);
        EXPECT_TRUE(none.rows.empty());
    }
}

TEST(TransmitBusShare, OnlyEnabledPeriodicRowsCountAndOver80PercentIsRefused)
{
    // An extended 8-byte frame of zeros: 146 bits with its stuff bits, so at
    // 1 ms it takes 58.4 % of 250 kbit/s.
    TransmitRow heavy{.id = 0x18FEF1F9, .length = 8, .periodMs = 1};
    std::vector<TransmitRow> rows{heavy};
    EXPECT_NEAR(periodicBusPercent(rows), 58.4, 0.01);
    EXPECT_TRUE(busShareProblem(rows).isEmpty());
    TransmitRow off = heavy;
    off.enabled = false;
    TransmitRow byHand = heavy;
    byHand.periodMs = 0;
    TransmitRow broken = heavy;
    broken.id = 0x20000000;
    rows.insert(rows.end(), {off, byHand, broken});
    EXPECT_NEAR(periodicBusPercent(rows), 58.4, 0.01);
    rows.push_back({.id = 0x123, .extended = false, .length = 8, .data = {0x55, 0x55}, .periodMs = 2});
    EXPECT_EQ(text(busShareProblem(rows)),
              "The periodic frames would take 82.4 % of the bus at 250 kbit/s: at most 80 % may be sent.");
}

// Records what the scheduler sends, at the clock's time.
struct Sends {
    FakeClock clock{1'000'000};
    std::vector<std::pair<std::uint32_t, std::int64_t>> sent;
    bool refuse = false;
    TransmitScheduler scheduler{clock, [this](const TraceFrame& frame) {
                                    if (refuse)
                                        return false;
                                    sent.emplace_back(frame.id, clock.nowMicroseconds());
                                    return true;
                                }};
    // Polls at the due times, or every `stepUs` when the caller is late.
    void runUntil(std::int64_t untilUs, std::int64_t stepUs = 0)
    {
        while (clock.nowMicroseconds() < untilUs) {
            const std::optional<std::int64_t> next = scheduler.poll();
            if (!next)
                break;
            clock.setMicroseconds(std::min(untilUs, stepUs ? clock.nowMicroseconds() + stepUs : *next));
        }
    }
};

TEST(TransmitScheduler, RowsKeepTheirGridCountsAndStopAtOnce)
{
    Sends s;
    s.scheduler.start(0, {.id = 1, .periodMs = 10});
    s.scheduler.start(1, {.id = 2, .periodMs = 25, .count = 3});
    s.scheduler.start(2, {.id = 3, .periodMs = 0});  // by hand only
    s.scheduler.start(0, {.id = 9, .periodMs = 1});  // already running
    EXPECT_FALSE(s.scheduler.running(2));
    s.runUntil(1'100'000);
    EXPECT_EQ(s.scheduler.sentCount(0), 10);
    EXPECT_EQ(s.scheduler.sentCount(1), 3);
    EXPECT_FALSE(s.scheduler.running(1)) << "a row with a count ends by itself";
    std::map<std::uint32_t, std::vector<std::int64_t>> times;
    for (const auto& [id, at] : s.sent)
        times[id].push_back(at);
    EXPECT_LT(times[1].front(), 1'010'000) << "the first frame within its period";
    for (std::size_t k = 1; k < times[1].size(); ++k)
        EXPECT_EQ(times[1][k] - times[1][k - 1], 10'000);
    EXPECT_NE(times[1].front() % 10'000, times[2].front() % 10'000) << "rows started together take phases of their own";

    // A caller 35 ms late sends once and takes the next point of the grid.
    s.sent.clear();
    s.runUntil(1'300'000, 35'000);
    ASSERT_FALSE(s.sent.empty());
    for (std::size_t i = 1; i < s.sent.size(); ++i)
        EXPECT_NE(s.sent[i].second, s.sent[i - 1].second) << "no burst to catch up";
    EXPECT_GT(s.scheduler.missed(), 0);

    s.scheduler.stopAll();
    EXPECT_FALSE(s.scheduler.poll());
    s.refuse = true;
    s.scheduler.start(0, {.id = 1, .periodMs = 10});
    s.scheduler.start(1, {.id = 2, .periodMs = 10});
    EXPECT_FALSE(s.scheduler.poll());
    EXPECT_FALSE(s.scheduler.running());
    EXPECT_EQ(text(s.scheduler.stopReason()), "Stopped: the adapter did not take a frame.");
    EXPECT_FALSE(s.scheduler.sendOnce(3, {.id = 0x800, .extended = false}));
}

// Hears every frame on the simulated wire, with the time its last bit went.
class Listener final : public SimNode {
public:
    std::map<std::uint32_t, std::vector<std::int64_t>> at;
    void receive(const SimFrame& frame, std::int64_t atUs) override { at[frame.id].push_back(atUs); }
};

// One simulated hour of 100 rows of 1 to 991 ms on a 250 kbit/s wire, sent
// through the link as the window sends them: every row keeps its count and,
// arbitration and all, its period.
TEST(TransmitScheduler, AHundredRowsForAnHourOnTheWire)
{
    FakeClock clock;
    SimAdapter adapter(clock);
    adapter.bus().setBitRate(250'000);
    Listener& listener = adapter.bus().emplaceNode<Listener>();
    CanLink link(adapter, clock);
    link.pollTick();
    TransmitScheduler scheduler(clock, [&](const TraceFrame& frame) {
        return link.sendLogged(frame.id | can::kExtendedFrame, frame.length, frame.data.data()) == 1;
    });
    // A technician's list: one row each at 1, 5 and 20 ms, the rest at the
    // periods parameter groups use (and some that fit none of them), 0 to 8
    // bytes: two thirds of the bus.
    const int periods[] = {50, 50, 100, 200, 250, 500, 1000, 60, 75, 150, 300, 600, 80, 100, 1000, 500, 1000, 100, 200, 1000};
    std::vector<TransmitRow> rows;
    for (int i = 0; i < 100; ++i) {
        rows.push_back({.id = 0x18FF0000u + static_cast<std::uint32_t>(i), .length = static_cast<std::uint8_t>(i % 9),
                        .data = {static_cast<std::uint8_t>(i), 0xAA, 0x55, 0x0F},
                        .periodMs = i < 3 ? std::array{1, 5, 20}[static_cast<std::size_t>(i)] : periods[i % 20]});
    }
    ASSERT_TRUE(busShareProblem(rows).isEmpty()) << text(busShareProblem(rows));
    const std::int64_t start = clock.nowMicroseconds();
    for (int i = 0; i < 100; ++i)
        scheduler.start(i, rows[static_cast<std::size_t>(i)]);
    const std::int64_t end = start + std::int64_t{3600} * 1'000'000;
    std::optional<std::int64_t> due = scheduler.poll();
    while (due && clock.nowMicroseconds() < end) {
        clock.setMicroseconds(std::min({*due, adapter.bus().nextEventUs(), end}));
        adapter.bus().runUntilNow();
        if (clock.nowMicroseconds() >= *due)
            due = scheduler.poll();
    }
    scheduler.stopAll();

    std::vector<std::int64_t> errors;
    for (int i = 0; i < 100; ++i) {
        const std::vector<std::int64_t>& times = listener.at[rows[static_cast<std::size_t>(i)].id];
        const std::int64_t periodUs = std::int64_t{rows[static_cast<std::size_t>(i)].periodMs} * 1000;
        EXPECT_NEAR(static_cast<double>(times.size()), static_cast<double>((end - start + periodUs - 1) / periodUs), 1.0) << "row " << i;
        for (std::size_t k = 1; k < times.size(); ++k)
            errors.push_back(std::abs(times[k] - times[k - 1] - periodUs));
    }
    std::sort(errors.begin(), errors.end());

    ASSERT_GT(errors.size(), 3'000'000u);
    EXPECT_LT(errors[errors.size() * 99 / 100], 1000) << "99th percentile of the period error, us";
    EXPECT_EQ(adapter.bus().framesDropped(), 0u);
}

}  // namespace
