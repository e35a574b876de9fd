#include "adapters/SlcanProtocol.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace tellvane;
using namespace tellvane::slcan;

namespace {

std::string describe(const Item& item)
{
    const Frame& f = item.frame;
    std::string s;
    switch (item.kind) {
    case ItemKind::Frame:
    case ItemKind::RemoteFrame:
        s = (item.kind == ItemKind::Frame ? "frame " : "remote ") + std::to_string(f.id) + (f.extended ? "x" : "s")
            + std::to_string(f.length);
        for (std::size_t i = 0; i < 8; ++i)
            s += " " + std::to_string(f.data[i]);
        return s + " @" + std::to_string(f.timeStampMs);
    case ItemKind::Status: return "status " + std::to_string(item.status);
    case ItemKind::Ok: return "ok";
    case ItemKind::Transmitted: return "sent";
    case ItemKind::Error: return "error";
    case ItemKind::Version: return "version " + std::string(item.text.data(), 4);
    case ItemKind::SerialNumber: return "serial " + std::string(item.text.data(), 4);
    }
    return "?";
}

std::vector<std::string> read(LineReader& reader, const std::string& bytes)
{
    std::vector<std::string> items;
    reader.feed(bytes, [&](const Item& item) { items.push_back(describe(item)); });
    return items;
}

// Each line with what it reads as: nothing for garbage.
const std::vector<std::pair<std::string, std::string>> kLines = {
    {"t1230\r", "frame 291s0 0 0 0 0 0 0 0 0 @-1"},
    {"t7FF80102030405060708\r", "frame 2047s8 1 2 3 4 5 6 7 8 @-1"},
    {"T1fffffff2abcd\r", "frame 536870911x2 171 205 0 0 0 0 0 0 @-1"},
    {"T0000000181122334455667788EA5F\r", "frame 1x8 17 34 51 68 85 102 119 136 @59999"},
    {"t0011AB0000\r", "frame 1s1 171 0 0 0 0 0 0 0 @0"},
    {"r1233\r", "remote 291s3 0 0 0 0 0 0 0 0 @-1"},
    {"R000000FF80010\r", "remote 255x8 0 0 0 0 0 0 0 0 @16"},
    {"FA5\r", "status 165"},
    {"\r", "ok"},
    {"z\r", "sent"},
    {"Z\r", "sent"},
    {"\a", "error"},
    {"V1013\r", "version 1013"},
    {"NA1b2\r", "serial A1b2"},
    {"t8000\r", ""},                      // identifier above 11 bits
    {"T200000000\r", ""},                 // above 29 bits
    {"t12390000000000000000\r", ""},      // length 9
    {"t123201\r", ""},                    // too few data digits
    {"t12310203\r", ""},                  // neither none nor 4 stamp digits
    {"t1230EA60\r", ""},                  // stamp 60000
    {"t12G0\r", ""},                      // bad hex
    {"t1231x1\r", ""},
    {"t12\r", ""},                        // cut short
    {"F1\r", ""},
    {"zz\r", ""},
    {"V12\r", ""},
    {"x\r", ""},                          // unknown letter
    {"T0000000181122334455667788EA5F0\r", ""},  // one past the longest line
};

TEST(SlcanLineReader, ReadsEachKindOfLineAndCountsGarbage)
{
    for (const auto& [line, expected] : kLines) {
        LineReader reader;
        const std::vector<std::string> items = read(reader, line);
        const Counters& c = reader.counters();
        EXPECT_EQ(items, expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{expected}) << line;
        EXPECT_EQ(c.garbageLines, expected.empty() ? 1u : 0u) << line;
        EXPECT_EQ(c.frames + c.remoteFrames + c.errors + c.oks + c.statuses + c.others + c.garbageLines, 1u) << line;
    }
    LineReader reader;  // text before a BEL is a broken line, then the refusal
    EXPECT_EQ(read(reader, "\nt12\a\r\n"), (std::vector<std::string>{"error", "ok"}));
    EXPECT_EQ(reader.counters().garbageLines, 1u);
}

TEST(SlcanLineReader, EverySplitGivesTheSameItems)
{
    std::string stream;
    for (const auto& line : kLines)
        stream += line.first;
    LineReader whole;
    const std::vector<std::string> expected = read(whole, stream);
    for (std::size_t at = 0; at <= stream.size(); ++at) {
        LineReader reader;
        std::vector<std::string> items = read(reader, stream.substr(0, at));
        for (const std::string& item : read(reader, stream.substr(at)))
            items.push_back(item);
        ASSERT_EQ(items, expected) << at;
        ASSERT_EQ(reader.counters(), whole.counters()) << at;
    }
}

TEST(SlcanLineReader, EndlessLineIsDroppedAndTheNextLineReads)
{
    LineReader reader;
    for (int i = 0; i < 10000; ++i)
        EXPECT_TRUE(read(reader, "T00000001811223344").empty());
    EXPECT_EQ(read(reader, "\rt1230\r"), (std::vector<std::string>{"frame 291s0 0 0 0 0 0 0 0 0 @-1"}));
    EXPECT_EQ(reader.counters().garbageLines, 1u);
    reader.reset();
    EXPECT_EQ(reader.counters(), Counters{});
}

TEST(SlcanProtocol, FramesRoundTripAndCommandsAreWellFormed)
{
    std::mt19937 random(7);
    for (int n = 0; n < 2000; ++n) {
        Frame frame;
        frame.extended = (n & 1) != 0;
        frame.id = random() & (frame.extended ? 0x1FFFFFFFu : 0x7FFu);
        frame.length = static_cast<std::uint8_t>(n % 9);
        for (std::size_t i = 0; i < frame.length; ++i)
            frame.data[i] = static_cast<std::uint8_t>(random());
        const QByteArray line = frameLine(frame);
        EXPECT_EQ(line.mid(1), line.mid(1).toUpper());
        LineReader reader;
        int seen = 0;
        reader.feed(std::span<const char>(line.constData(), static_cast<std::size_t>(line.size())), [&](const Item& item) {
            ++seen;
            EXPECT_EQ(item.kind, ItemKind::Frame);
            EXPECT_EQ(item.frame, frame) << line.constData();
        });
        EXPECT_EQ(seen, 1);
    }
    for (const Frame& refused : {Frame{.id = 0x800}, Frame{.id = 0x20000000, .extended = true}, Frame{.length = 9}})
        EXPECT_TRUE(frameLine(refused).isEmpty());

    EXPECT_EQ(bitrateLine(10000), "S0\r");
    EXPECT_EQ(bitrateLine(250000), "S5\r");
    EXPECT_EQ(bitrateLine(800000), "S7\r");
    EXPECT_EQ(bitrateLine(1000000), "S8\r");
    EXPECT_TRUE(bitrateLine(750000).isEmpty());
}

TEST(SlcanProtocol, TimeStampsUnwrapIntoAGrowingCount)
{
    // {previous, stamp, answer}
    const std::vector<std::array<std::int64_t, 3>> cases = {
        {-1, 59000, 59000}, {59000, 59000, 59000},  {59000, 100, 60100},
        {60100, 59999, 119999}, {119999, 0, 120000}, {180500, 400, 240400},
    };
    for (const auto& [previous, stamp, answer] : cases)
        EXPECT_EQ(unwrapTimeStamp(previous, static_cast<int>(stamp)), answer) << previous << " " << stamp;
}

}  // namespace
