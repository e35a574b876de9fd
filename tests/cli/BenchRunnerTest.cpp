#include "Doubles.h"

#include "can/AdapterRecord.h"
#include "cli/BenchRunner.h"
#include "core/Clock.h"
#include "sim/BenchBridge.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"
#include "sim/TrafficNode.h"

#include <gtest/gtest.h>

#include <deque>

using namespace tellvane;
using tellvane::cli::BenchRunner;

namespace {

// The bus on the far side of the bench: frames arrive at set times, and a
// wait for them sleeps the fake clock to the next arrival (or to the
// deadline), as an adapter that can tell when something arrives does.
class FarBus final : public test::QuietAdapter {
public:
    struct Frame {
        std::uint32_t id;
        std::vector<std::uint8_t> data;
        std::int64_t atUs;
    };

    explicit FarBus(FakeClock& clock) : m_clock(clock) {}

    std::deque<Frame> arriving;  // in time order
    std::vector<Frame> sent;     // with the time they went out
    std::int16_t resetResult = 1;
    std::int16_t sendResult = 1;
    int resets = 0;
    bool tellsArrival = true;  // false: waits poll in short steps, as Adapter's own
    // Each send takes this long, as on a wire; after timedSends sends they
    // take no time, so that a bridge that never stops sending cannot hang a test.
    std::int64_t sendUs = 0;
    int timedSends = 20000;

    void arrive(std::uint32_t id, std::vector<std::uint8_t> data, std::int64_t atUs)
    {
        arriving.push_back({id, std::move(data), atUs});
    }

    std::int16_t resetInterface() override
    {
        ++resets;
        return resetResult;
    }
    std::int16_t getCanMess(Record& record) override
    {
        if (arriving.empty() || arriving.front().atUs > m_clock.nowMicroseconds())
            return 0;
        const Frame frame = arriving.front();
        arriving.pop_front();
        record = encodeRecord(frame.id, static_cast<std::uint8_t>(frame.data.size()), frame.data.data(), 0, std::nullopt);
        return 1;
    }
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t, std::uint8_t length, const std::uint8_t* data) override
    {
        sent.push_back({id & 0x1FFFFFFFu, std::vector<std::uint8_t>(data, data + length), m_clock.nowMicroseconds()});
        if (timedSends > 0 && sendUs > 0) {
            --timedSends;
            m_clock.advanceMicroseconds(sendUs);
        }
        return sendResult;
    }
    void waitForRecords(Clock& clock, std::int64_t untilUs) override
    {
        if (!tellsArrival)
            return Adapter::waitForRecords(clock, untilUs);
        const std::int64_t next = arriving.empty() ? untilUs : std::min(untilUs, arriving.front().atUs);
        clock.sleepUntilUs(next);
    }
    QString name() const override { return QStringLiteral("far"); }

    const Frame* firstSent(std::uint32_t id) const
    {
        for (const Frame& f : sent) {
            if (f.id == id)
                return &f;
        }
        return nullptr;
    }

private:
    FakeClock& m_clock;
};

constexpr std::uint32_t kAnnounce21 = 0x18EFFF21u;
constexpr std::uint32_t kAnnounce22 = 0x18EFFF22u;
constexpr std::uint32_t kBoard22ToTool = 0x18EFF922u;
constexpr std::uint32_t kToolToBoard22 = 0x18EF22F9u;

struct Runner : ::testing::Test {
    FakeClock clock;
    SimAdapter bench{clock};
    FarBus outside{clock};
    BenchBridge bridge{bench, outside};
    BenchRunner runner{bridge, bench, outside, clock};

    Runner()
    {
        for (int position : {0, 1})  // the second board answers 700 us after the first
            bench.bus().emplaceNode<SimBoard>(SimBoardSpec{.address = 0x21 + position, .boardType = 1537, .serial = 7, .pCode = 12010003}, position);
    }

