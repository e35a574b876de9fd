#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tellvane {

// The diagnostic messages of a screen, made to move: a simulated board sends
// each message with its key and, at every send, a new value in each field the
// screen reads from it. Values sweep their field's range in
// kStepsPerSweep + 1 sends, from 0 to the top; the lamp bits of a byte light
// one after another, then none.
struct SimAnimation {
    static constexpr std::uint32_t kStepsPerSweep = 64;

    // Bits of the frame's data, the top one bit startBit of byte startByte,
    // running down to bit 0 and on from bit 7 of the next byte.
    struct Field {
        std::uint8_t startByte = 1;
        std::uint8_t startBit = 7;
        std::uint8_t bits = 8;  // 1 to 32
    };
    struct Lamp {
        std::uint8_t byte = 1;
        std::uint8_t mask = 0;
    };
    struct Message {
        bool twoByteKey = false;  // keys of 256 and more fill bytes 0 and 1
        std::uint16_t key = 0;
        std::vector<Field> fields;
        std::vector<Lamp> lamps;
    };
    std::vector<Message> messages;

    bool empty() const { return messages.empty(); }
    // The message's eight data bytes at a send (0, 1, 2, ...).
    static std::array<std::uint8_t, 8> dataAt(const Message& message, std::uint32_t step);
};

}  // namespace tellvane
