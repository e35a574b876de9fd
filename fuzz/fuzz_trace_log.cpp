// Any bytes as a .log trace log: see TraceLogFuzz.h. Each line is also read
// in both of the candump reader's ways, which must agree wherever the one
// pass takes the line.

#include "TraceLogFuzz.h"

#include "logs/TraceFormats.h"

#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tellvane::fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tellvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t stop = text.find_first_of("\r\n", start);
        if (stop == std::string_view::npos)
            stop = text.size();
        const std::string_view line = text.substr(start, stop - start);
        TraceFrame fast;
        if (candump::readPlainLine(line, fast)) {
            TraceFrame careful;
            QString why;
            FUZZ_CHECK(candump::readLine(line, careful, why) == LineTraceReader::Line::Frame);
            FUZZ_CHECK(fast == careful);
        }
        start = stop + 1;
    }
    return tellvane::fuzz::fuzzTraceLog("log", data, size);
}
