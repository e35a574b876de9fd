#include "can/CanLink.h"
#include "core/Clock.h"

#include "FakeAdapter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tellvane;
using test::FakeAdapter;

namespace {

const std::vector<std::string> kConfiguration = {
    "EnableTS",
    "ResetInterface",
    "ClearCANMess",
    "SetCANBaud 250",
    "ClearCANMess",
    "RecCANMess 80000000 13",
    "RecCANMess 9FFFFF00 28",
    "SetFilters 0 80000000",
    "SetFilters 1 98EFFE00",
    "SetFilters 2 98EFFF00",
    "SetFilters 3 98EFFF00",
    "SetFilters 4 98EFFF00",
    "SetFilters 5 98EFFF00",
};

struct LinkFixture : ::testing::Test {
    FakeAdapter adapter;
    FakeClock clock;
    CanLink link{adapter, clock};
    test::RecordingStatusView view;
    test::RecordingSink sink;
    test::RecordingRouter router;

    LinkFixture()
    {
        link.setStatusView(&view);
        link.setMessageSink(&sink);
        link.setRouter(&router);
    }

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            link.pollTick();
    }
    int probes() const { return static_cast<int>(adapter.callsStartingWith("SendCANMess 00000000").size()); }
};

TEST_F(LinkFixture, FirstTickProbesLogsAndConfiguresInOrder)
{
    link.pollTick();
    std::vector<std::string> expected = {"SendCANMess 00000000 7 0"};
    expected.insert(expected.end(), kConfiguration.begin(), kConfiguration.end());
    EXPECT_EQ(adapter.calls, expected);
    EXPECT_EQ(link.interfaceState(), InterfaceState::Ok);
    ASSERT_EQ(view.states.size(), 1u);
    EXPECT_EQ(view.states[0], InterfaceState::Ok);
    ASSERT_EQ(sink.messages.size(), 1u) << "the probe is logged";
    EXPECT_EQ(sink.messages[0].id, 0);
    EXPECT_EQ(sink.messages[0].length, 0);
    EXPECT_EQ(sink.messages[0].time, 0.0);
    EXPECT_EQ(link.pollCounter(), 1);
}

TEST_F(LinkFixture, MissingAdapterIsProbedAgainEveryFortyTicks)
{
    adapter.sendResult = -4;
    link.pollTick();
    EXPECT_EQ(link.interfaceState(), InterfaceState::AdapterMissing);
    EXPECT_EQ(probes(), 1);
    EXPECT_TRUE(adapter.callsStartingWith("ResetInterface").empty()) << "nothing is configured";
    EXPECT_EQ(adapter.getCalls, 0) << "no messages are fetched meanwhile";
    for (int probe = 2; probe <= 3; ++probe) {
        ticks(39);
        EXPECT_EQ(probes(), probe - 1);
        ticks(1);
        EXPECT_EQ(probes(), probe);
    }
}

TEST_F(LinkFixture, ProbeResultsGiveTheInterfaceState)
{
    struct Case {
        std::int16_t result;
        InterfaceState state;
        bool configures;
    };
    const Case cases[] = {
        {1, InterfaceState::Ok, true},           {0, InterfaceState::SendFailed, true},
        {-4, InterfaceState::AdapterMissing, false}, {-11, InterfaceState::AdapterMissing, false},
        {-1, InterfaceState::NoConnection, false},   {2, InterfaceState::NoConnection, false},
        {-12, InterfaceState::NoConnection, false},
    };
    for (const Case& c : cases) {
        FakeAdapter a;
        a.sendResult = c.result;
        FakeClock clk;
        CanLink l(a, clk);
        l.checkCanLink(true);
        EXPECT_EQ(l.interfaceState(), c.state) << c.result;
        EXPECT_EQ(a.callsStartingWith("ResetInterface").size(), c.configures ? 1u : 0u) << c.result;
    }
}

