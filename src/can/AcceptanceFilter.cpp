#include "can/AcceptanceFilter.h"

#include <algorithm>

namespace tellvane {

void AcceptanceFilter::reset()
{
    std::fill(std::begin(m_masks), std::end(m_masks), kOpen);
    std::fill(std::begin(m_filters), std::end(m_filters), kOpen);
}

bool AcceptanceFilter::setMask(std::uint8_t selector, std::uint32_t mask)
{
    if (selector == Adapter::kMaskSelector0)
        m_masks[0] = mask;
    else if (selector == Adapter::kMaskSelector1)
        m_masks[1] = mask;
    else
        return false;
    return true;
}

bool AcceptanceFilter::setFilter(std::uint8_t filter, std::uint32_t value)
{
    if (filter >= kFilterCount)
        return false;
    m_filters[filter] = value;
    return true;
}

std::optional<int> AcceptanceFilter::acceptingBuffer(std::uint32_t id) const
{
    const std::uint32_t bare = id & kIdBits;
    auto matches = [bare](std::uint32_t mask, std::uint32_t filter) {
        const std::uint32_t m = mask & kIdBits;
        return (bare & m) == (filter & kIdBits & m);
    };
    if (matches(m_masks[0], m_filters[0]) || matches(m_masks[0], m_filters[1]))
        return 0;
    for (int f = 2; f < kFilterCount; ++f) {
        if (matches(m_masks[1], m_filters[f]))
            return 1;
    }
    return std::nullopt;
}

}  // namespace tellvane
