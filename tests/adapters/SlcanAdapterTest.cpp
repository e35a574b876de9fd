#include "adapters/AdapterFactory.h"
#include "adapters/DeviceThread.h"
#include "adapters/SlcanAdapter.h"
#include "can/AcceptanceFilter.h"
#include "can/CanLink.h"
#include "core/Clock.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

using namespace tellvane;

namespace {

// A serial port whose far end the test plays: what the adapter wrote, and
// bytes handed to it as the USB adapter would send them.
class ScriptedLine final : public SerialLine {
public:
    bool plugged = true;
    bool isOpen = false;
    int opens = 0;
    QByteArray written;
    QByteArray incoming;

    bool open(QString* error) override
    {
        if (!plugged) {
            *error = QStringLiteral("no such port");
            return false;
        }
        ++opens;
        isOpen = true;
        return true;
    }
    void close() override { isOpen = false; }
    bool write(const QByteArray& bytes) override
    {
        if (isOpen)
            written += bytes;
        return isOpen;
    }
    QByteArray readAvailable() override { return std::exchange(incoming, {}); }

    void receive(const QByteArray& bytes)
    {
        incoming += bytes;
        notifyReadable();
    }
    void unplug()
    {
        plugged = false;
        notifyLost(QStringLiteral("unplugged"));
    }
};

const QByteArray kOpening = "C\rS5\rZ1\rO\r";

struct Slcan : ::testing::Test {
    FakeClock clock{5'000'000};
    ScriptedLine* line = nullptr;  // owned by the adapter, lives in the device thread
    std::unique_ptr<SlcanAdapter> adapter = std::make_unique<SlcanAdapter>(
        QStringLiteral("ttyTEST"),
        [this] {
            auto made = std::make_unique<ScriptedLine>();
            line = made.get();
            return made;
        },
        clock);

    void SetUp() override { ASSERT_EQ(adapter->resetInterface(), 1); }

    void inDevice(const std::function<void(ScriptedLine&)>& f)
    {
        DeviceThread::instance().run([&] { f(*line); });
    }
    void receive(const QByteArray& bytes)
    {
        inDevice([&](ScriptedLine& l) { l.receive(bytes); });
    }
    QByteArray takeWritten()
    {
        QByteArray bytes;
        inDevice([&](ScriptedLine& l) { bytes = std::exchange(l.written, {}); });
        return bytes;
    }
    std::uint8_t reg45()
    {
        std::uint8_t flags = 0xFF;
        EXPECT_EQ(adapter->readReg(Adapter::kErrorFlagRegister, 1, &flags), 1);
        return flags;
    }
};

TEST_F(Slcan, OpensTheChannelAndFramesGoBothWaysByteForByte)
{
    EXPECT_EQ(takeWritten(), kOpening);
    EXPECT_EQ(adapter->name(), QStringLiteral("slcan:ttyTEST"));
    const std::uint8_t data[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0xA8};
    for (int length = 0; length <= 8; ++length) {
        for (const std::uint32_t id : {0x7FFu, 0x123u, 0x9FFFFFFFu, 0x98EF21F9u}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(id, 0, 16).arg(length).toStdString());
            const bool extended = id & 0x80000000u;
            const QByteArray digits = QByteArray::number(id & AcceptanceFilter::kIdBits, 16)
                                          .rightJustified(extended ? 8 : 3, '0')
                                      + QByteArray::number(length)
                                      + QByteArray(reinterpret_cast<const char*>(data), length).toHex();
            const QByteArray expected = (extended ? "T" : "t") + digits.toUpper() + '\r';
            ASSERT_EQ(adapter->sendCanMess(id, 7, static_cast<std::uint8_t>(length), data), 1);
            EXPECT_EQ(takeWritten(), expected);

            receive(expected);  // the same line from the bus
            const auto messages = test::drainMessages(*adapter);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(static_cast<std::uint32_t>(messages[0].id), id & AcceptanceFilter::kIdBits);
            EXPECT_EQ(messages[0].standard, !extended);
            ASSERT_EQ(messages[0].length, length);
            EXPECT_TRUE(std::equal(data, data + length, messages[0].data.begin()));
        }
    }
    EXPECT_EQ(adapter->sendCanMess(0x123, 7, 9, data), Adapter::kSendFailed) << "nine bytes do not fit";
    EXPECT_TRUE(takeWritten().isEmpty());

    // Bytes the port reads by itself, outside any call, reach a waiting caller.
    std::unique_ptr<QObject> inThread;
    DeviceThread::instance().run([&] { inThread = std::make_unique<QObject>(); });
    QMetaObject::invokeMethod(inThread.get(), [l = line] { l->receive("t100101\r"); }, Qt::QueuedConnection);
    adapter->waitForRecords(clock, clock.nowMicroseconds() + 10'000'000);
    EXPECT_EQ(test::drainMessages(*adapter).size(), 1u);
    DeviceThread::instance().run([&] { inThread.reset(); });
}

