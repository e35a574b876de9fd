#include "can/BoardDirectory.h"
#include "can/BoardMessages.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/Failure.h"
#include "core/SettingsStore.h"

#include "FakeAdapter.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace tellvane;
using test::makeMessage;

namespace {

struct FakeWindow final : BoardWindowHandle {
    std::int16_t formIndex = -1;
    std::int16_t boardType = 0;
    int address = -1;
    std::int32_t serial = 0;
    QString style, variant, caption;
    int pictures = 0;
    std::optional<std::pair<int, int>> movedTo;
    std::vector<std::vector<std::uint8_t>> diagnostics;
    std::vector<LineTime> times;  // of each diagnostic frame
    bool failOnInitialise = false;

    void initialise(std::int16_t f, std::int16_t t, std::uint8_t a, std::int32_t s) override
    {
        if (failOnInitialise)
            throw Failure(FailureCode::Overflow);
        formIndex = f;
        boardType = t;
        address = a;
        serial = s;
        caption = QStringLiteral("Board Type ") + QString::number(t);
    }
    QString addressText() const override { return QString::number(address); }
    void showPCode(const QString& s, const QString& v, const QString& c) override
    {
        style = s;
        variant = v;
        caption = c;
    }
    void loadBoardPicture() override { ++pictures; }
    void moveToTwips(int top, int left) override { movedTo = {top, left}; }
    void processDiagnosticMessages(std::uint8_t length, const std::array<std::uint8_t, 9>& data, LineTime time) override
    {
        diagnostics.emplace_back(data.begin(), data.begin() + length);
        times.push_back(time);
    }
};

struct FakeFactory final : BoardWindowFactory {
    std::vector<std::unique_ptr<FakeWindow>> windows;
    bool nextFails = false;
    BoardWindowHandle* makeBoardWindow() override
    {
        windows.push_back(std::make_unique<FakeWindow>());
        windows.back()->failOnInitialise = nextFails;
        return windows.back().get();
    }
};

struct FakePackets final : PacketReceiver {
    int acks = 0;
    std::vector<CanMessage> texts;
    void acknowledgementReceived() override { ++acks; }
    void textPacketReceived(const CanMessage& m) override { texts.push_back(m); }
};

struct FakeDownloader final : DownloaderControl {
    int closes = 0;
    void closeDownloader() override { ++closes; }
};

struct BoardsFixture : ::testing::Test {
    QTemporaryDir dir;
    test::FakeAdapter adapter;
    FakeClock clock;
    CanLink link{adapter, clock};
    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    BoardDirectory boards{link, settings};
    FakeFactory factory;
    FakePackets packets;
    FakeDownloader downloader;
    test::RecordingSink sink;
    test::ErrorCollector errors;

    BoardsFixture()
    {
        boards.setWindowFactory(&factory);
        boards.setPacketReceiver(&packets);
        boards.setDownloaderControl(&downloader);
        link.setMessageSink(&sink);
    }

