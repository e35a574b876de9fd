#include "can/BoardMessages.h"

namespace tellvane::board {

int announcedType(const CanMessage& m)
{
    return (m.data[2] & 0x03) * 1024 + m.data[3] * 4 + (m.data[4] & 0xC0) / 64;
}

std::int32_t announcedSerial(const CanMessage& m)
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(m.data[4] & 0x3F) << 24)
                                     | (static_cast<std::uint32_t>(m.data[5]) << 16)
                                     | (static_cast<std::uint32_t>(m.data[6]) << 8) | m.data[7]);
}

std::uint32_t pCodeValue(const CanMessage& m)
{
    return (static_cast<std::uint32_t>(m.data[1]) << 24) | (static_cast<std::uint32_t>(m.data[2]) << 16)
        | (static_cast<std::uint32_t>(m.data[3]) << 8) | m.data[4];
}

QString pCodeText(std::uint32_t value)
{
    return QString::number(value).rightJustified(8, QLatin1Char('0'));
}

}  // namespace tellvane::board
