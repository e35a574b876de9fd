#include "trace/BusLoad.h"

#include "can/CanFrameBits.h"

#include <algorithm>

namespace tellvane {

namespace {
std::int64_t sliceOf(std::int64_t timeUs)
{
    const std::int64_t q = timeUs / BusLoad::kSliceUs;
    return (timeUs % BusLoad::kSliceUs < 0) ? q - 1 : q;
}

std::size_t slot(std::int64_t slice)
{
    const std::int64_t m = slice % BusLoad::kSlices;
    return static_cast<std::size_t>(m < 0 ? m + BusLoad::kSlices : m);
}
}  // namespace

void BusLoad::add(const TraceFrame& frame)
{
    if (frame.flags & TraceFrame::Error) {
        noteError();
        return;
    }
    // A remote frame carries no data field, whatever its length code says.
    const std::uint8_t length = (frame.flags & TraceFrame::Remote) ? 0 : frame.length;
    addBits(frame.timeUs, CanFrameBits::frameBits(frame.id, frame.extended(), length, frame.data.data()));
}

void BusLoad::addBits(std::int64_t timeUs, int bits)
{
    advanceTo(timeUs);
    const std::int64_t slice = sliceOf(timeUs);
    if (slice <= m_slice - kSlices)
        return;  // older than the second kept
    Slice& s = m_slices[slot(std::min(slice, m_slice))];
    ++s.frames;
    s.bits += bits;
    ++m_frames;
    m_bits += bits;
}

void BusLoad::advanceTo(std::int64_t nowUs)
{
    const std::int64_t slice = sliceOf(nowUs);
    if (!m_started) {
        m_started = true;
        m_slice = slice;
        return;
    }
    if (slice <= m_slice)
        return;
    const std::int64_t steps = slice - m_slice < kSlices ? slice - m_slice : kSlices;
    for (std::int64_t i = 1; i <= steps; ++i) {
        Slice& s = m_slices[slot(m_slice + i)];
        m_frames -= s.frames;
        m_bits -= s.bits;
        s = Slice();
    }
    m_slice = slice;
}

}  // namespace tellvane
