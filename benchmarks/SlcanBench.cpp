#include "adapters/SlcanProtocol.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

// The serial-line adapter's receive side: what a busy bus sends down the port,
// read in the chunks the port hands over.

namespace tellvane::bench {
namespace {

using namespace tellvane::slcan;

// Mostly extended 8-byte frames with time stamps, as a J1939 bus gives them,
// some standard frames, transmit answers and now and then a remote frame,
// status answer and a line of noise.
std::string busyStream(std::size_t lines)
{
    std::mt19937 random(11);
    std::string stream;
    std::array<char, kLongestFrameLine> line{};
    int stamp = 0;
    for (std::size_t n = 0; n < lines; ++n) {
        const unsigned pick = random() % 100;
        Frame frame;
        frame.extended = pick < 85;
        frame.id = random() & (frame.extended ? 0x1FFFFFFFu : 0x7FFu);
        frame.length = pick < 90 ? 8 : static_cast<std::uint8_t>(random() % 9);
        for (auto& byte : frame.data)
            byte = static_cast<std::uint8_t>(random());
        if (pick < 96) {
            const std::size_t size = encodeFrame(frame, line);
            stream.append(line.data(), size - 1);  // the adapter adds its stamp before the end
            static constexpr char kHex[] = "0123456789ABCDEF";
            for (int shift = 12; shift >= 0; shift -= 4)
                stream += kHex[(stamp >> shift) & 0xF];
            stream += '\r';
            stamp = (stamp + 1 + static_cast<int>(random() % 3)) % kTimeStampPeriodMs;
        } else if (pick < 98) {
            stream += "z\r";
        } else if (pick < 99) {
            stream += "r7DF8\r";
        } else {
            stream += n % 2 ? "F08\r" : "#noise\r";
        }
    }
    return stream;
}

void BM_SlcanLineReader(benchmark::State& state)
{
    constexpr std::size_t kLines = 100000;
    constexpr std::size_t kChunk = 4096;
    const std::string stream = busyStream(kLines);
    LineReader reader;
    std::uint64_t sum = 0;
    for (auto _ : state) {
        reader.reset();
        for (std::size_t at = 0; at < stream.size(); at += kChunk) {
            const std::size_t size = std::min(kChunk, stream.size() - at);
            reader.feed(std::span<const char>(stream.data() + at, size), [&](const Item& item) {
                sum += item.frame.id + item.frame.data[7];
            });
        }
        benchmark::DoNotOptimize(sum);
    }
    const Counters& c = reader.counters();
    if (c.frames + c.remoteFrames + c.oks + c.statuses + c.garbageLines != kLines || c.garbageLines == 0) {
        state.SkipWithError("the stream does not read back line for line");
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kLines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SlcanLineReader)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tellvane::bench
