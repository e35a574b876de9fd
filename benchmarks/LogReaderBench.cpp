#include "monitor/LogReader.h"
#include "monitor/MessageLine.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

// Opening a long log (one scan for its line ends) and reading windows of it
// at random places, as the list loads them when a file is chosen.

namespace tellvane::bench {
namespace {

// A log of the given number of records as this program writes them.
QString writeLog(const QTemporaryDir& dir, std::int64_t records)
{
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QByteArray chunk;
    CanMessage m;
    m.length = 8;
    for (std::int64_t k = 0; k < records; ++k) {
        m.id = static_cast<std::int32_t>(0x18EF0000 + (k & 0xFFFF));
        m.data[0] = static_cast<std::uint8_t>(k);
        chunk += formatMessageLine(m).toLatin1() + "\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return path;
}

// Range: records in the file (one million is 47 MB, about 1 h 20 min of a busy bus).
void BM_LogReaderOpen(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = writeLog(dir, state.range(0));
    for (auto _ : state) {
        LogReader reader;
        if (!reader.open(path) || reader.recordCount() != state.range(0)) {
            state.SkipWithError("the log does not open with all its records");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * messageline::kRecordBytes);
}
BENCHMARK(BM_LogReaderOpen)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_LogReaderWindowAnywhere(benchmark::State& state)
{
    constexpr std::int64_t kRecords = 1000000;
    QTemporaryDir dir;
    LogReader reader;
    if (!reader.open(writeLog(dir, kRecords))) {
        state.SkipWithError("the log does not open");
        return;
    }
    std::uint32_t x = 2463534242u;
    for (auto _ : state) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const std::int64_t start = 1 + x % (kRecords - 15);
        for (std::int64_t n = start; n < start + 15; ++n)
            benchmark::DoNotOptimize(reader.record(n));
    }
    state.SetItemsProcessed(state.iterations() * 15);
}
BENCHMARK(BM_LogReaderWindowAnywhere);

}  // namespace
}  // namespace tellvane::bench
