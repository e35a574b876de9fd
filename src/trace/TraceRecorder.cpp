#include "trace/TraceRecorder.h"

#include "trace/BusLoad.h"
#include "trace/IdentifierStats.h"
#include "trace/TraceRing.h"
#include "trace/TraceView.h"

#include <algorithm>
#include <cmath>

namespace tellvane {

void TraceRecorder::attachView(TraceView* view)
{
    if (view && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void TraceRecorder::detachView(TraceView* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

TraceFrame TraceRecorder::frameOf(const CanMessage& message, bool sent)
{
    return traceFrameOf(message, sent);
}

CanMessage TraceRecorder::messageOf(const TraceFrame& frame)
{
    CanMessage message;
    message.id = static_cast<std::int32_t>(frame.id | (frame.sent() ? can::kExtendedFrame : 0));
    message.time = static_cast<double>(frame.timeUs) / 1e6;
    message.line = frame.line;
    message.standard = !frame.extended() && !frame.sent();
    message.length = frame.length;
    std::copy_n(frame.data.begin(), frame.length, message.data.begin());
    return message;
}

void TraceRecorder::traceMessage(const CanMessage& message, bool sent)
{
    const TraceFrame frame = frameOf(message, sent);
    if (frame.line >= m_newest.size())
        m_newest.resize(frame.line + std::size_t{1}, 0);
    m_newest[frame.line] = std::max(m_newest[frame.line], frame.timeUs);
    m_ring.append(frame);
    if (m_stats)
        m_stats->add(frame);
    // A replayed log's frames never were on the bus.
    if (m_load && frame.line == 0)
        m_load->add(frame);
    for (TraceView* view : m_views)
        view->update();
}

void TraceRecorder::traceOverflow()
{
    if (m_load)
        m_load->noteOverflow();
}

void TraceRecorder::traceErrorFlags(std::uint8_t flags)
{
    constexpr std::uint8_t kBufferBits = 0xC0;
    constexpr std::uint8_t kStateBits = 0x3E;
    const auto raised = static_cast<std::uint8_t>(flags & ~m_errorFlags);
    m_errorFlags = flags;
    if (!m_load)
        return;
    if (raised & kBufferBits)
        m_load->noteOverflow();
    if (raised & kStateBits)
        m_load->noteError();
}

void TraceRecorder::logCanMessage(const CanMessage& message)
{
    traceMessage(message, (static_cast<std::uint32_t>(message.id) & can::kExtendedFrame) != 0);
}

}  // namespace tellvane