    // Turns until the clock reads untilUs; a runner that stopped sleeping
    // ends the run after many turns instead of hanging the test.
    void runUntil(std::int64_t untilUs, std::uint64_t maxTurns = 100000)
    {
        const std::uint64_t limit = runner.turns() + maxTurns;
        runner.run([&] { return clock.nowMicroseconds() >= untilUs || runner.turns() >= limit; });
    }
};

TEST_F(Runner, FramesGoOutTheMomentTheyAreDueAndAQuietBusSleeps)
{
    runUntil(1000000);
    // The boards announce themselves 10 ms after the bridge starts, 700 us apart.
    const FarBus::Frame* first = outside.firstSent(kAnnounce21);
    const FarBus::Frame* second = outside.firstSent(kAnnounce22);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->atUs, 10000);
    EXPECT_EQ(second->atUs, 10700) << "the wait ends at the bus's next event, not at the next full wait";
    EXPECT_LE(runner.turns(), 1000000 / BenchRunner::kMaxWaitUs + 5)
        << "a quiet bus costs a turn per maximum wait, no more";
    EXPECT_GE(runner.turns(), 1000000 / BenchRunner::kMaxWaitUs)
        << "no wait is longer than the maximum, so stop requests are seen";
}

TEST_F(Runner, AnAcknowledgementLeavesAsTheTextArrivesAndAReplyWhenItIsDue)
{
    runUntil(20000);
    outside.sent.clear();
    outside.arrive(kToolToBoard22, {0xFE, '$', '1'}, 123456);  // a text packet for board 0x22
    outside.arrive(kToolToBoard22, {0x05}, 300001);             // its P-code request
    const std::uint64_t turnsBefore = runner.turns();
    runUntil(400000);

    ASSERT_FALSE(outside.sent.empty());
    EXPECT_EQ(outside.sent[0].id, kBoard22ToTool);
    EXPECT_EQ(outside.sent[0].data, std::vector<std::uint8_t>({0xFE}));
    EXPECT_EQ(outside.sent[0].atUs, 123456) << "acknowledged in the turn the packet arrived in";
    const FarBus::Frame* reply = nullptr;
    for (const FarBus::Frame& f : outside.sent) {
        if (f.id == kBoard22ToTool && !f.data.empty() && f.data[0] == 0x05)
            reply = &f;
    }
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->atUs, 300001 + SimBoard::kReplyDelayUs + 700) << "the reply leaves when the board sends it";
    EXPECT_LE(runner.turns() - turnsBefore, 380000 / BenchRunner::kMaxWaitUs + 10);
    EXPECT_EQ(bridge.framesIn(), 2u);
}

TEST_F(Runner, AnAdapterThatPollsIsPolledLessOftenWhileTheBusIsQuiet)
{
    outside.tellsArrival = false;
    runUntil(20000);
    const std::uint64_t quietStart = runner.turns();
    runUntil(1020000);
    const std::uint64_t quietTurns = runner.turns() - quietStart;
    EXPECT_LE(quietTurns, 1000000 / BenchRunner::kQuietPollUs + BenchRunner::kEmptyPollsBeforePacing + 10)
        << "a quiet second is about a poll a millisecond, not one every poll step";
    EXPECT_GE(quietTurns, 1000000 / BenchRunner::kQuietPollUs);

    // The first text after the quiet is seen at the next paced poll; those
    // that follow it closely, at the adapter's own poll step.
    const auto acks = [&] {
        std::vector<std::int64_t> times;
        for (const FarBus::Frame& f : outside.sent) {
            if (f.id == kBoard22ToTool && f.data == std::vector<std::uint8_t>({0xFE}))
                times.push_back(f.atUs);
        }
        return times;
    };
    outside.sent.clear();
    outside.arrive(kToolToBoard22, {0xFE, 'S'}, 1500123);
    runner.run([&] { return !acks().empty() || clock.nowMicroseconds() > 1600000; });
    ASSERT_EQ(acks().size(), 1u);
    const std::int64_t first = acks()[0];
    EXPECT_GE(first, 1500123);
    EXPECT_LE(first, 1500123 + BenchRunner::kQuietPollUs);
    const std::int64_t now = clock.nowMicroseconds();
    outside.arrive(kToolToBoard22, {0xFE, '1'}, now + 300);
    outside.arrive(kToolToBoard22, {0xFE, '2'}, now + 600);
    runUntil(now + 100000);
    ASSERT_EQ(acks().size(), 3u);
    EXPECT_LE(acks()[1], now + 300 + Adapter::kPollStepUs);
    EXPECT_LE(acks()[2], now + 600 + Adapter::kPollStepUs);
}

