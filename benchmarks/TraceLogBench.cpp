#include "BenchSupport.h"
#include "logs/TraceLog.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>

// Converting long logs: candump to ASC with convertLog on its own, and
// tellvane-cli convert beside python-can's can_logconvert on the same file to
// ASC, CSV and message lines, both as processes; and every pair of the four
// formats.

namespace tellvane::bench {
namespace {

constexpr std::int64_t kLines = 1000000;

// A million lines of a busy bus (188 us apart, 8 bytes, several boards and
// broadcasts in turn, now and then a sent one) from startUs on, written to a
// log of the kind the name says; empty when it cannot be written.
QString writeBusyLog(const QString& path, std::int64_t startUs)
{
    const auto writer = makeTraceLogWriter(traceLogFormatOf(path));
    if (!writer->open(path))
        return QString();
    TraceFrame frame;
    frame.length = 8;
    for (std::int64_t k = 0; k < kLines; ++k) {
        frame.timeUs = startUs + k * 188;
        frame.id = 0x18FEF100u + static_cast<std::uint32_t>(k % 7) * 0x10000u + static_cast<std::uint32_t>(k % 5);
        frame.flags = static_cast<std::uint8_t>(TraceFrame::Extended | (k % 10 == 0 ? TraceFrame::Sent : 0));
        for (std::size_t i = 0; i < 8; ++i)
            frame.data[i] = static_cast<std::uint8_t>(k * 31 + i * 7);
        writer->write(frame);
    }
    return writer->close() ? path : QString();
}

// The busy bus at epoch times as candump writes them, once for every benchmark of the run.
QString candumpLog()
{
    static QTemporaryDir dir;
    static const QString path = writeBusyLog(dir.filePath(QStringLiteral("busy.log")), 1'700'000'000'000'000);
    return path;
}

// Goal: under 2 s for the million lines.
void BM_TraceConvertCandumpToAsc(benchmark::State& state)
{
    const QString input = candumpLog();
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("busy.asc"));
    if (input.isEmpty()) {
        state.SkipWithError("the candump log could not be written");
        return;
    }
    for (auto _ : state) {
        const ConvertResult result = convertLog(input, output, {});
        if (!result.ok() || result.frames != kLines || result.warnings != 0) {
            state.SkipWithError("the conversion did not give every frame");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(state.iterations() * QFileInfo(input).size());
}
BENCHMARK(BM_TraceConvertCandumpToAsc)->Unit(benchmark::kMillisecond)->Iterations(3);

const char* const kExtensions[] = {"txt", "log", "asc", "csv"};

// The busy bus in any of the formats, its times counted from the start
// (message lines hold seconds of six digits). Written once a run.
QString busyLog(int format)
{
    static QTemporaryDir dir;
    static QString paths[std::size(kExtensions)];
    QString& path = paths[format];
    if (path.isEmpty())
        path = writeBusyLog(dir.filePath(QStringLiteral("busy.") + QLatin1String(kExtensions[format])), 1'000'000);
    return path;
}

// Goal: under 2 s for the million lines, from any format to any other.
void BM_TraceConvertBetween(benchmark::State& state)
{
    const auto from = static_cast<int>(state.range(0));
    const auto to = static_cast<int>(state.range(1));
    const QString input = busyLog(from);
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.") + QLatin1String(kExtensions[to]));
    if (input.isEmpty()) {
        state.SkipWithError("the input log could not be written");
        return;
    }
    for (auto _ : state) {
        const ConvertResult result = convertLog(input, output, {});
        if (!result.ok() || result.frames != kLines) {
            state.SkipWithError("the conversion did not give every frame");
            return;
        }
    }
    state.SetLabel(std::string(kExtensions[from]) + " to " + kExtensions[to]);
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_TraceConvertBetween)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3}})
    ->ArgNames({"from", "to"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

#ifdef TELLVANE_CLI
// Goal: tellvane-cli at least 20 times as fast as can_logconvert (ratio), to
// each of .asc, .csv and .txt (python-can writes its own text lines there).
// The million candump lines to .txt exit 1: from 100 s on the time field
// keeps fewer decimals, which convert says once.
void BM_TraceConvertCliBesideCanLogconvert(benchmark::State& state)
{
    const auto to = static_cast<int>(state.range(0));
    const QString extension = QLatin1String(kExtensions[to]);
    const QString input = candumpLog();
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("tellvane.") + extension);
    const QString theirs = dir.filePath(QStringLiteral("python.") + extension);
    const QString logconvert = QStringLiteral("/usr/bin/can_logconvert");
    if (!QFileInfo(logconvert).isExecutable()) {
        state.SkipWithError("/usr/bin/can_logconvert is missing: apt-get install python3-can");
        return;
    }
    Took cli{0, 0};
    Took python{0, 0};
    for (auto _ : state) {
        const Took c = timeOf(QStringLiteral(TELLVANE_CLI), {QStringLiteral("convert"), input, ours},
                              extension == QLatin1String("txt") ? 1 : 0);
        const Took p = timeOf(logconvert, {input, theirs});
        if (c.seconds < 0 || p.seconds < 0) {
            state.SkipWithError("a conversion failed");
            return;
        }
        cli.seconds += c.seconds;
        cli.cpuSeconds += c.cpuSeconds;
        python.seconds += p.seconds;
        python.cpuSeconds += p.cpuSeconds;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.SetLabel("log to " + extension.toStdString());
    state.counters["cli_s"] = cli.seconds / runs;
    state.counters["can_logconvert_s"] = python.seconds / runs;
    state.counters["ratio"] = python.seconds / cli.seconds;
    state.counters["cli_cpu_s"] = cli.cpuSeconds / runs;
    state.counters["can_logconvert_cpu_s"] = python.cpuSeconds / runs;
    state.counters["cpu_ratio"] = python.cpuSeconds / cli.cpuSeconds;
}
BENCHMARK(BM_TraceConvertCliBesideCanLogconvert)
    ->ArgName("to")
    ->Arg(2)
    ->Arg(3)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
#endif

}  // namespace
}  // namespace tellvane::bench
