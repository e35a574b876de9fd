#include "adapters/AdapterFactory.h"
#include "adapters/SerialBusAdapter.h"
#include "can/AcceptanceFilter.h"
#include "can/AdapterRecord.h"
#include "can/CanLink.h"
#include "core/Clock.h"

#include "TestSupport.h"

#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

// A CAN device whose behaviour the test writes: it opens at once, later or
// never, takes or refuses frames, and receives what the test hands it.
class ScriptedDevice final : public QCanBusDevice {
public:
    enum class Opening { AtOnce, Later, Refused };
    Opening opening = Opening::AtOnce;
    bool refuseWrites = false;
    CanBusStatus status = CanBusStatus::Good;
    QList<QCanBusFrame> written;

    // Called in the device thread.
    void receive(const QList<QCanBusFrame>& frames) { enqueueReceivedFrames(frames); }
    void finishConnecting() { setState(ConnectedState); }
    void unplug()
    {
        setError(QStringLiteral("adapter unplugged"), ConnectionError);
        setState(UnconnectedState);
    }

    bool writeFrame(const QCanBusFrame& frame) override
    {
        if (refuseWrites)
            return false;
        written.append(frame);
        return true;
    }
    QString interpretErrorFrame(const QCanBusFrame&) override { return {}; }
    bool hasBusStatus() const override { return true; }
    CanBusStatus busStatus() override { return status; }

protected:
    bool open() override
    {
        switch (opening) {
        case Opening::AtOnce:
            setState(ConnectedState);
            return true;
        case Opening::Later:
            return true;  // stays connecting
        case Opening::Refused:
            setError(QStringLiteral("no such interface"), ConnectionError);
            return false;
        }
        return false;
    }
    void close() override { setState(UnconnectedState); }
};

QCanBusFrame dataFrame(std::uint32_t id, QByteArray payload, std::int64_t seconds = 0, std::int64_t micro = 0)
{
    QCanBusFrame frame(id, payload);
    frame.setExtendedFrameFormat(true);
    frame.setTimeStamp(QCanBusFrame::TimeStamp(seconds, micro));
    return frame;
}

struct SerialBus : ::testing::Test {
    FakeClock clock{1'000'000};
    ScriptedDevice* device = nullptr;  // owned by the adapter, lives in the device thread
    int makes = 0;
    bool deviceAvailable = true;
    ScriptedDevice::Opening opening = ScriptedDevice::Opening::AtOnce;
    SerialBusAdapter::Options options;
    std::unique_ptr<SerialBusAdapter> adapter;

    // Tests never wait for a device to connect.
    void make(SerialBusAdapter::Options withOptions = {false, false, 0, {}})
    {
        options = withOptions;
        adapter = std::make_unique<SerialBusAdapter>(
            QStringLiteral("scripted:can0"),
            [this](QString* error) -> std::unique_ptr<QCanBusDevice> {
                ++makes;
                if (!deviceAvailable) {
                    *error = QStringLiteral("no adapter plugged in");
                    return nullptr;
                }
                auto made = std::make_unique<ScriptedDevice>();
                made->opening = opening;
                device = made.get();
                return made;
            },
            options, clock);
    }
    void SetUp() override { make(); }
    void TearDown() override { adapter.reset(); }

    void inDevice(const std::function<void(ScriptedDevice&)>& f)
    {
        ASSERT_NE(device, nullptr);
        SerialBusAdapter::runInDeviceThread([&] { f(*device); });
    }
    void receive(const QList<QCanBusFrame>& frames)
    {
        inDevice([&](ScriptedDevice& d) { d.receive(frames); });
    }
    std::vector<CanMessage> drain() { return test::drainMessages(*adapter); }
    std::uint8_t reg45()
    {
        std::uint8_t flags = 0xFF;
        EXPECT_EQ(adapter->readReg(Adapter::kErrorFlagRegister, 1, &flags), 1);
        return flags;
    }
};