TEST_F(LinkFixture, RegisterReadDrivesTheErrorTags)
{
    link.pollTick();
    adapter.clearLog();
    struct Case {
        std::uint8_t flags;
        bool timer;
    };
    const Case cases[] = {{0x00, false}, {0x40, true}, {0x01, false}, {0xC0, true}, {0x80, true}, {0x3E, false}};
    for (const Case& c : cases) {
        adapter.errorRegister = c.flags;
        const int before = view.errorTimerEnables;
        link.checkCanLink(false);
        ASSERT_FALSE(view.flags.empty());
        EXPECT_EQ(view.flags.back(), c.flags);
        EXPECT_EQ(view.errorTimerEnables - before, c.timer ? 1 : 0) << int(c.flags);
    }
    EXPECT_EQ(adapter.callsStartingWith("ReadReg 45 1").size(), std::size(cases));
    EXPECT_EQ(probes(), 0) << "in state 1 the check reads the register, it does not probe";
}

TEST_F(LinkFixture, FailingRegisterReadChangesNothing)
{
    link.pollTick();
    adapter.readRegFails = true;
    adapter.sendResult = -4;  // unplugged: the register read now fails
    ticks(200);
    EXPECT_TRUE(view.flags.empty());
    EXPECT_EQ(link.interfaceState(), InterfaceState::Ok) << "keeps showing OK until configured again";
    // A reconfiguration that fails finds out.
    adapter.failingCall = "ResetInterface";
    link.initCanInterface();
    EXPECT_EQ(link.interfaceState(), InterfaceState::AdapterMissing);
}

TEST_F(LinkFixture, StatusCheckIntervalFollowsTheTimer)
{
    link.setTimerIntervalMs(50);
    link.pollTick();  // first tick: probe
    adapter.clearLog();
    for (std::size_t reads = 1; reads <= 2; ++reads) {
        ticks(19);
        EXPECT_EQ(adapter.callsStartingWith("ReadReg").size(), reads - 1);
        ticks(1);
        EXPECT_EQ(adapter.callsStartingWith("ReadReg").size(), reads);
    }
}

TEST_F(LinkFixture, EachConfigurationStepFailingForcesACheck)
{
    for (std::size_t step = 1; step < kConfiguration.size(); ++step) {
        FakeAdapter a;
        FakeClock clk;
        CanLink l(a, clk);
        a.failingCall = kConfiguration[step];
        a.sendResults = {-4};  // the forced check finds the adapter gone
        l.initCanInterface();
        EXPECT_EQ(l.interfaceState(), InterfaceState::AdapterMissing) << kConfiguration[step];
        // The sequence stopped at the failing step, then the probe ran.
        ASSERT_FALSE(a.calls.empty());
        EXPECT_EQ(a.calls.back(), "SendCANMess 00000000 7 0") << kConfiguration[step];
        const auto failing = std::find(a.calls.begin(), a.calls.end(), kConfiguration[step]);
        EXPECT_EQ(std::next(failing)->rfind("SendCANMess", 0), 0u) << kConfiguration[step];
    }
}

TEST_F(LinkFixture, ConfigurationThatKeepsFailingIsBounded)
{
    // The probe answers 1 but the adapter never configures: no endless recursion.
    adapter.failingCall = "SetFilters 3";
    link.checkCanLink(true);
    EXPECT_LE(probes(), 2);
    EXPECT_EQ(link.interfaceState(), InterfaceState::NoConnection);
    // The next link check tries again.
    adapter.failingCall.clear();
    ticks(1);
    EXPECT_EQ(link.interfaceState(), InterfaceState::Ok);

    // With the probe answering 0 the state ends as "sending failed".
    FakeAdapter a;
    FakeClock clk;
    CanLink l(a, clk);
    a.sendResult = 0;
    a.failingCall = "ResetInterface";
    l.checkCanLink(true);
    EXPECT_EQ(l.interfaceState(), InterfaceState::SendFailed);
    EXPECT_LE(a.callsStartingWith("SendCANMess").size(), 2u);
}

