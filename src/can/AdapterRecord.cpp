#include "can/AdapterRecord.h"

#include "core/Failure.h"

namespace tellvane {

double timeStampSeconds(std::uint8_t t0, std::uint8_t t1, std::uint8_t t2)
{
    return t0 * 0.524288 + t1 * 0.002048 + t2 * 0.000008;
}

std::optional<std::int64_t> recordTimeStampUs(const Adapter::Record& r)
{
    const std::uint8_t length = r[1] & 0x0F;
    if (length > 8 || r[0] != length + 10)
        return std::nullopt;
    const std::uint32_t ticks = (std::uint32_t(r[7 + length]) << 16) | (std::uint32_t(r[8 + length]) << 8) | r[9 + length];
    return std::int64_t{8} * ticks;
}

CanMessage decodeRecord(const Adapter::Record& r)
{
    CanMessage m;
    const std::uint8_t length = r[1] & 0x0F;
    if (r[3] >= 0x80)
        throw Failure(FailureCode::Overflow);
    m.id = static_cast<std::int32_t>((std::uint32_t(r[3]) << 24) | (std::uint32_t(r[4]) << 16)
                                     | (std::uint32_t(r[5]) << 8) | r[6]);
    if (length > 8)
        throw Failure(FailureCode::SubscriptOutOfRange);
    m.length = length;
    m.standard = (r[1] & record::kStandardFrame) != 0;
    if (r[0] == length + 10)
        m.time = timeStampSeconds(r[7 + length], r[8 + length], r[9 + length]);
    for (int i = 0; i < length; ++i)
        m.data[static_cast<std::size_t>(i)] = r[static_cast<std::size_t>(7 + i)];
    return m;
}

Adapter::Record encodeRecord(std::uint32_t id, std::uint8_t length, const std::uint8_t* data,
                             std::uint8_t status, std::optional<std::uint32_t> ticks, bool standard)
{
    Adapter::Record r{};
    if (length > 8)
        length = 8;
    r[1] = static_cast<std::uint8_t>(length | (standard ? record::kStandardFrame : 0));
    r[2] = status;
    r[3] = static_cast<std::uint8_t>(id >> 24);
    r[4] = static_cast<std::uint8_t>(id >> 16);
    r[5] = static_cast<std::uint8_t>(id >> 8);
    r[6] = static_cast<std::uint8_t>(id);
    for (int i = 0; i < length; ++i)
        r[static_cast<std::size_t>(7 + i)] = data[i];
    if (ticks) {
        const std::uint32_t t = *ticks & record::kTimeStampMask;
        r[0] = static_cast<std::uint8_t>(length + 10);
        r[static_cast<std::size_t>(7 + length)] = static_cast<std::uint8_t>(t >> 16);
        r[static_cast<std::size_t>(8 + length)] = static_cast<std::uint8_t>(t >> 8);
        r[static_cast<std::size_t>(9 + length)] = static_cast<std::uint8_t>(t);
    } else {
        r[0] = static_cast<std::uint8_t>(length + 7);
    }
    return r;
}

}  // namespace tellvane