TEST_F(SerialBus, TheLinkConfiguresItAndBit31ChoosesTheFormat)
{
    CanLink link(*adapter, clock);
    link.pollTick();
    EXPECT_EQ(link.interfaceState(), InterfaceState::Ok);
    EXPECT_EQ(makes, 1);

    const std::uint8_t data[3] = {0x05, 0x41, 0x42};
    EXPECT_EQ(link.sendLogged(0x98EF21F9u, 3, data), 1);
    inDevice([](ScriptedDevice& d) {
        ASSERT_EQ(d.written.size(), 2);
        EXPECT_EQ(d.written[0].frameId(), 0u) << "the probe";
        EXPECT_FALSE(d.written[0].hasExtendedFrameFormat()) << "sent without bit 31, as the vendor's library sends it";
        EXPECT_TRUE(d.written[0].payload().isEmpty());
        EXPECT_EQ(d.written[1].frameId(), 0x18EF21F9u) << "bit 31 only marks the format";
        EXPECT_TRUE(d.written[1].hasExtendedFrameFormat());
        EXPECT_EQ(d.written[1].payload(), QByteArray("\x05\x41\x42", 3));
        EXPECT_EQ(d.configurationParameter(QCanBusDevice::BitRateKey), QVariant()) << "no bit rate by default";
    });
    EXPECT_EQ(adapter->sendCanMess(0x98EF21F9u, 7, 9, data), Adapter::kSendFailed) << "nine bytes do not fit";
}

TEST_F(SerialBus, WhatTheDeviceReadsByItselfReachesAWaitingCaller)
{
    ASSERT_EQ(adapter->resetInterface(), 1);
    // Frames the device reads in its own turns, outside any call, as a plugin
    // reads its socket; the device thread may be resting then.
    for (std::uint32_t id : {0x100u, 0x101u}) {
        QMetaObject::invokeMethod(
            device, [d = device, id] { d->receive({dataFrame(id, "\x01")}); }, Qt::QueuedConnection);
        adapter->waitForRecords(clock, clock.nowMicroseconds() + 10'000'000);
        const auto messages = drain();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].id, static_cast<std::int32_t>(id));
    }
}

TEST_F(SerialBus, SendResultsFollowTheDevice)
{
    deviceAvailable = false;
    make();
    const std::uint8_t none[1] = {};
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), Adapter::kAdapterMissing);
    EXPECT_EQ(adapter->lastError(), QStringLiteral("no adapter plugged in"));
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), Adapter::kAdapterMissing);
    EXPECT_EQ(makes, 1) << "no second attempt within a second";
    clock.advanceMs(1000);
    deviceAvailable = true;
    opening = ScriptedDevice::Opening::Refused;
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), Adapter::kAdapterMissing);
    EXPECT_EQ(makes, 2);
    EXPECT_EQ(adapter->lastError(), QStringLiteral("no such interface"));

    clock.advanceMs(1000);
    opening = ScriptedDevice::Opening::Later;
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), SerialBusAdapter::kNoConnection) << "still connecting";
    inDevice([](ScriptedDevice& d) { d.finishConnecting(); });
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), 1);

    inDevice([](ScriptedDevice& d) { d.refuseWrites = true; });
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), Adapter::kSendFailed);

    inDevice([](ScriptedDevice& d) {
        d.unplug();
        d.opening = ScriptedDevice::Opening::AtOnce;  // plugged in again
        d.refuseWrites = false;
    });
    EXPECT_EQ(adapter->readReg(Adapter::kErrorFlagRegister, 1, nullptr), Adapter::kAdapterMissing);
    clock.advanceMs(1000);
    EXPECT_EQ(adapter->sendCanMess(0, 7, 0, none), 1) << "the device is connected again";
    EXPECT_EQ(makes, 3) << "reconnecting the old device";
}

