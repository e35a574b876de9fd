#include "can/CanFrameBits.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace tellvane;

namespace {

// A reference written apart from the code: frames as strings of '0' and '1',
// the CRC by long division of the message times x^15 by the generator
// x^15 + x^14 + x^10 + x^8 + x^7 + x^4 + x^3 + 1, stuffing by writing the
// stuffed string out.
std::string binary(std::uint32_t value, int bits)
{
    std::string s;
    for (int i = bits - 1; i >= 0; --i)
        s += (value >> i & 1u) ? '1' : '0';
    return s;
}

std::string referenceHead(std::uint32_t id, bool extended, const std::vector<std::uint8_t>& data)
{
    std::string s = "0";
    if (extended)
        s += binary(id >> 18, 11) + "11" + binary(id & 0x3FFFF, 18) + "0" + "00";
    else
        s += binary(id, 11) + "0" + "00";
    s += binary(static_cast<std::uint32_t>(data.size()), 4);
    for (std::uint8_t b : data)
        s += binary(b, 8);
    return s;
}

std::uint16_t referenceCrc(const std::string& message)
{
    const std::string generator = "1100010110011001";
    std::string r = message + std::string(15, '0');
    for (std::size_t i = 0; i + generator.size() <= r.size(); ++i) {
        if (r[i] != '1')
            continue;
        for (std::size_t j = 0; j < generator.size(); ++j)
            r[i + j] = r[i + j] == generator[j] ? '0' : '1';
    }
    return static_cast<std::uint16_t>(std::stoul(r.substr(r.size() - 15), nullptr, 2));
}

std::string stuffed(const std::string& bits)
{
    std::string out;
    for (char c : bits) {
        out += c;
        const std::size_t n = out.size();
        if (n >= 5 && out.compare(n - 5, 5, std::string(5, c)) == 0)
            out += c == '0' ? '1' : '0';
    }
    return out;
}

int referenceLength(std::uint32_t id, bool extended, const std::vector<std::uint8_t>& data)
{
    const std::string head = referenceHead(id, extended, data);
    return static_cast<int>(stuffed(head + binary(referenceCrc(head), 15)).size()) + 13;
}

std::vector<std::uint8_t> bitsOf(const std::string& s)
{
    std::vector<std::uint8_t> bits;
    for (char c : s)
        bits.push_back(c == '1' ? 1 : 0);
    return bits;
}

// The bits of a frame before stuffing: SOF, arbitration, control, CRC and the
// 13 unstuffed bits after it; g is the stuffed part without the data.
int unstuffedBits(bool extended, int bytes)
{
    return (extended ? 67 : 47) + 8 * bytes;
}
int mostStuffBits(bool extended, int bytes)
{
    const int g = extended ? 54 : 34;
    return (g + 8 * bytes - 1) / 4;
}

TEST(CanFrameBits, StuffBitAfterFiveEqualBitsStartsTheNextRun)
{
    struct Case {
        const char* bits;
        int stuff;
    };
    const Case cases[] = {
        {"", 0},
        {"0000", 0},
        {"00000", 1},  // stuffed even as the last bits of the CRC
        {"11111", 1},
        {"000000000", 1},  // 00000 1 0000: the stuff bit ends the run
        {"0000000000", 2},  // 00000 1 00000 1
        {"000001111", 2},  // 00000 1 1111 0: the stuff bit and four ones make five
        {"0000011110", 2},
        {"000011111", 1},  // four, then five
        {"1111100000", 2},  // 11111 0 0000 1 0
        {"0101010101010101", 0},
        {"0011001100110011", 0},
        {"000010000100001", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CanFrameBits::stuffBitCount(bitsOf(c.bits)), c.stuff) << c.bits;
        EXPECT_EQ(static_cast<int>(stuffed(c.bits).size() - std::string(c.bits).size()), c.stuff)
            << "the reference agrees: " << c.bits;
    }
}

TEST(CanFrameBits, WorstCaseSequenceGivesTheBound)
{
    // Five equal bits, then runs of four: every stuff bit completes the next run.
    for (bool extended : {false, true}) {
        for (int bytes = 0; bytes <= 8; ++bytes) {
            const int length = (extended ? 54 : 34) + 8 * bytes;
            std::string s(5, '0');
            char c = '1';
            while (static_cast<int>(s.size()) < length) {
                s += std::string(4, c);
                c = c == '0' ? '1' : '0';
            }
            s.resize(static_cast<std::size_t>(length));
            EXPECT_EQ(CanFrameBits::stuffBitCount(bitsOf(s)), mostStuffBits(extended, bytes)) << s;
        }
    }
    EXPECT_EQ(unstuffedBits(true, 8) + mostStuffBits(true, 8), 160);
    EXPECT_EQ(unstuffedBits(false, 8) + mostStuffBits(false, 8), 135);
}

TEST(CanFrameBits, CrcMatchesLongDivision)
{
    // Worked out with python3 by long division (message * x^15 mod 0xC599)
    // over the bits SOF to the end of the data.
    struct Case {
        std::uint32_t id;
        bool extended;
        std::vector<std::uint8_t> data;
        std::uint16_t crc;
    };
    const Case cases[] = {
        {0x123, false, {0x11, 0x22}, 0x04B7},
        {0x18EFF921, true, {0xFE}, 0x35E6},
        {0, true, {}, 0x4610},
        {0x7FF, false, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x4C89},
    };
    for (const Case& c : cases) {
        const CanFrameBits frame(c.id, c.extended, static_cast<std::uint8_t>(c.data.size()), c.data.data());
        EXPECT_EQ(frame.crc(), c.crc) << std::hex << c.id;
        EXPECT_EQ(referenceCrc(referenceHead(c.id, c.extended, c.data)), c.crc);
    }
}

// Random frames against the reference: the CRC, the bits before stuffing,
// and the stuffed length within its bounds.
TEST(CanFrameBits, RandomFramesMatchTheReference)
{
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const bool extended = (i & 1) != 0;
        const std::uint32_t id = random() & (extended ? 0x1FFFFFFFu : 0x7FFu);
        // Bytes from a few values with long runs, to reach the heavier stuffing.
        static const std::uint8_t kBytes[] = {0x00, 0xFF, 0x0F, 0xF0, 0x3C, 0xC3, 0x55, 0xAA};
        std::vector<std::uint8_t> data(random() % 9);
        for (auto& b : data)
            b = (i & 2) ? kBytes[random() % 8] : static_cast<std::uint8_t>(random());
        const CanFrameBits frame(id, extended, static_cast<std::uint8_t>(data.size()), data.data());
        const std::string head = referenceHead(id, extended, data);
        ASSERT_EQ(frame.crc(), referenceCrc(head)) << head;
        // The sequence is the head and its CRC, so dividing it leaves nothing.
        std::string all;
        for (std::uint8_t bit : frame.sequence())
            all += bit ? '1' : '0';
        ASSERT_EQ(all, head + binary(frame.crc(), 15));
        ASSERT_EQ(CanFrameBits::crc15(frame.sequence()), 0);
        const int n = static_cast<int>(data.size());
        ASSERT_EQ(frame.total() - frame.stuffBits(), unstuffedBits(extended, n));
        ASSERT_GE(frame.stuffBits(), 0);
        ASSERT_LE(frame.stuffBits(), mostStuffBits(extended, n));
        ASSERT_EQ(frame.total(), referenceLength(id, extended, data)) << std::hex << id;
        // The byte-wise length, with length codes above 8 too (eight bytes sent).
        const auto code = static_cast<std::uint8_t>(n == 8 ? 8 + random() % 8 : n);
        ASSERT_EQ(CanFrameBits::frameBits(id, extended, code, data.data()),
                  CanFrameBits(id, extended, code, data.data()).total())
            << std::hex << id << " code " << int{code};
    }
    EXPECT_EQ(CanFrameBits::frameBits(0, true, 0, nullptr), referenceLength(0, true, {})) << "the link's probe: no data at all";
}

