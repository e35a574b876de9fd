#include "diagnostics/Indicators.h"

#include "core/Failure.h"

namespace tellvane::decode {

double bwlRaw(SizeCode size, std::uint8_t byteNum, const DiagnosticBuffer& frame)
{
    const std::size_t n = byteNum;
    const std::size_t width = size == SizeCode::B || size == SizeCode::SB ? 1 : (size == SizeCode::W || size == SizeCode::SW ? 2 : 4);
    if (n + width > frame.size())
        throw Failure(FailureCode::SubscriptOutOfRange);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = (value << 8) | frame[n + i];
    switch (size) {
    case SizeCode::B:
    case SizeCode::W:
    case SizeCode::L:
        return static_cast<double>(value);
    case SizeCode::SB:
        return value < 128 ? value : static_cast<double>(value) - 256.0;
    case SizeCode::SW:
        return value > 32767 ? static_cast<double>(value) - 65536.0 : value;
    case SizeCode::SL:
        return value > 2147483647u ? static_cast<double>(value) - 4294967296.0 : value;
    }
    return 0.0;
}

double bitFieldRaw(std::uint8_t startByte, std::uint8_t startBit, std::uint8_t numBits, bool isSigned,
                   const DiagnosticBuffer& frame)
{
    std::size_t p = startByte;
    unsigned mask = 1u << (startBit & 7);
    std::uint64_t accumulator = 0;
    for (int remaining = numBits; remaining > 0; --remaining) {
        if (p >= frame.size())
            throw Failure(FailureCode::SubscriptOutOfRange);
        if (frame[p] & mask)
            accumulator |= std::uint64_t{1} << (remaining - 1);
        if (mask == 1) {
            mask = 128;
            ++p;
        } else {
            mask >>= 1;
        }
    }
    if (isSigned && numBits > 0 && (accumulator >> (numBits - 1)) & 1u)
        return static_cast<double>(accumulator) - static_cast<double>(std::uint64_t{1} << numBits);
    return static_cast<double>(accumulator);
}

std::optional<std::uint32_t> hexShown(double value, bool& hexTooLarge)
{
    hexTooLarge = value > 2147483647.0;
    return display::hexNumber(hexTooLarge ? 0.0 : value);
}

QString valueText(double raw, float m, float b, bool hexDisplay, const display::DisplayPattern& pattern,
                  bool& hexTooLarge)
{
    const double value = scaled(raw, m, b);
    hexTooLarge = false;
    if (hexDisplay) {
        const std::optional<std::uint32_t> shown = hexShown(value, hexTooLarge);
        if (!shown)
            throw Failure(FailureCode::Overflow);
        return QString::number(*shown, 16).toUpper();
    }
    return pattern.format(value);
}

}  // namespace tellvane::decode
