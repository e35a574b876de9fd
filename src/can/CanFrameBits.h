#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tellvane {

// A CAN 2.0B data frame as it goes on the wire, for the time a frame takes and
// the load of a bus. Bits are 0 dominant, 1 recessive. The stuffed part of the
// frame runs from the start-of-frame bit to the end of the CRC sequence:
//   standard  SOF, 11-bit identifier, RTR, IDE, r0, DLC, data, CRC-15
//   extended  SOF, 11-bit base identifier, SRR, IDE, 18-bit extension, RTR,
//             r1, r0, DLC, data, CRC-15
// and after five equal bits there a complementary stuff bit follows, which
// starts the next run. Then come the CRC delimiter, the ACK slot and delimiter,
// seven bits end of frame and three bits of intermission, never stuffed.
class CanFrameBits {
public:
    // SOF to the end of the CRC of an extended frame with eight data bytes.
    static constexpr int kMaxSequenceBits = 118;
    static constexpr int kCrcBits = 15;
    // CRC delimiter, ACK slot, ACK delimiter, end of frame, intermission.
    static constexpr int kTrailerBits = 13;
    static constexpr std::uint16_t kCrcPolynomial = 0x4599;

    // A data frame: the identifier (11 or 29 bits), the data length code (its
    // low four bits; more than eight bytes are never sent) and the data (zeros
    // when null).
    CanFrameBits(std::uint32_t id, bool extended, std::uint8_t length, const std::uint8_t* data);

    // SOF to the end of the CRC sequence, before stuffing.
    std::span<const std::uint8_t> sequence() const { return {m_bits.data(), static_cast<std::size_t>(m_count)}; }
    std::uint16_t crc() const { return m_crc; }
    int stuffBits() const { return m_stuff; }
    // The whole frame on the wire, stuff bits and intermission included.
    int total() const { return m_count + m_stuff + kTrailerBits; }

    // The CRC-15 of a bit sequence (SOF to the end of the data field).
    static std::uint16_t crc15(std::span<const std::uint8_t> bits);
    // The stuff bits a sequence gets on the wire.
    static int stuffBitCount(std::span<const std::uint8_t> bits);
    // The whole length of a frame in bits, as total() gives it, but a byte at
    // a time through tables rather than bit by bit: the bus trace measures
    // every frame it records.
    static int frameBits(std::uint32_t id, bool extended, std::uint8_t length, const std::uint8_t* data);
    // The arbitration field and IDE bit as sent, as a number: of two frames the
    // lower one wins the bus. A standard frame beats an extended one with the
    // same base identifier (its RTR bit is dominant where the other's SRR is not).
    static std::uint32_t arbitrationKey(std::uint32_t id, bool extended);

private:
    void append(std::uint32_t value, int bits);

    std::array<std::uint8_t, kMaxSequenceBits> m_bits{};
    int m_count = 0;
    std::uint16_t m_crc = 0;
    int m_stuff = 0;
};

}  // namespace tellvane