TEST_F(SerialBus, MasksAndFiltersActOnWhatArrives)
{
    ASSERT_EQ(adapter->resetInterface(), 1);
    receive({dataFrame(0x18EFFF21, "\x01"), dataFrame(0x0CF00400, "\x02")});
    EXPECT_EQ(drain().size(), 2u) << "open after a reset";

    // As the link sets them: buffer 0 takes messages to 0xFE, buffer 1 to everyone.
    adapter->recCanMess(0x9FFFFF00u, Adapter::kMaskSelector0);
    adapter->recCanMess(0x9FFFFF00u, Adapter::kMaskSelector1);
    for (std::uint8_t f = 0; f < 2; ++f)
        adapter->setFilters(f, 0x98EFFE00u);
    for (std::uint8_t f = 2; f < 6; ++f)
        adapter->setFilters(f, 0x98EFFF00u);
    EXPECT_EQ(adapter->setFilters(6, 0), 0);
    EXPECT_EQ(adapter->recCanMess(0, 12), 0);
    receive({dataFrame(0x18EFFF21, "\x01"), dataFrame(0x18EFFE22, "\x02"), dataFrame(0x18EFF921, "\x03"),
             dataFrame(0x0CF00400, "\x04")});
    const auto messages = drain();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].id, 0x18EFFF21);
    EXPECT_EQ(messages[1].id, 0x18EFFE22);

    CanLink(*adapter, clock).blockCanReception();
    receive({dataFrame(0x18EFFF21, "\x01"), dataFrame(0x0CF00400, "\x02")});
    EXPECT_TRUE(drain().empty()) << "blocking really blocks";
}

TEST_F(SerialBus, FiltersGoToDevicesThatFilterThemselves)
{
    make({false, true, 0, {}});
    ASSERT_EQ(adapter->resetInterface(), 1);
    adapter->recCanMess(0x9FFFFF00u, Adapter::kMaskSelector1);
    adapter->setFilters(2, 0x98EFFF00u);
    adapter->setFilters(0, 0x98EFFE00u);
    adapter->recCanMess(0x9FFFFF00u, Adapter::kMaskSelector0);
    inDevice([](ScriptedDevice& d) {
        const auto filters = d.configurationParameter(QCanBusDevice::RawFilterKey).value<QList<QCanBusDevice::Filter>>();
        // Filter 0 to 0xFE; filters 1 and 3 to 5 keep their reset value under the
        // masks (identifiers 0x00 to 0xFF, given once); filter 2 to everyone.
        ASSERT_EQ(filters.size(), 3);
        EXPECT_EQ(filters[0].frameId, 0x18EFFE00u);
        EXPECT_EQ(filters[0].frameIdMask, 0x1FFFFF00u);
        EXPECT_EQ(filters[1].frameId, 0u);
        EXPECT_EQ(filters[1].frameIdMask, 0x1FFFFF00u);
        EXPECT_EQ(filters[2].frameId, 0x18EFFF00u);
        EXPECT_EQ(filters[2].format, QCanBusDevice::Filter::MatchBaseAndExtendedFormat);
        EXPECT_TRUE(d.configurationParameter(QCanBusDevice::ErrorFilterKey).isValid());
    });
}

