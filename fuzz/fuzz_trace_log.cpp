// Any bytes as a .log trace log: see TraceLogFuzz.h. Each line is also read
// in both of the candump reader's ways, which must agree wherever the one
// pass takes the line.

#include "TraceLogFuzz.h"

#include "core/TextLineReader.h"
#include "logs/CandumpReader.h"

#include <QBuffer>

#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tellvane::fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tellvane;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
    TextLineReader lines;
    lines.open(buffer);
    lines.setLineLimit(TraceLogReader::kMaxLineBytes);
    std::string_view line;
    bool tooLong = false;
    while (lines.next(line, tooLong)) {
        TraceFrame fast;
        if (candump::readPlainLine(line, fast)) {
            TraceFrame careful;
            QString why;
            FUZZ_CHECK(candump::readLine(line, careful, why) == LineTraceReader::Line::Frame);
            FUZZ_CHECK(fast == careful);
        }
    }
    return tellvane::fuzz::fuzzTraceLog("log", data, size);
}
