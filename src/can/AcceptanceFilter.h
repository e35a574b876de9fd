#pragma once

#include "can/Adapter.h"

#include <cstdint>
#include <optional>

namespace tellvane {

// Bits of the CAN controller's error-flag register (register 45).
namespace errorflag {
inline constexpr std::uint8_t kRxWarning = 0x02;
inline constexpr std::uint8_t kTxWarning = 0x04;
inline constexpr std::uint8_t kRxPassive = 0x08;
inline constexpr std::uint8_t kTxPassive = 0x10;
inline constexpr std::uint8_t kBusOff = 0x20;
inline constexpr std::uint8_t kBuffer0 = 0x40;  // receive buffer 0 overflowed
inline constexpr std::uint8_t kBuffer1 = 0x80;  // receive buffer 1 overflowed
}  // namespace errorflag

// The adapter's receive masks and acceptance filters: mask 13 with filters 0
// and 1 feed receive buffer 0, mask 28 with filters 2 to 5 feed buffer 1. A
// frame is accepted when, on the bits its mask sets, its identifier equals one
// of the buffer's filters. Bit 31 of a mask or filter (the extended-frame mark)
// and bits 29 and 30 are ignored, so 0x80000000 accepts everything.
class AcceptanceFilter {
public:
    static constexpr std::uint32_t kIdBits = 0x1FFFFFFFu;
    static constexpr std::uint32_t kOpen = 0x80000000u;
    static constexpr int kFilterCount = 6;

    // Everything accepted, as after an adapter reset.
    void reset();
    // False for a selector other than 13 and 28.
    bool setMask(std::uint8_t selector, std::uint32_t mask);
    // False for a filter number above 5.
    bool setFilter(std::uint8_t filter, std::uint32_t value);

    // The receive buffer (0 or 1) that accepts an identifier; none when filtered out.
    std::optional<int> acceptingBuffer(std::uint32_t id) const;

    std::uint32_t mask(int buffer) const { return m_masks[buffer] & kIdBits; }
    std::uint32_t filter(int number) const { return m_filters[number] & kIdBits; }

    // The error-flag bit of a buffer's overflow.
    static std::uint8_t overflowFlag(int buffer) { return buffer == 0 ? errorflag::kBuffer0 : errorflag::kBuffer1; }

    friend bool operator==(const AcceptanceFilter&, const AcceptanceFilter&) = default;

private:
    std::uint32_t m_masks[2] = {kOpen, kOpen};
    std::uint32_t m_filters[kFilterCount] = {kOpen, kOpen, kOpen, kOpen, kOpen, kOpen};
};

}  // namespace tellvane