TEST_F(SerialBus, BitRateWherePluginsTakeOne)
{
    make({true, false, 0, {}});
    ASSERT_EQ(adapter->resetInterface(), 1);
    EXPECT_EQ(adapter->setCanBaud(125), 0);
    EXPECT_EQ(adapter->setCanBaud(Adapter::kBaud250k), 1);
    inDevice([](ScriptedDevice& d) { EXPECT_EQ(d.configurationParameter(QCanBusDevice::BitRateKey).toInt(), 250000); });

    EXPECT_TRUE(SerialBusAdapter::optionsForPlugin(QStringLiteral("peakcan")).setsBitRate);
    EXPECT_FALSE(SerialBusAdapter::optionsForPlugin(QStringLiteral("socketcan")).setsBitRate);
    EXPECT_TRUE(SerialBusAdapter::optionsForPlugin(QStringLiteral("socketcan")).filtersInDevice);
    EXPECT_FALSE(SerialBusAdapter::optionsForPlugin(QStringLiteral("virtualcan")).setsBitRate);

    // The first virtualcan device on a port of this computer serves the bus.
    QTcpServer served;
    ASSERT_TRUE(served.listen(QHostAddress::LocalHost));
    const QString url = QStringLiteral("tcp://127.0.0.1:%1/can0").arg(served.serverPort());
    EXPECT_FALSE(SerialBusAdapter::optionsForPlugin(QStringLiteral("virtualcan"), url).servesOthers());
    served.close();
    EXPECT_TRUE(SerialBusAdapter::optionsForPlugin(QStringLiteral("virtualcan"), url).servesOthers());
    EXPECT_FALSE(SerialBusAdapter::optionsForPlugin(QStringLiteral("socketcan"), QStringLiteral("can0")).servesOthers);
}

TEST_F(SerialBus, TimeStampsAreTwentyFourBitsOfEightMicroseconds)
{
    ASSERT_EQ(adapter->resetInterface(), 1);
    adapter->enableTs();
    clock.setMicroseconds(5'000'000);
    receive({dataFrame(0x100, "\x01", 2, 8),      // the device's own stamp
             dataFrame(0x101, "\x02"),            // none: the time of arrival
             dataFrame(0x102, "\x03", 200, 0)});  // the count wraps after 134.2 s
    auto messages = drain();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_DOUBLE_EQ(messages[0].time, 2.000008);
    EXPECT_DOUBLE_EQ(messages[1].time, 5.0);
    EXPECT_DOUBLE_EQ(messages[2].time, (25'000'000 - 16'777'216) * 8e-6);

    adapter->disableTs();
    receive({dataFrame(0x100, "\x01", 2, 8)});
    Adapter::Record record{};
    ASSERT_EQ(adapter->getCanMess(record), 1);
    EXPECT_EQ(record[0], 1 + 7) << "no time stamp follows the data";
}

TEST_F(SerialBus, OnlyClassicDataFramesAreQueued)
{
    ASSERT_EQ(adapter->resetInterface(), 1);
    QCanBusFrame remote(0x200, {});
    remote.setFrameType(QCanBusFrame::RemoteRequestFrame);
    QCanBusFrame fd(0x201, QByteArray(12, 'x'));
    fd.setFlexibleDataRateFormat(true);
    QCanBusFrame echo = dataFrame(0x202, "\x01");
    echo.setLocalEcho(true);
    QCanBusFrame standard(0x7FF, QByteArray("\x09", 1));
    receive({remote, fd, echo, standard, dataFrame(0x1FFFFFFF, QByteArray(8, '\xAA'))});
    const auto messages = drain();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].id, 0x7FF);
    EXPECT_TRUE(messages[0].standard) << "an 11-bit frame is marked so in its record";
    EXPECT_EQ(messages[1].id, 0x1FFFFFFF);
    EXPECT_FALSE(messages[1].standard);
    EXPECT_EQ(messages[1].length, 8);
    EXPECT_EQ(messages[1].data[7], 0xAA);
}