TEST_F(Slcan, TimeStampsCarryOnPastTheMinuteAndFollowLongSilences)
{
    adapter->enableTs();
    const struct {
        std::int64_t arrivalUs;
        const char* line;
        double seconds;  // as the record shows it: 24 bits of 8 us
    } frames[] = {
        {5'000'000, "t1000" "03E8\r", 5.0},      // 1000 ms: the adapter's time starts at 4 s on the clock
        {5'500'000, "t1000" "0578\r", 5.4},      // 1400 ms
        {64'600'000, "t1000" "01F4\r", 64.5},    // 500 ms: the next minute
        {214'600'000, "t1000" "7724\r", 214.5},  // 30500 ms after two and a half silent minutes
        {214'700'000, "t1000\r", 214.7},         // none (time stamps refused): the arrival
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.line);
        clock.setMicroseconds(f.arrivalUs);
        receive(f.line);
        const auto messages = test::drainMessages(*adapter);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NEAR(messages[0].time, std::fmod(f.seconds, 16'777'216 * 8e-6), 1e-5);
    }
}

TEST_F(Slcan, StatusAnswersFillRegisterFortyFiveAndTheRestIsCounted)
{
    takeWritten();
    EXPECT_EQ(reg45(), 0);
    EXPECT_EQ(takeWritten(), "F\r") << "each poll asks";
    // Error warning and passive: live; an overrun: until the register is written.
    for (auto [answer, flags] :
         {std::pair{"F24\r", 0x1E}, {"F08\r", errorflag::kBuffer0}, {"F00\r", errorflag::kBuffer0}}) {
        receive(answer);
        EXPECT_EQ(reg45(), flags) << answer;
    }
    const std::uint8_t zero = 0;
    EXPECT_EQ(adapter->writeReg(Adapter::kErrorFlagRegister, 1, &zero), 1);
    EXPECT_EQ(reg45(), 0);

    receive("\a\r\rZ\rr1232\rR123456780\rxyz\rt12\r");
    EXPECT_TRUE(test::drainMessages(*adapter).empty());
    const slcan::Counters counts = adapter->counters();
    EXPECT_EQ(counts.errors, 1u);
    EXPECT_EQ(counts.remoteFrames, 2u);
    EXPECT_EQ(counts.garbageLines, 2u);
}

TEST_F(Slcan, UnpluggedItIsMissingUntilItIsBack)
{
    CanLink link(*adapter, clock);
    link.pollTick();
    ASSERT_EQ(link.interfaceState(), InterfaceState::Ok);
    inDevice([](ScriptedLine& l) { l.unplug(); });
    EXPECT_EQ(adapter->readReg(Adapter::kErrorFlagRegister, 1, nullptr), Adapter::kAdapterMissing);
    clock.advanceMs(1000);
    link.checkCanLink(true);
    EXPECT_EQ(link.interfaceState(), InterfaceState::AdapterMissing);
    EXPECT_EQ(adapter->lastError(), QStringLiteral("no such port"));

    inDevice([](ScriptedLine& l) { l.plugged = true; });
    link.checkCanLink(true);
    EXPECT_EQ(link.interfaceState(), InterfaceState::AdapterMissing) << "not again within a second";
    clock.advanceMs(1000);
    takeWritten();
    EXPECT_EQ(reg45(), 0) << "the status poll opens it again";
    link.checkCanLink(true);
    EXPECT_EQ(link.interfaceState(), InterfaceState::Ok);
    EXPECT_EQ(takeWritten(), kOpening + "F\r" + "t0000\r" + kOpening) << "opened, asked, probed, configured";
    inDevice([](ScriptedLine& l) { EXPECT_EQ(l.opens, 2); });
}

TEST(SlcanNames, NamedAndListedAsTheOtherAdapters)
{
    EXPECT_EQ(canonicalAdapterName(QStringLiteral(" SLCAN:/dev/ttyACM0 ")), QStringLiteral("slcan:/dev/ttyACM0"));
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("slcan:COM3")), QStringLiteral("slcan:COM3"));
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("slcan:")), QString());
    FakeClock clock;
    const AdapterChoice choice = createAdapter(QStringLiteral("slcan:/dev/nosuchport"), {clock, QString()});
    ASSERT_TRUE(choice.adapter);
    EXPECT_EQ(choice.adapter->name(), QStringLiteral("slcan:/dev/nosuchport"));
    EXPECT_EQ(choice.adapter->resetInterface(), Adapter::kAdapterMissing);
}

}  // namespace
