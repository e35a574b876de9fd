#pragma once

#include "diagnostics/DisplayFormat.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace tellvane {

using DiagnosticBuffer = std::array<std::uint8_t, 9>;

// The records the indicator commands leave in a board window, read for every
// diagnostic frame. A record stays invalid until its control exists, so that
// a command that failed half-way never updates another control.
struct BitControlRecord {
    std::int16_t cntrlIndex = 0;
    std::int32_t messageId = 0;
    std::uint8_t byteNum = 0;
    std::uint8_t bitMask = 0;
    std::int32_t offColor = 0;
    std::int32_t onColor = 0;
    bool valid = false;
};

enum class SizeCode : std::int16_t { B = 0, W = 1, L = 2, SB = 3, SW = 4, SL = 5 };

struct BWLTextRecord {
    std::int16_t cntrlIndex = 0;
    std::int32_t messageId = 0;
    SizeCode sizeCode = SizeCode::B;
    std::uint8_t byteNum = 0;
    float m = 0.0f;
    float b = 0.0f;
    bool hexDisplay = false;
    QString formatPattern;
    display::DisplayPattern pattern;  // formatPattern, read once
    bool valid = false;
};

struct BFTextRecord {
    std::int16_t cntrlIndex = 0;
    std::int32_t messageId = 0;
    bool isSigned = false;
    std::uint8_t startByte = 0;
    std::uint8_t startBit = 0;
    std::uint8_t numBits = 0;
    float m = 0.0f;
    float b = 0.0f;
    bool hexDisplay = false;
    QString formatPattern;
    display::DisplayPattern pattern;
    bool valid = false;
};

namespace decode {

// A record listens to a frame when its MessageID equals the one-byte key
// (MessageID 0-255) or the big-endian two-byte key (256 and more).
inline bool listens(std::int32_t messageId, const DiagnosticBuffer& frame)
{
    if (messageId <= 255)
        return messageId == frame[0];
    return messageId == frame[0] * 256 + frame[1];
}

// The raw value of a byte/word/long box, most significant byte first.
double bwlRaw(SizeCode size, std::uint8_t byteNum, const DiagnosticBuffer& frame);

// The raw value of a bit field: its top bit is bit startBit of byte startByte,
// it runs down to bit 0 and on from bit 7 of the next byte. Throws
// Failure(SubscriptOutOfRange) when it runs past the buffer.
double bitFieldRaw(std::uint8_t startByte, std::uint8_t startBit, std::uint8_t numBits, bool isSigned,
                   const DiagnosticBuffer& frame);

// raw x M + B in double precision, M and B widened from their 32-bit floats.
inline double scaled(double raw, float m, float b)
{
    return raw * static_cast<double>(m) + static_cast<double>(b);
}

// The number a hexadecimal box shows for a scaled value (display::hexNumber):
// 0 for a value above 0x7FFFFFFF, which sets hexTooLarge; none below
// -2147483648, where the box shows nothing new.
std::optional<std::uint32_t> hexShown(double value, bool& hexTooLarge);

// Scaled and shown: raw x M + B, in hexadecimal (hexShown) or through the
// pattern. Throws Failure(Overflow) where a hexadecimal box shows nothing.
QString valueText(double raw, float m, float b, bool hexDisplay, const display::DisplayPattern& pattern,
                  bool& hexTooLarge);

}  // namespace decode

}  // namespace tellvane