    void announce(int address, std::initializer_list<std::uint8_t> bytes = {0xFF, 0, 0x01, 0x80, 0x40, 0, 0, 7})
    {
        boards.processCanMessage(makeMessage(0x18EFFF00 + address, bytes));
    }
    void reply(int address, std::initializer_list<std::uint8_t> bytes)
    {
        boards.processCanMessage(makeMessage(0x18EFF900 + address, bytes));
    }
    int pCodeRequests(int address) const
    {
        int n = 0;
        for (const auto& s : adapter.sent)
            n += s.id == (0x98EF00F9u | static_cast<std::uint32_t>(address) << 8) && s.data == std::vector<std::uint8_t>{5};
        return n;
    }
    FakeWindow& window(int slot) { return *factory.windows.at(static_cast<std::size_t>(slot)); }
};

TEST(BoardMessages, AnnouncementTypeAndSerial)
{
    struct Case {
        std::initializer_list<std::uint8_t> bytes;
        int type;
        std::int32_t serial;
    };
    const Case cases[] = {
        {{0xFF, 0x55, 0x01, 0x80, 0x40, 0x00, 0x00, 0x07}, 1537, 7},
        {{0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0, 0},
        {{0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 4095, 0x3FFFFFFF},
        {{0xFF, 0x00, 0xFC, 0x00, 0x3F, 0x00, 0x00, 0x00}, 0, 0x3F000000},
        {{0xFF, 0x00, 0x02, 0x01, 0xC1, 0x02, 0x03, 0x04}, 2048 + 4 + 3, 0x01020304},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(board::announcedType(makeMessage(0x18EFFF21, c.bytes)), c.type);
        EXPECT_EQ(board::announcedSerial(makeMessage(0x18EFFF21, c.bytes)), c.serial);
    }
}

TEST(BoardMessages, PCodeTextIsPaddedToEightDigits)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {12345678, "12345678"}, {0x7B, "00000123"}, {0, "00000000"}, {4120101, "04120101"},
        {123456789, "123456789"}, {0xFFFFFFFFu, "4294967295"},
    };
    for (auto [value, text] : cases)
        EXPECT_EQ(board::pCodeText(value), QString::fromLatin1(text));
    EXPECT_EQ(board::styleOf(QStringLiteral("123456789")), QStringLiteral("1234"));
    EXPECT_EQ(board::variantOf(QStringLiteral("123456789")), QStringLiteral("6789"));
    EXPECT_EQ(board::pCodeValue(makeMessage(0x18EFF921, {5, 0x00, 0xBC, 0x61, 0x4E})), 12345678u);
}

TEST_F(BoardsFixture, NewBoardGetsAWindowAndAPCodeRequest)
{
    announce(0x21);
    ASSERT_EQ(factory.windows.size(), 1u);
    EXPECT_EQ(window(0).formIndex, 0);
    EXPECT_EQ(window(0).boardType, 1537);
    EXPECT_EQ(window(0).serial, 7);
    EXPECT_EQ(window(0).address, 0x21);
    EXPECT_EQ(boards.slotCount(), 1);
    EXPECT_EQ(boards.slot(0).nodeAddress, 0x21);
    EXPECT_EQ(boards.addrToSlot(0x21), 0);
    ASSERT_EQ(adapter.sent.size(), 1u);
    EXPECT_EQ(adapter.sent[0].id, 0x98EF21F9u);
    EXPECT_EQ(adapter.sent[0].data, std::vector<std::uint8_t>{5});
    ASSERT_EQ(sink.messages.size(), 1u) << "the request is logged";
    EXPECT_EQ(static_cast<std::uint32_t>(sink.messages[0].id), 0x98EF21F9u);

    announce(0x21);
    EXPECT_EQ(factory.windows.size(), 1u) << "a known board gets no second window";
    EXPECT_EQ(pCodeRequests(0x21), 2) << "but it is asked again";
}

TEST_F(BoardsFixture, ConflictAddressMakesAWindowEveryTimeAndIsNeverAsked)
{
    announce(254);
    announce(254);
    EXPECT_EQ(factory.windows.size(), 2u);
    EXPECT_EQ(boards.addrToSlot(254), 1) << "the newer window";
    EXPECT_EQ(pCodeRequests(254), 0);
    EXPECT_TRUE(adapter.sent.empty());
}

TEST_F(BoardsFixture, PCodeReplyFillsTheWindow)
{
    announce(0x21);
    reply(0x21, {5, 0x00, 0xBC, 0x61, 0x4E});
    EXPECT_EQ(window(0).style, QStringLiteral("1234"));
    EXPECT_EQ(window(0).variant, QStringLiteral("5678"));
    EXPECT_EQ(window(0).caption, QStringLiteral("Board 1234-5678 [33]"));
    EXPECT_EQ(window(0).pictures, 1);
    EXPECT_FALSE(window(0).movedTo) << "no saved place yet";

    reply(0x21, {5, 0, 0, 0, 0x7B});
    EXPECT_EQ(window(0).variant, QStringLiteral("0123"));
    EXPECT_EQ(window(0).pictures, 2) << "each reply fills the window again";
}

TEST_F(BoardsFixture, PCodeReplyMovesToTheSavedPlaceOfItsStyleAndVariant)
{
    struct Case {
        const char* top;
        const char* left;
        std::optional<std::pair<int, int>> moved;
    };
    const Case cases[] = {
        {"1200", "2400", std::pair{1200, 2400}},
        {"0", "2400", std::nullopt},
        {"1200", "-15", std::nullopt},
        {"", "", std::nullopt},
        {"  900 twips", "1800.4", std::pair{900, 1800}},
    };
    announce(0x21);
    for (const Case& c : cases) {
        settings.setValue(QStringLiteral("1234-5678"), QStringLiteral("Top"), QString::fromLatin1(c.top));
        settings.setValue(QStringLiteral("1234-5678"), QStringLiteral("Left"), QString::fromLatin1(c.left));
        window(0).movedTo.reset();
        reply(0x21, {5, 0x00, 0xBC, 0x61, 0x4E});
        EXPECT_EQ(window(0).movedTo, c.moved) << c.top << "," << c.left;
    }
    // A Left too large for a 16-bit value is a failure of the routing, reported.
    settings.setValue(QStringLiteral("1234-5678"), QStringLiteral("Left"), QStringLiteral("99999"));
    reply(0x21, {5, 0x00, 0xBC, 0x61, 0x4E});
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("An unexpected error 6'Overflow' occured within ProcessCANMessage"));
}

TEST_F(BoardsFixture, ClosedWindowsFreeTheirSlotForeverAndRepliesWithoutAWindowAreIgnored)
{
    reply(0x30, {5, 0, 0, 0, 1});
    EXPECT_TRUE(factory.windows.empty());
    announce(0x21);
    boards.setDiagMode(0, true);
    boards.windowClosed(0);
    EXPECT_EQ(boards.slot(0).nodeAddress, -1);
    EXPECT_FALSE(boards.slot(0).diagMode);
    EXPECT_EQ(boards.slot(0).window, nullptr);
    reply(0x21, {5, 0x00, 0xBC, 0x61, 0x4E});
    EXPECT_TRUE(window(0).style.isEmpty());
    EXPECT_TRUE(errors.messages.isEmpty());
    announce(0x21);
    ASSERT_EQ(factory.windows.size(), 2u) << "the next announcement makes a new window";
    EXPECT_EQ(window(1).formIndex, 1) << "in a new slot";
    EXPECT_EQ(boards.addrToSlot(0x21), 1);
    EXPECT_EQ(boards.slotCount(), 2);
}