TEST_F(LinkFixture, BlockSetsMasksAndFiltersToMatchNothing)
{
    link.blockCanReception();
    const std::vector<std::string> expected = {
        "RecCANMess 9FFFFFFF 13", "RecCANMess 9FFFFFFF 28", "SetFilters 0 9FFFFFFF", "SetFilters 1 9FFFFFFF",
        "SetFilters 2 9FFFFFFF",  "SetFilters 3 9FFFFFFF",  "SetFilters 4 9FFFFFFF", "SetFilters 5 9FFFFFFF",
    };
    EXPECT_EQ(adapter.calls, expected);
}

TEST_F(LinkFixture, DrainHandsEveryMessageToLogThenRouter)
{
    clock.advanceMs(40);
    link.pollTick();
    EXPECT_EQ(sink.messages.at(0).sessionUs, 40'000) << "the probe, at its session time";
    sink.messages.clear();
    adapter.pushMessage(0x18EFFF21, {0xFF, 1, 2}, 0, 0x010001u);
    adapter.pushMessage(0x18EFF921, {5, 0, 0xBC, 0x61, 0x4E}, 0x20, 0x010001u + 125);
    adapter.pushMessage(0x123, {});
    clock.advanceMs(10);
    link.pollTick();
    ASSERT_EQ(sink.messages.size(), 3u);
    ASSERT_EQ(router.messages.size(), 3u);
    EXPECT_EQ(sink.messages[0].id, 0x18EFFF21);
    EXPECT_NEAR(sink.messages[0].time, 0.524296, 1e-12) << "the adapter's seconds, as the monitor shows them";
    EXPECT_EQ(router.messages[1].length, 5);
    EXPECT_EQ(router.messages[1].data[4], 0x4E);
    EXPECT_EQ(view.overflow, std::vector<bool>({false, true, false}));
    EXPECT_EQ(view.queued, std::vector<int>({2, 1, 0}));
    EXPECT_EQ(router.messages[0].sessionUs, 50'000) << "the first stamp tied at its arrival";
    EXPECT_EQ(router.messages[1].sessionUs, 50'000) << "1 ms on, but never after its arrival";
    EXPECT_EQ(router.messages[2].sessionUs, 50'000) << "no stamp: its arrival";
    adapter.pushMessage(0x18EFFF21, {0xFF}, 0, 0x010001u + 250);
    clock.advanceMs(10);
    link.pollTick();
    EXPECT_EQ(router.messages.at(3).sessionUs, 51'000) << "1 ms after the one before, by the stamps";
}

// The trace hears sent and received frames beside the monitor's sink, and
// needs no sink; overflows as they begin and the register as read.
TEST_F(LinkFixture, TheTraceHearsFramesOverflowsAsTheyBeginAndTheRegisterAsRead)
{
    struct Trace final : TraceSink {
        std::vector<std::pair<std::int32_t, bool>> seen;
        int overflows = 0;
        std::vector<std::uint8_t> flags;
        void traceMessage(const CanMessage& m, bool sent) override { seen.emplace_back(m.id, sent); }
        void traceOverflow() override { ++overflows; }
        void traceErrorFlags(std::uint8_t f) override { flags.push_back(f); }
    } trace;
    link.setTraceSink(&trace);
    link.pollTick();
    for (std::uint8_t status : {0x00, 0x20, 0x20, 0x00, 0x20})
        adapter.pushMessage(0x18FEF121, {1}, status);
    link.pollTick();
    const std::uint8_t data[] = {5};
    link.sendLogged(0x98EF21F9, 1, data);
    link.setMessageSink(nullptr);
    link.sendLogged(0x98EF22F9, 1, data);
    using Seen = std::pair<std::int32_t, bool>;
    const std::vector<Seen> expected = {{0, true},          {0x18FEF121, false}, {0x18FEF121, false},
                                        {0x18FEF121, false}, {0x18FEF121, false}, {0x18FEF121, false},
                                        {static_cast<std::int32_t>(0x98EF21F9u), true},
                                        {static_cast<std::int32_t>(0x98EF22F9u), true}};
    EXPECT_EQ(trace.seen, expected) << "the probe, the received, the sent; the last without a monitor";
    EXPECT_EQ(sink.messages.size(), 7u) << "the monitor heard all but the last";
    EXPECT_EQ(trace.overflows, 2) << "each overflow once, at its first record";
    adapter.errorRegister = 0x22;
    link.checkCanLink(false);
    EXPECT_EQ(trace.flags, std::vector<std::uint8_t>{0x22});
    link.setTraceSink(nullptr);
    adapter.pushMessage(0x18FEF121, {1}, 0x20);
    link.pollTick();
    link.checkCanLink(false);
    EXPECT_EQ(trace.overflows, 2) << "a detached trace hears nothing";
}

// Nothing to read leaves the buffer count alone; a result other than 1 is
// taken and ends the drain; a bad record is reported and ends this drain only.
TEST_F(LinkFixture, WhatEndsADrain)
{
    test::ErrorCollector errors;
    link.pollTick();
    link.pollTick();
    EXPECT_TRUE(view.queued.empty());
    EXPECT_EQ(sink.messages.size(), 1u) << "only the probe";

    adapter.pushMessage(1, {1});
    adapter.pushMessage(2, {2});
    adapter.getResultOverride = 2;
    link.pollTick();
    EXPECT_EQ(router.messages.size(), 1u) << "a result of 2 is processed once and ends the loop";
    adapter.getResultOverride.reset();
    adapter.records.clear();

    adapter.pushMessage(1, {1});
    Adapter::Record bad{};
    bad[0] = 8;
    bad[1] = 1;
    bad[3] = 0x80;
    adapter.pushRecord(bad);
    adapter.pushMessage(3, {3});
    link.pollTick();
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0],
              QStringLiteral("An unexpected error 6'Overflow' occured within CheckForInComingCANMessages"));
    EXPECT_EQ(router.messages.size(), 2u);
    link.pollTick();
    EXPECT_EQ(router.messages.size(), 3u) << "the next tick starts afresh";
    EXPECT_EQ(router.messages.back().id, 3);
}

TEST_F(LinkFixture, YieldsAreRateLimitedAndTicksDoNotReenter)
{
    // Each message takes 1 ms of the fake clock.
    struct SlowRouter final : MessageRouter {
        FakeClock& clock;
        int count = 0;
        explicit SlowRouter(FakeClock& c) : clock(c) {}
        void processCanMessage(const CanMessage&) override
        {
            ++count;
            clock.advanceMs(1);
        }
    } slow(clock);
    link.setRouter(&slow);
    link.pollTick();
    int yields = 0;
    int reentered = 0;
    int held = 0;
    int callsAtStart = 0;
    link.setYield([&] {
        ++yields;
        // Every record taken is delivered before a yield, so a drain the yield
        // runs cannot put later frames before it.
        if (adapter.getCalls - callsAtStart != slow.count)
            ++held;
        // A poll tick while the drain yields must not start a second drain.
        const int before = adapter.getCalls;
        link.pollTick();
        if (adapter.getCalls != before)
            ++reentered;
    });
    for (int i = 0; i < 100; ++i)
        adapter.pushMessage(static_cast<std::uint32_t>(i), {1});
    callsAtStart = adapter.getCalls;
    link.pollTick();
    EXPECT_EQ(slow.count, 100);
    EXPECT_EQ(reentered, 0);
    EXPECT_GE(yields, 19) << "about one yield per 5 ms of draining";
    EXPECT_LE(yields, 21);
    EXPECT_EQ(held, 0) << "no record is held over a yield";
    EXPECT_FALSE(link.draining());
}

}  // namespace
