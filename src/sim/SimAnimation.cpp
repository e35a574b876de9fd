#include "sim/SimAnimation.h"

#include <algorithm>
#include <bit>

namespace tellvane {

namespace {

// The field's value at a step: a ramp from 0 over the whole range, then again.
std::uint32_t sweep(const SimAnimation::Field& field, std::uint32_t step)
{
    const std::uint64_t range = std::uint64_t{1} << field.bits;
    const std::uint64_t stride = std::max<std::uint64_t>(1, range / SimAnimation::kStepsPerSweep);
    // The last step of a sweep reaches the top of the range.
    const std::uint64_t at = step % (SimAnimation::kStepsPerSweep + 1);
    return static_cast<std::uint32_t>(std::min(range - 1, at * stride) & (range - 1));
}

void put(std::array<std::uint8_t, 8>& data, const SimAnimation::Field& field, std::uint32_t value)
{
    int byte = field.startByte;
    int bit = field.startBit;
    for (int i = field.bits - 1; i >= 0 && byte < static_cast<int>(data.size()); --i) {
        const auto mask = static_cast<std::uint8_t>(1u << bit);
        if ((value >> i) & 1u)
            data[static_cast<std::size_t>(byte)] |= mask;
        else
            data[static_cast<std::size_t>(byte)] &= static_cast<std::uint8_t>(~mask);
        if (--bit < 0) {
            bit = 7;
            ++byte;
        }
    }
}

}  // namespace

std::array<std::uint8_t, 8> SimAnimation::dataAt(const Message& message, std::uint32_t step)
{
    std::array<std::uint8_t, 8> data{};
    for (const Field& field : message.fields) {
        if (field.bits >= 1 && field.bits <= 32 && field.startBit <= 7)
            put(data, field, sweep(field, step));
    }
    // The lamps of a byte light one bit at a time, lowest first, and then
    // none: every lamp lights and goes out in turn.
    std::array<std::uint8_t, 8> lampBits{};
    for (const Lamp& lamp : message.lamps) {
        if (lamp.byte < data.size())
            lampBits[lamp.byte] |= lamp.mask;
    }
    for (std::size_t byte = 0; byte < data.size(); ++byte) {
        const std::uint8_t mask = lampBits[byte];
        if (mask == 0)
            continue;
        const auto count = static_cast<std::uint32_t>(std::popcount(mask));
        const std::uint32_t at = step % (count + 1);  // count: none lit
        std::uint8_t lit = 0;
        std::uint32_t seen = 0;
        for (int b = 0; b < 8; ++b) {
            if ((mask & (1u << b)) && seen++ == at)
                lit = static_cast<std::uint8_t>(1u << b);
        }
        data[byte] = static_cast<std::uint8_t>((data[byte] & ~mask) | lit);
    }
    // The key last: no field reaches into it.
    if (message.twoByteKey) {
        data[0] = static_cast<std::uint8_t>(message.key >> 8);
        data[1] = static_cast<std::uint8_t>(message.key);
    } else {
        data[0] = static_cast<std::uint8_t>(message.key);
    }
    return data;
}

}  // namespace tellvane
