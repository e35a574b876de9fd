#pragma once

// Frames and files shared by the trace tests.

#include "TestSupport.h"
#include "logs/TraceLog.h"

#include <QString>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace tellvane {

inline void PrintTo(const TraceFrame& f, std::ostream* os)
{
    *os << "{t=" << f.timeUs << " id=" << std::hex << f.id << std::dec << " len=" << int(f.length)
        << " flags=" << int(f.flags) << " data=";
    for (int i = 0; i < f.length && i < 8; ++i)
        *os << std::hex << int(f.data[static_cast<std::size_t>(i)]) << std::dec << ' ';
    *os << '}';
}

namespace test {

inline TraceFrame frame(std::int64_t timeUs, std::uint32_t id, std::vector<std::uint8_t> bytes,
                        std::uint8_t flags = TraceFrame::Extended)
{
    TraceFrame f;
    f.timeUs = timeUs;
    f.id = id;
    f.flags = flags;
    f.length = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), f.data.begin());
    return f;
}

// A bit of everything the formats hold, at epoch times one microsecond apart
// at places: extended and standard, sent, remote, no data and eight bytes.
inline std::vector<TraceFrame> sampleFrames()
{
    constexpr std::int64_t t0 = 1'700'000'000'123'456;
    using F = TraceFrame;
    return {frame(t0, 0x18FEF121, {1, 2, 3, 4, 5, 6, 7, 8}),
            frame(t0 + 1, 0x123, {0xAB}, 0),
            frame(t0 + 100'000, 0x18EF21F9, {0x05}, F::Extended | F::Sent),
            frame(t0 + 200'001, 0x7FF, {}, 0),
            frame(t0 + 200'001, 0x1FFFFFFF, {0xFF, 0, 0x7E}),
            frame(t0 + 999'999, 0x0CF00400, {}, F::Extended | F::Remote),
            frame(t0 + 3'600'000'000, 0x18FF0021, {0xDE, 0xAD, 0xBE, 0xEF}, F::Extended | F::Sent)};
}

// A monitor's log of 412 s: the adapter's seconds start again three times
// (every 134.217728 s), and a sent line has no time of its own. Its frames'
// times, read on across the restarts:
inline const QByteArray kRestartingLines = "00.000100 18FEF121 1 01\r\n"
                                           "120.00000 18FEF122 1 02\r\n"
                                           "00.000000 98FEF123 1 03\r\n"
                                           "05.000001 18FEF124 1 04\r\n"
                                           "134.21772 18FEF125 1 05\r\n"
                                           "50.000000 18FEF126 1 06\r\n"
                                           "99.999999 18FEF127 1 07\r\n"
                                           "10.000000 18FEF128 1 08\r\n";
inline const std::vector<std::int64_t> kRestartingTimesUs = {
    100, 120'000'000, 120'000'000, 139'217'729, 268'435'448, 318'435'456, 368'435'455, 412'653'184};

inline void writeFrames(const QString& name, const std::vector<TraceFrame>& frames, const QDateTime& start = {})
{
    const auto writer = makeTraceLogWriter(traceLogFormatOf(name));
    ASSERT_TRUE(writer && writer->open(name)) << name.toStdString();
    if (start.isValid())
        writer->setRecordingStart(start);
    for (const TraceFrame& f : frames) {
        ASSERT_TRUE(writer->refusal(f).isEmpty()) << name.toStdString();
        ASSERT_TRUE(writer->write(f));
    }
    ASSERT_TRUE(writer->close());
}

struct ReadBack {
    std::vector<TraceFrame> frames;
    std::vector<TraceLogWarning> warnings;
    std::int64_t good = 0;
    std::int64_t bad = 0;
};

// With a slice, the reader pauses after that many bytes and is called again.
inline ReadBack readFrames(const QString& name, qint64 slice = 0)
{
    ReadBack back;
    const auto reader = makeTraceLogReader(traceLogFormatOf(name));
    if (reader)
        reader->setReadSlice(slice);
    EXPECT_TRUE(reader && reader->open(name)) << name.toStdString();
    if (!reader)
        return back;
    TraceFrame f;
    for (;;) {
        if (reader->next(f))
            back.frames.push_back(f);
        else if (!reader->paused())
            break;
    }
    back.warnings = reader->takeWarnings();
    back.good = reader->goodLines();
    back.bad = reader->badLines();
    EXPECT_TRUE(reader->errorString().isEmpty()) << reader->errorString().toStdString();
    return back;
}

}  // namespace test
}  // namespace tellvane