// A full queue is the queue's own, shared with the simulated bench, and tested there.
TEST_F(SerialBus, RegisterFortyFiveShowsBusStatusAndErrors)
{
    ASSERT_EQ(adapter->resetInterface(), 1);
    using S = QCanBusDevice::CanBusStatus;
    for (auto [status, flags] : {std::pair{S::Good, 0}, {S::Warning, errorflag::kRxWarning | errorflag::kTxWarning},
                                 {S::Error, errorflag::kRxPassive | errorflag::kTxPassive}, {S::BusOff, errorflag::kBusOff},
                                 {S::Good, 0}}) {
        inDevice([status = status](ScriptedDevice& d) { d.status = status; });
        EXPECT_EQ(reg45(), flags) << int(status);
    }

    // A controller error frame (SocketCAN layout: byte 1 holds the state) stays until written.
    QCanBusFrame error(QCanBusFrame::ErrorFrame);
    error.setError(QCanBusFrame::ControllerError);
    error.setPayload(QByteArray("\x00\x10\x00\x00\x00\x00\x00\x00", 8));
    receive({error});
    EXPECT_EQ(reg45(), errorflag::kRxPassive);
    EXPECT_TRUE(drain().empty()) << "an error frame is no message";
    const std::uint8_t zero = 0;
    EXPECT_EQ(adapter->writeReg(Adapter::kErrorFlagRegister, 1, &zero), 1);
    EXPECT_EQ(reg45(), 0);
}

TEST(AdapterNames, FormsTheFactoryTakes)
{
    EXPECT_EQ(canonicalAdapterName(QStringLiteral(" SIM ")), QStringLiteral("sim"));
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("Library")), QStringLiteral("library"));
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("VirtualCAN:can0")), QStringLiteral("virtualcan:can0"));
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("virtualcan:tcp://127.0.0.1:35468/can1")),
              QStringLiteral("virtualcan:tcp://127.0.0.1:35468/can1"));
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("nosuchplugin:can0")), QString());
    EXPECT_EQ(canonicalAdapterName(QStringLiteral("virtualcan:")), QString());
    EXPECT_EQ(canonicalAdapterName(QStringLiteral(":can0")), QString());

    // An unknown one refused by the factory is the adapter menu's test.
    FakeClock clock;
    AdapterChoice virtualBus = createAdapter(QStringLiteral("virtualcan:can0"), {clock, QString()});
    ASSERT_NE(virtualBus.adapter, nullptr);
    EXPECT_EQ(virtualBus.adapter->name(), QStringLiteral("virtualcan:can0"));

    const QList<AdapterEntry> entries = availableAdapters();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries[0].label, QStringLiteral("Vendor library"));
    EXPECT_EQ(entries[1].name, QStringLiteral("sim"));
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [](const AdapterEntry& e) {
                                return e.name == QLatin1String("virtualcan:can0") && e.group == AdapterEntry::Group::BusPlugin;
                            }));
}

// The simulated bench reads Configuration/SimulatedBench.txt beside the program,
// else from ../share/tellvane as the package installs it: a bench line it
// cannot read names the file that was read.
TEST(AdapterFactory, SimBenchFileBesideTheProgramOrInstalled)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bin = root.filePath(QStringLiteral("usr/bin"));
    const QString installed = root.filePath(QStringLiteral("usr/share/tellvane/Configuration/SimulatedBench.txt"));
    const QString beside = bin + QStringLiteral("/Configuration/SimulatedBench.txt");
    QDir().mkpath(bin);
    FakeClock clock;
    const auto warningsOfSim = [&] {
        AdapterChoice sim = createAdapter(QStringLiteral("sim"), {clock, bin});
        EXPECT_NE(sim.adapter, nullptr);
        return sim.warnings.join(QLatin1Char('\n'));
    };

    const QString none = warningsOfSim();
    EXPECT_TRUE(none.contains(beside + QStringLiteral(" could not be read"))) << none.toStdString();

    test::writeFile(installed, "board 0x30 1537 5 12010003\nnonsense\n");
    const QString fromInstalled = warningsOfSim();
    EXPECT_TRUE(fromInstalled.contains(QStringLiteral("simulated bench ") + QDir::cleanPath(installed) +
                                       QStringLiteral(", line 2")))
        << fromInstalled.toStdString();

    test::writeFile(beside, "board 0x30 1537 5 12010003\n");
    EXPECT_EQ(warningsOfSim(), QString()) << "the file beside the program comes first";
}

}  // namespace
