#include "can/CanFrameBits.h"

#include <algorithm>

namespace tellvane {

namespace {
constexpr std::uint32_t kBaseIdBits = 0x7FF;
constexpr std::uint32_t kExtensionBits = 0x3FFFF;
constexpr int kMaxDataBytes = 8;
}  // namespace

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
