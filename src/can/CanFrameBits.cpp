#include "can/CanFrameBits.h"

#include <algorithm>
#include <array>

namespace tellvane {

namespace {
constexpr std::uint32_t kBaseIdBits = 0x7FF;
constexpr std::uint32_t kExtensionBits = 0x3FFFF;
constexpr int kMaxDataBytes = 8;

// The CRC register after eight more bits, for each value of its top eight
// bits XOR the byte: the bit-by-bit register of crc15() run eight times.
constexpr std::array<std::uint16_t, 256> makeCrcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 7;
        for (int b = 0; b < 8; ++b)
            crc = ((crc << 1) ^ ((crc & 0x4000u) ? CanFrameBits::kCrcPolynomial : 0u)) & 0x7FFFu;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr auto kCrcTable = makeCrcTable();

// Stuffing as a machine over whole bytes. A state is the last bit and how
// many equal bits end there (1 to 4), or the start (no bit yet, state 0):
// state = 1 + last * 4 + (run - 1).
struct StuffStep {
    std::uint8_t state;
    std::uint8_t stuff;
};

constexpr StuffStep stuffBit(std::uint8_t state, unsigned bit)
{
    const unsigned last = state == 0 ? 2u : (state - 1u) / 4u;
    unsigned run = state == 0 ? 0u : (state - 1u) % 4u + 1u;
    run = bit == last ? run + 1 : 1;
    if (run == 5)  // the complementary stuff bit starts the next run
        return {static_cast<std::uint8_t>(1 + (bit ^ 1u) * 4), 1};
    return {static_cast<std::uint8_t>(1 + bit * 4 + (run - 1)), 0};
}

constexpr std::array<std::array<StuffStep, 256>, 9> makeStuffTable()
{
    std::array<std::array<StuffStep, 256>, 9> table{};
    for (std::uint8_t state = 0; state < 9; ++state) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            StuffStep step{state, 0};
            int stuff = 0;
            for (int b = 7; b >= 0; --b) {
                step = stuffBit(step.state, (byte >> b) & 1u);
                stuff += step.stuff;
            }
            table[state][byte] = {step.state, static_cast<std::uint8_t>(stuff)};
        }
    }
    return table;
}
constexpr auto kStuffTable = makeStuffTable();
}  // namespace

int CanFrameBits::frameBits(std::uint32_t id, bool extended, std::uint8_t length, const std::uint8_t* data)
{
    const std::uint8_t dlc = length & 0x0F;
    const int bytes = std::min<int>(dlc, kMaxDataBytes);
    // SOF to DLC with zeros in front to whole bytes (zeros leave a CRC
    // register of zero as it is): 1 + 39 bits extended, 5 + 19 standard.
    std::uint64_t head = 0;
    int headBytes = 0;
    int pad = 0;
    if (extended) {
        head = std::uint64_t{(id >> 18) & kBaseIdBits} << 27 | std::uint64_t{3} << 25
            | std::uint64_t{id & kExtensionBits} << 7 | dlc;  // SRR, IDE recessive; RTR, r1, r0 dominant
        headBytes = 5;
        pad = 1;
    } else {
        head = std::uint64_t{id & kBaseIdBits} << 7 | dlc;  // RTR, IDE, r0 dominant
        headBytes = 3;
        pad = 5;
    }
    std::array<std::uint8_t, 5 + kMaxDataBytes> stream{};
    int n = 0;
    for (int i = headBytes - 1; i >= 0; --i)
        stream[static_cast<std::size_t>(n++)] = static_cast<std::uint8_t>(head >> (8 * i));
    for (int i = 0; i < bytes; ++i)
        stream[static_cast<std::size_t>(n++)] = data ? data[i] : 0;

    unsigned crc = 0;
    for (int i = 0; i < n; ++i)
        crc = ((crc << 8) ^ kCrcTable[((crc >> 7) ^ stream[static_cast<std::size_t>(i)]) & 0xFFu]) & 0x7FFFu;

    // The first byte without its padding bit by bit, the rest and the CRC's
    // top eight bits by the table, its last seven bits by bit.
    StuffStep step{0, 0};
    int stuff = 0;
    for (int b = 7 - pad; b >= 0; --b) {
        step = stuffBit(step.state, (stream[0] >> b) & 1u);
        stuff += step.stuff;
    }
    auto byteStep = [&](unsigned byte) {
        step = kStuffTable[step.state][byte];
        stuff += step.stuff;
    };
    for (int i = 1; i < n; ++i)
        byteStep(stream[static_cast<std::size_t>(i)]);
    byteStep(crc >> 7);
    for (int b = 6; b >= 0; --b) {
        step = stuffBit(step.state, (crc >> b) & 1u);
        stuff += step.stuff;
    }
    const int sequenceBits = headBytes * 8 - pad + bytes * 8 + kCrcBits;
    return sequenceBits + stuff + kTrailerBits;
}

void CanFrameBits::append(std::uint32_t value, int bits)
{
    for (int i = bits - 1; i >= 0; --i)
        m_bits[static_cast<std::size_t>(m_count++)] = static_cast<std::uint8_t>((value >> i) & 1u);
}

CanFrameBits::CanFrameBits(std::uint32_t id, bool extended, std::uint8_t length, const std::uint8_t* data)
{
    const std::uint8_t dlc = length & 0x0F;
    const int bytes = std::min<int>(dlc, kMaxDataBytes);
    append(0, 1);  // SOF
    if (extended) {
        append((id >> 18) & kBaseIdBits, 11);
        append(1, 1);  // SRR
        append(1, 1);  // IDE
        append(id & kExtensionBits, 18);
        append(0, 1);  // RTR: a data frame
        append(0, 2);  // r1, r0
    } else {
        append(id & kBaseIdBits, 11);
        append(0, 1);  // RTR
        append(0, 2);  // IDE, r0
    }
    append(dlc, 4);
    for (int i = 0; i < bytes; ++i)
        append(data ? data[i] : 0u, 8);
    m_crc = crc15(sequence());
    append(m_crc, kCrcBits);
    m_stuff = stuffBitCount(sequence());
}

std::uint16_t CanFrameBits::crc15(std::span<const std::uint8_t> bits)
{
    // The shift register of the CAN controller, one bit at a time.
    std::uint16_t crc = 0;
    for (const std::uint8_t bit : bits) {
        const bool feedback = ((bit & 1u) != 0) != ((crc & 0x4000u) != 0);
        crc = static_cast<std::uint16_t>((crc << 1) & 0x7FFFu);
        if (feedback)
            crc ^= kCrcPolynomial;
    }
    return crc;
}

int CanFrameBits::stuffBitCount(std::span<const std::uint8_t> bits)
{
    int stuff = 0;
    int run = 0;
    std::uint8_t last = 2;  // no bit yet
    for (const std::uint8_t raw : bits) {
        const std::uint8_t bit = raw & 1u;
        run = bit == last ? run + 1 : 1;
        last = bit;
        if (run == 5) {
            // The complementary stuff bit is the first of the next run.
            ++stuff;
            last = static_cast<std::uint8_t>(bit ^ 1u);
            run = 1;
        }
    }
    return stuff;
}

std::uint32_t CanFrameBits::arbitrationKey(std::uint32_t id, bool extended)
{
    // Bits from the base identifier to RTR, then IDE: 11 + 1 + 1 + 18 + 1.
    if (extended)
        return ((id >> 18) & kBaseIdBits) << 21 | 1u << 20 | 1u << 19 | (id & kExtensionBits) << 1;
    return (id & kBaseIdBits) << 21;  // RTR and IDE dominant
}

}  // namespace tellvane
