#include "adapters/LibraryAdapter.h"
#include "can/AdapterRecord.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/ErrorReporting.h"

#include "TestSupport.h"

#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

// The stand-in library's test hooks, reached through a second handle on it.
struct StandIn {
    QLibrary library{QStringLiteral(TELLVANE_STANDIN_DIR "/QXUSB2CAN")};
    std::string lastCall()
    {
        using Fn = void (*)(char*, std::int32_t);
        char buffer[128] = {};
        reinterpret_cast<Fn>(library.resolve("StandInLastCall"))(buffer, sizeof buffer);
        return buffer;
    }
    void setSendResult(std::int16_t r)
    {
        using Fn = void (*)(std::int16_t);
        reinterpret_cast<Fn>(library.resolve("StandInSetSendResult"))(r);
    }
    void setErrorRegister(std::uint8_t v)
    {
        using Fn = void (*)(std::uint8_t);
        reinterpret_cast<Fn>(library.resolve("StandInSetErrorRegister"))(v);
    }
};

// Each call and its values pass through the library; the link driving an
// adapter is the link's test.
TEST(LibraryAdapter, BindsTheThirteenExportsByName)
{
    LibraryAdapter adapter({QStringLiteral(TELLVANE_STANDIN_DIR)});
    ASSERT_TRUE(adapter.isBound()) << adapter.bindError().toStdString();
    StandIn standIn;
    ASSERT_TRUE(standIn.library.load());
    standIn.setSendResult(1);
    standIn.setErrorRegister(0x40);

    struct Case {
        std::function<std::int16_t()> call;
        std::string expected;  // name, device 0, channel 0, then the arguments
    };
    std::uint8_t reg = 0;
    const std::uint8_t zero = 0;
    Adapter::Record record{};
    char info[32] = {};
    const Case cases[] = {
        {[&] { return adapter.resetInterface(); }, "ResetInterface 0 0"},
        {[&] { return adapter.clearCanMess(); }, "ClearCANMess 0 0"},
        {[&] { return adapter.setCanBaud(250); }, "SetCANBaud 0 0 250"},
        {[&] { return adapter.recCanMess(0x9FFFFF00u, 28); }, "RecCANMess 0 0 9FFFFF00 28"},
        {[&] { return adapter.setFilters(1, 0x98EFFE00u); }, "SetFilters 0 0 1 98EFFE00"},
        {[&] { return adapter.enableTs(); }, "EnableTS 0 0"},
        {[&] { return adapter.disableTs(); }, "DisableTS 0 0"},
        {[&] { return adapter.readReg(45, 1, &reg); }, "ReadReg 0 0 45 1"},
        {[&] { return adapter.writeReg(45, 1, &zero); }, "WriteReg 0 0 45 1"},
        {[&] { return adapter.getInfo(info, sizeof info); }, "GetInfo 0 0"},
        {[&] { return static_cast<std::int16_t>(adapter.getNumCanMess() + 1); }, "GetNumCANMess 0 0"},
        {[&] { return static_cast<std::int16_t>(adapter.getCanMess(record) + 1); }, "GetCANMess 0 0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), 1) << c.expected;
        EXPECT_EQ(standIn.lastCall(), c.expected);
    }
    EXPECT_STREQ(info, "stand-in adapter");
    EXPECT_EQ(reg, 0x40) << "the register read through the library";

    // A frame sent comes back through the stand-in's loopback, as the link would read it.
    const std::uint8_t data[1] = {0x05};
    EXPECT_EQ(adapter.sendCanMess(0x98EF21F9u, 7, 1, data), 1);
    EXPECT_EQ(standIn.lastCall(), "SendCANMess 0 0 98EF21F9 7 1");
    ASSERT_EQ(adapter.getCanMess(record), 1);
    EXPECT_EQ(decodeRecord(record).id, 0x18EF21F9);
    EXPECT_EQ(decodeRecord(record).data[0], 0x05);
}

TEST(LibraryAdapter, TakesTheFirstLibraryOfItsPlaces)
{
    QTemporaryDir empty;
    const QString complete = QStringLiteral(TELLVANE_STANDIN_DIR);
    const QString incomplete = QStringLiteral(TELLVANE_STANDIN_INCOMPLETE_DIR);
    const LibraryAdapter found({empty.path(), complete, incomplete});
    EXPECT_TRUE(found.libraryPath().startsWith(complete + QLatin1Char('/'))) << found.bindError().toStdString();
    // The first one found is the one used, as with the loader, though a later one would do.
    const LibraryAdapter first({incomplete, complete});
    EXPECT_EQ(first.bindError(), QStringLiteral("The adapter's vendor library %1 lacks the export GetInfo")
                                     .arg(first.libraryPath()));
    EXPECT_TRUE(first.libraryPath().startsWith(incomplete + QLatin1Char('/')));
}

TEST(LibraryAdapter, MissingLibraryOrExportShowsInterfaceMissingAndSaysWhyOnce)
{
    QTemporaryDir folder;
    LibraryAdapter adapter({folder.path()});
    FakeClock clock;
    CanLink link(adapter, clock);
    QStringList said;
    const ErrorCapture capture(said, false);
    // Ten probes without the library, then ten with one that lacks an export:
    // each reason once, the state "Interface Missing" throughout.
    const auto probeTenTimes = [&] {
        for (int i = 0; i < 400; ++i)
            link.pollTick();
        EXPECT_EQ(link.interfaceState(), InterfaceState::AdapterMissing);
        EXPECT_FALSE(adapter.isBound());
    };
    probeTenTimes();
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0], QStringLiteral("The adapter's vendor library libQXUSB2CAN.so was not found. Looked in %1.")
                           .arg(folder.path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TELLVANE_STANDIN_INCOMPLETE_DIR "/libQXUSB2CAN.so"),
                            folder.filePath(QStringLiteral("libQXUSB2CAN.so"))));
    probeTenTimes();
    ASSERT_EQ(said.size(), 2) << said.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(said[1].endsWith(QStringLiteral(" lacks the export GetInfo"))) << said[1].toStdString();
    Adapter::Record record{};
    EXPECT_NE(adapter.getCanMess(record), 1) << "nothing to read, no busy loop";
    EXPECT_EQ(adapter.getNumCanMess(), 0);
}

}  // namespace
