#include "core/Failure.h"
#include "core/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tellvane;

namespace {

struct NumberCase {
    const char* text;
    double value;
};

TEST(LeadingNumber, ReadsTheLeadingNumberLeniently)
{
    const NumberCase cases[] = {
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"  12.5 V", 12.5},
        {"1 000", 1000},
        {"\t7\t", 7},
        {"-3", -3},
        {"+4", 4},
        {"- 4", -4},
        {".5", 0.5},
        {"5.", 5},
        {"1e3", 1000},
        {"1E-2", 0.01},
        {"2D2", 200},
        {"1e", 1},
        {"1e+", 1},
        {"3600,120", 3600},
        {"12abc34", 12},
        {"0012", 12},
        {"&HFF", 255},
        {"&hff", 255},
        {"&HFFFF", 65535},
        {"&HFF0000", 16711680},
        {"&H7FFFFFFF", 2147483647},
        {"&HFFFFFFFF", -1},
        {"&H80000000", -2147483648.0},
        {"&O17", 15},
        {"&o777", 511},
        {"&O8", 0},
        {"&H", 0},
        {"&X12", 0},
        {"&", 0},
        {"1.2.3", 1.2},
        {"--1", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(c.text)), c.value) << '"' << c.text << '"';
}

TEST(LeadingNumber, HugeMagnitudesAreAnOverflowButTinyIsZero)
{
    EXPECT_THROW(leadingNumber(u"1e999"), Failure);
    try {
        leadingNumber(u"1e999");
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), 6);
        EXPECT_EQ(f.description(), QStringLiteral("Overflow"));
    }
    EXPECT_EQ(leadingNumber(u"1e-999"), 0.0);
    EXPECT_THROW(leadingNumber(QStringLiteral("&H") + QString(300, QLatin1Char('F'))), Failure) << "endless hex digits";
    EXPECT_THROW(leadingNumber(QStringLiteral("&O") + QString(400, QLatin1Char('7'))), Failure);
    EXPECT_DOUBLE_EQ(leadingNumber(u"&H100000000"), 4294967296.0);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    const std::pair<double, int> cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {0, 0},
    };
    for (auto [in, out] : cases) {
        EXPECT_EQ(toInt16(in), out) << in;
        EXPECT_EQ(toInt32(in), out) << in;
    }
}

TEST(Rounding, OutOfRangeIsAnOverflow)
{
    EXPECT_EQ(toInt16(32767.0), 32767);
    EXPECT_EQ(toInt16(-32768.0), -32768);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_THROW(toInt16(32767.5), Failure);  // rounds to 32768
    EXPECT_THROW(toInt16(-32768.6), Failure);
    EXPECT_THROW(toInt16(std::nan("")), Failure);
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_THROW(toInt32(2147483648.0), Failure);
    EXPECT_THROW(toInt32(-2147483649.0), Failure);
    EXPECT_EQ(toByte(255.4), 255);
    EXPECT_THROW(toByte(-1), Failure);
    EXPECT_THROW(toByte(255.6), Failure);
    EXPECT_THROW(textToInt16(u"&HFFFF"), Failure) << "65535 does not fit a 16-bit integer";
    EXPECT_EQ(textToInt32(u"&HFFFF"), 65535);
}

TEST(HexToLong, OneToFourDigits)
{
    const std::pair<const char*, int> cases[] = {
        {"1f", 31},  {"1F", 31}, {"FFFF", 65535}, {"0", 0},      {"A", 10},     {"10", 16},    {"100", 256},
        {"1000", 4096}, {"12345", 0}, {"", 0},   {"G1", 1},     {"zz", 0},     {"-1", 1},     {"0a0b", 2571},
    };
    for (auto [text, value] : cases)
        EXPECT_EQ(hexToLong(QString::fromLatin1(text)), value) << text;
}

TEST(LeadingHex, ReadsLeadingHexDigitsAsTwosComplement)
{
    EXPECT_EQ(leadingHex(u"00000123"), 0x123);
    EXPECT_EQ(leadingHex(u"98EF21F9"), static_cast<std::int32_t>(0x98EF21F9u));
    EXPECT_EQ(leadingHex(u"1A*"), 0x1A);
    EXPECT_EQ(leadingHex(u"zz"), 0);
    EXPECT_EQ(leadingHex(u""), 0);
    EXPECT_EQ(leadingHex(u"ff"), 255);
}

}  // namespace