TEST_F(Runner, AnAdapterThatDoesNotComeUpIsTriedAgainEverySecond)
{
    outside.resetResult = -4;
    std::vector<std::pair<std::int64_t, std::int16_t>> failures;
    std::vector<std::int64_t> starts;
    runner.onStartFailed = [&](std::int16_t r) { failures.push_back({clock.nowMicroseconds(), r}); };
    runner.onStarted = [&] { starts.push_back(clock.nowMicroseconds()); };

    runUntil(3500000);
    ASSERT_EQ(failures.size(), 4u);
    for (std::size_t i = 0; i < failures.size(); ++i) {
        EXPECT_EQ(failures[i].first, static_cast<std::int64_t>(i) * BenchRunner::kRetryIntervalUs);
        EXPECT_EQ(failures[i].second, -4);
    }
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(outside.sent.empty()) << "nothing is moved before the adapter is up";
    EXPECT_LE(runner.turns(), 3500000 / BenchRunner::kMaxWaitUs + 10) << "waiting for the retry sleeps too";

    outside.resetResult = 1;
    runUntil(4500000);
    ASSERT_EQ(starts, std::vector<std::int64_t>({4000000}));
    EXPECT_EQ(failures.size(), 4u);
    ASSERT_NE(outside.firstSent(kAnnounce21), nullptr);
    EXPECT_EQ(outside.firstSent(kAnnounce21)->atUs, 4010000) << "the boards announce once the bridge is up";
}

TEST_F(Runner, SendFailuresAreReportedWhenTheyBeginAndEnd)
{
    std::vector<std::int16_t> changes;
    runner.onSendResultChanged = [&](std::int16_t r) { changes.push_back(r); };
    outside.sendResult = 0;
    runUntil(20000);  // both announcements fail
    EXPECT_EQ(changes, std::vector<std::int16_t>({0}));
    EXPECT_EQ(bridge.sendFailures(), 2u);

    outside.sendResult = 1;
    outside.arrive(0, {}, 30000);  // a tool's probe: the boards announce again
    runUntil(60000);
    EXPECT_EQ(changes, std::vector<std::int16_t>({0, 1}));
    EXPECT_EQ(bridge.framesOut(), 2u);
}

TEST_F(Runner, ABusyBenchMovesABoundedNumberOfFramesATurnAndKeepsItsDeadline)
{
    // Boards that send far more than the far bus takes, and a flood from it.
    auto& traffic = bench.bus().emplaceNode<TrafficNode>();
    for (std::uint32_t i = 0; i < 200; ++i)
        traffic.addStream(makeFrame(0x100 + i, {}), 1000, 0);
    for (int i = 0; i < 300; ++i)
        outside.arrive(kToolToBoard22, {0x05}, 0);
    outside.sendUs = 100;
    ASSERT_EQ(bridge.start(), 1);
    clock.advanceMs(1);
    EXPECT_EQ(bridge.pump(), 2 * BenchBridge::kMaxFramesPerPump);
    EXPECT_TRUE(bridge.backlog());

    const std::int64_t deadline = clock.nowMicroseconds() + 1000000;
    runUntil(deadline);
    EXPECT_LT(clock.nowMicroseconds(), deadline + BenchBridge::kMaxFramesPerPump * outside.sendUs)
        << "the turn that passes the deadline is the last";
    EXPECT_GT(bridge.framesOut(), 4000u);
}

}  // namespace