TEST(CanFrameBits, FramesOfLeastAndMostStuffing)
{
    struct Case {
        const char* what;
        std::uint32_t id;
        bool extended;
        std::vector<std::uint8_t> data;
        int stuff;
        int bits;
    };
    // Found with python3: the first two by trying bytes of alternating bits until
    // the CRC had no run of five either, the last two by trying every value of
    // the last two bytes behind runs of four.
    const Case cases[] = {
        {"standard, no stuffing", 0x155, false, {0x96, 0x5A, 0x33, 0x55, 0xAA, 0xAA, 0x96, 0x55}, 0, 111},
        {"extended, no stuffing", 0x0AAAAAAA, true, {0x96, 0x55, 0x96, 0xAA, 0xAA, 0x5A, 0x5A, 0x5A}, 0, 131},
        {"standard, runs of four", 0x078, false, {0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x20, 0x7F}, 21, 132},
        {"extended, runs of four", 0, true, {0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3D}, 24, 155},
        {"standard, all dominant", 0, false, {0, 0, 0, 0, 0, 0, 0, 0}, 16, 127},
        {"extended, all dominant", 0, true, {0, 0, 0, 0, 0, 0, 0, 0}, 19, 150},
    };
    for (const Case& c : cases) {
        const CanFrameBits frame(c.id, c.extended, 8, c.data.data());
        EXPECT_EQ(frame.stuffBits(), c.stuff) << c.what;
        EXPECT_EQ(frame.total(), c.bits) << c.what;
        EXPECT_EQ(frame.total(), referenceLength(c.id, c.extended, c.data)) << c.what;
    }
}

TEST(CanFrameBits, ArbitrationComparesTheBitsAsSent)
{
    using K = CanFrameBits;
    EXPECT_LT(K::arbitrationKey(0x100, false), K::arbitrationKey(0x101, false));
    // The same base identifier: the standard frame's RTR is dominant, the SRR recessive.
    EXPECT_LT(K::arbitrationKey(0x123, false), K::arbitrationKey(0x123u << 18, true));
    EXPECT_LT(K::arbitrationKey(0x123, false), K::arbitrationKey(0x123u << 18 | 0x3FFFF, true));
    // A lower base identifier wins whatever the format.
    EXPECT_LT(K::arbitrationKey(0x122u << 18 | 0x3FFFF, true), K::arbitrationKey(0x123, false));
    EXPECT_LT(K::arbitrationKey(0x122, false), K::arbitrationKey(0x123u << 18, true));
    // Extended frames among themselves go by their 29-bit identifiers.
    std::mt19937 random(3);
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t a = random() & 0x1FFFFFFF;
        const std::uint32_t b = random() & 0x1FFFFFFF;
        ASSERT_EQ(K::arbitrationKey(a, true) < K::arbitrationKey(b, true), a < b) << std::hex << a << " " << b;
    }
}

}  // namespace
