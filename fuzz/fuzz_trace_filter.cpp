// Trace filter expressions are typed by the user: any text must either be
// refused with a field and a position inside it, or give a filter that any
// frame can be matched against; the same text gets the same answer.

#include "FuzzSupport.h"

#include "trace/TraceFilter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace tellvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Frames to match: standard and extended, sent and received, short and
    // full, and one made of the input's own bytes.
    TraceFrame frames[4];
    frames[0].id = 0x18FEF121;
    frames[0].length = 8;
    frames[1].id = 0x18EF21F9;
    frames[1].flags = TraceFrame::Extended | TraceFrame::Sent;
    frames[1].length = 3;
    frames[1].data = {0x01, 0xFF, 0x30};
    frames[2].id = 0x123;
    frames[2].flags = 0;
    std::memcpy(&frames[3].id, data, std::min<std::size_t>(size, 4));
    frames[3].id &= 0x1FFFFFFF;
    frames[3].length = static_cast<std::uint8_t>(size % 9);
    if (size > 4)
        std::memcpy(frames[3].data.data(), data + 4, std::min<std::size_t>(size - 4, 8));

    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TraceFilterError error;
    const auto filter = TraceFilter::parse(text, &error);
    TraceFilterError again;
    const auto second = TraceFilter::parse(text, &again);
    FUZZ_CHECK(filter.has_value() == second.has_value());
    if (!filter) {
        FUZZ_CHECK(error.position >= 1 && error.position <= text.size() + 1);
        FUZZ_CHECK(!error.field.isEmpty());
        FUZZ_CHECK(error.message.startsWith(error.field + QLatin1String(": ")));
        FUZZ_CHECK(error.message == again.message);
        return 0;
    }
    FUZZ_CHECK(filter->expression() == text);
    for (const TraceFrame& f : frames)
        FUZZ_CHECK(filter->matches(f) == second->matches(f));
    return 0;
}
