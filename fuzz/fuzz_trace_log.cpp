// Any bytes as a .log trace log: see TraceLogFuzz.h.

#include "TraceLogFuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tellvane::fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return tellvane::fuzz::fuzzTraceLog("log", data, size);
}