TEST_F(BoardsFixture, DiagnosticDataReachesOnlyWindowsInDiagnosticMode)
{
    announce(0x21);
    announce(0x22);
    boards.processCanMessage(makeMessage(0x18EFFF21, {0x10, 1, 2}));
    EXPECT_TRUE(window(0).diagnostics.empty());
    boards.setDiagMode(0, true);
    CanMessage stamped = makeMessage(0x18EFFF21, {0x10, 1, 2}, 12.345678);
    stamped.sessionUs = 12'345'678;
    boards.processCanMessage(stamped);
    boards.processCanMessage(makeMessage(0x18EFFF22, {0x10, 3}));
    boards.processCanMessage(makeMessage(0x18EFF921, {0x10, 9}));  // to the tool, not diagnostic data
    ASSERT_EQ(window(0).diagnostics.size(), 1u);
    EXPECT_EQ(window(0).diagnostics[0], std::vector<std::uint8_t>({0x10, 1, 2}));
    EXPECT_EQ(window(0).times, std::vector<LineTime>({{0, 12'345'678}})) << "with the frame's session time";
    EXPECT_TRUE(window(1).diagnostics.empty());
    // An announcement in diagnostic mode is passed on too.
    announce(0x21);
    EXPECT_EQ(window(0).diagnostics.size(), 2u);
    boards.windowClosed(0);
    boards.processCanMessage(makeMessage(0x18EFFF21, {0x10, 1, 2}));
    EXPECT_EQ(window(0).diagnostics.size(), 2u) << "a closed window hears nothing";
}

TEST_F(BoardsFixture, TextPacketsOnlyFromTheDownloadBoard)
{
    announce(0x21);
    boards.processCanMessage(makeMessage(0x18EFF921, {0xFE, 0x41}));
    EXPECT_TRUE(packets.texts.empty()) << "no board in download";
    boards.setDownloadBoardAddress(0x21);
    boards.processCanMessage(makeMessage(0x18EFF921, {0xFE, 0x41}));
    boards.processCanMessage(makeMessage(0x18EFF921, {0xFE}));
    boards.processCanMessage(makeMessage(0x18EFF922, {0xFE, 0x42}));
    boards.processCanMessage(makeMessage(0x18EFFE21, {0xFE, 0x43}));
    boards.processCanMessage(makeMessage(0x18EFF921, {0xFD, 0x44}));
    ASSERT_EQ(packets.texts.size(), 1u);
    EXPECT_EQ(packets.texts[0].data[1], 0x41);
    EXPECT_EQ(packets.acks, 1);
    boards.processCanMessage(makeMessage(0x18EFF921, {}));  // no data: byte 0 reads 0
    EXPECT_EQ(packets.texts.size(), 1u);
}

TEST_F(BoardsFixture, AnnouncementOfTheDownloadBoardClosesTheDownloader)
{
    announce(0x21);
    boards.setDownloadBoardAddress(0x21);
    announce(0x22);
    EXPECT_EQ(downloader.closes, 0);
    announce(0x21);
    EXPECT_EQ(downloader.closes, 1);
    EXPECT_EQ(boards.downloadBoardAddress(), -1);
    EXPECT_EQ(factory.windows.size(), 2u);
}

TEST_F(BoardsFixture, RequestsToTheBoards)
{
    boards.sendAllBoardRequest();
    boards.sendDiagOnRequest(0x21);
    boards.sendDiagOffRequest(0x21);
    ASSERT_EQ(adapter.sent.size(), 3u);
    EXPECT_EQ(adapter.sent[0].id, 0x98EAFFF9u);
    EXPECT_EQ(adapter.sent[0].data, std::vector<std::uint8_t>({0x00, 0xEE, 0x00}));
    EXPECT_EQ(adapter.sent[1].id, 0x98EF21F9u);
    EXPECT_EQ(adapter.sent[1].data, std::vector<std::uint8_t>({0xFE, '$', '1', 'X', '1'}));
    EXPECT_EQ(adapter.sent[2].data, std::vector<std::uint8_t>({0xFE, '$', '1', 'X', '0'}));
    for (const auto& s : adapter.sent)
        EXPECT_EQ(s.mode, 7);
    EXPECT_EQ(sink.messages.size(), 3u);
}

TEST_F(BoardsFixture, FailureWhileMakingAWindowIsReportedWithItsContext)
{
    factory.nextFails = true;
    announce(0x21);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("An unexpected error 6'Overflow' occured within CreateNewForm with "
                                                 "FormIndex =0, BType =1537, Addr =33"));
    EXPECT_EQ(boards.addrToSlot(0x21), 0) << "what was done before the failure stays";
    EXPECT_EQ(pCodeRequests(0x21), 1) << "the announcement goes on";
}

}  // namespace
