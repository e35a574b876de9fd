#include "can/AdapterRecord.h"
#include "core/Failure.h"

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

Adapter::Record recordOf(std::initializer_list<std::uint8_t> bytes)
{
    Adapter::Record r{};
    std::size_t i = 0;
    for (std::uint8_t b : bytes)
        r[i++] = b;
    return r;
}

TEST(AdapterRecord, TimeStampFromThreeBytes)
{
    EXPECT_NEAR(timeStampSeconds(0x01, 0x00, 0x01), 0.524296, 1e-12);
    EXPECT_NEAR(timeStampSeconds(0xFF, 0xFF, 0xFF), 134.217720, 1e-9);
    EXPECT_EQ(timeStampSeconds(0, 0, 0), 0.0);
}

TEST(AdapterRecord, DecodesIdentifierDataAndTime)
{
    // Length 2 + 10: a time stamp 01 00 01 follows the two data bytes.
    const auto r = recordOf({12, 2, 0, 0x18, 0xEF, 0xFF, 0x21, 0xAA, 0x55, 0x01, 0x00, 0x01});
    const CanMessage m = decodeRecord(r);
    EXPECT_EQ(m.id, 0x18EFFF21);
    EXPECT_EQ(m.length, 2);
    EXPECT_EQ(m.data[0], 0xAA);
    EXPECT_EQ(m.data[1], 0x55);
    EXPECT_EQ(m.data[2], 0);
    EXPECT_NEAR(m.time, 0.524296, 1e-12);
    EXPECT_FALSE(recordOverflowFlag(r));
}

TEST(AdapterRecord, NoTimeStampUnlessTheLengthSaysSo)
{
    const auto r = recordOf({9, 2, 0x20, 0x18, 0xEF, 0xFF, 0x21, 0xAA, 0x55, 0x01, 0x00, 0x01});
    EXPECT_EQ(decodeRecord(r).time, 0.0) << "byte 0 = length + 7";
    EXPECT_TRUE(recordOverflowFlag(r));
}

TEST(AdapterRecord, UpperNibbleOfTheLengthByteIsIgnored)
{
    const auto r = recordOf({10, 0xF0, 0, 0, 0, 0, 5, 0, 0, 0});
    const CanMessage m = decodeRecord(r);
    EXPECT_EQ(m.length, 0);
    EXPECT_EQ(m.id, 5);
}

TEST(AdapterRecord, BadRecordsAreFailures)
{
    try {
        decodeRecord(recordOf({8, 1, 0, 0x80, 0, 0, 0, 1}));
        FAIL() << "an identifier above 31 bits must fail";
    } catch (const Failure& f) {
        EXPECT_EQ(f.code(), FailureCode::Overflow);
    }
    try {
        decodeRecord(recordOf({19, 9, 0, 0x18, 0, 0, 0}));
        FAIL() << "nine data bytes do not fit a message";
    } catch (const Failure& f) {
        EXPECT_EQ(f.code(), FailureCode::SubscriptOutOfRange);
    }
    EXPECT_NO_THROW(decodeRecord(recordOf({18, 8, 0, 0x7F, 0xFF, 0xFF, 0xFF})));
}

TEST(AdapterRecord, EncodeAndDecodeAgree)
{
    for (std::uint8_t length = 0; length <= 8; ++length) {
        std::uint8_t data[8];
        for (int i = 0; i < 8; ++i)
            data[i] = static_cast<std::uint8_t>(0x11 * (i + 1));
        const auto r = encodeRecord(0x18EFF921, length, data, 0, 0x010001u);
        const CanMessage m = decodeRecord(r);
        EXPECT_EQ(m.id, 0x18EFF921);
        ASSERT_EQ(m.length, length);
        for (int i = 0; i < length; ++i)
            EXPECT_EQ(m.data[static_cast<std::size_t>(i)], data[i]);
        EXPECT_NEAR(m.time, 0.524296, 1e-12);
        EXPECT_EQ(decodeRecord(encodeRecord(0x123, length, data, 0, std::nullopt)).time, 0.0);
    }
    // The tick count wraps at 24 bits.
    EXPECT_NEAR(decodeRecord(encodeRecord(1, 0, nullptr, 0, 0x1000001u)).time, 0.000008, 1e-12);
}

}  // namespace
