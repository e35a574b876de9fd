#include "BenchSupport.h"
#include "logs/TraceLog.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

// tellvane-cli decode beside a python-canmatrix loop decoding the same frames
// of a million-line candump log by the same DBC file, both as processes
// writing a line per frame. Goal: the ratio at least 20.

namespace tellvane::bench {
namespace {

constexpr std::int64_t kLines = 1000000;
constexpr int kMessages = 8;

// Eight messages of eight signals each: both byte orders, signed ones,
// factors and offsets, a value table.
QByteArray benchDbc()
{
    QByteArray text = "VERSION \"\"\n\nBU_: ECU\n\n";
    for (int m = 0; m < kMessages; ++m) {
        const QByteArray id = QByteArray::number(0x80000000u | (0x18FF0021u + static_cast<std::uint32_t>(m) * 0x100u));
        const QByteArray name = "Msg" + QByteArray::number(m);
        text += "BO_ " + id + ' ' + name + ": 8 ECU\n"
                " SG_ Counter : 0|8@1+ (1,0) [0|255] \"\" Vector__XXX\n"
                " SG_ Speed : 8|16@1+ (0.125,0) [0|8191] \"rpm\" Vector__XXX\n"
                " SG_ Temp : 24|8@1- (1,-40) [-168|87] \"degC\" Vector__XXX\n"
                " SG_ Pressure : 39|12@0+ (0.1,0) [0|409.5] \"kPa\" Vector__XXX\n"
                " SG_ Gear : 40|4@1+ (1,0) [0|15] \"\" Vector__XXX\n"
                " SG_ State : 48|2@1+ (1,0) [0|3] \"\" Vector__XXX\n"
                " SG_ Trim : 50|6@1- (0.5,0) [-16|15.5] \"%\" Vector__XXX\n"
                " SG_ Level : 63|8@0+ (0.4,0) [0|102] \"%\" Vector__XXX\n\n";
        text += "VAL_ " + id + " State 0 \"Off\" 1 \"On\" 2 \"Error\" 3 \"Not available\" ;\n";
    }
    return text;
}

// The messages in turn, and now and then a frame the database does not know.
QString writeLog(const QString& path)
{
    const auto writer = makeTraceLogWriter(TraceLogFormat::Candump);
    if (!writer->open(path))
        return QString();
    TraceFrame frame;
    frame.length = 8;
    for (std::int64_t k = 0; k < kLines; ++k) {
        frame.timeUs = 1'700'000'000'000'000 + k * 188;
        const auto m = static_cast<std::uint32_t>(k % (kMessages + 1));
        frame.id = 0x18FF0021u + m * 0x100u;
        for (std::size_t i = 0; i < 8; ++i)
            frame.data[i] = static_cast<std::uint8_t>(k * 31 + i * 7);
        writer->write(frame);
    }
    return writer->close() ? path : QString();
}

// A line per frame as decode writes it, each signal's physical value and unit.
constexpr char kCanmatrixLoop[] = R"(import sys
import canmatrix.formats
db = canmatrix.formats.loadp_flat(sys.argv[1])
frames = {(f.arbitration_id.id, f.arbitration_id.extended): f for f in db.frames}
write = sys.stdout.write
for line in open(sys.argv[2]):
    time, _, frame = line.split()[:3]
    ident, data = frame.split('#')
    found = frames.get((int(ident, 16), len(ident) > 3))
    text = ''
    if found is not None:
        values = found.decode(bytes.fromhex(data))
        text = '  ' + found.name + ''.join('  %s=%s %s' % (name, value.phys_value, value.signal.unit)
                                           for name, value in values.items())
    write(time + ' ' + frame + text + '\n')
)";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

void BM_DecodeCliBesideCanmatrix(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString dbc = dir.filePath(QStringLiteral("bench.dbc"));
    const QString script = dir.filePath(QStringLiteral("decode.py"));
    const QString log = writeLog(dir.filePath(QStringLiteral("bench.log")));
    if (log.isEmpty() || !writeFile(dbc, benchDbc()) || !writeFile(script, kCanmatrixLoop)) {
        state.SkipWithError("the database, the log or the script could not be written");
        return;
    }
    const QString python = QStringLiteral("/usr/bin/python3");
    if (timeOf(python, {QStringLiteral("-c"), QStringLiteral("import canmatrix.formats")}).seconds < 0) {
        state.SkipWithError("python3-canmatrix is missing: apt-get install python3-canmatrix");
        return;
    }
    const QString ours = dir.filePath(QStringLiteral("tellvane.txt"));
    const QString theirs = dir.filePath(QStringLiteral("canmatrix.txt"));
    Took cli{0, 0};
    Took csv{0, 0};
    Took canmatrix{0, 0};
    for (auto _ : state) {
        const Took c = timeOf(QStringLiteral(TELLVANE_CLI), {QStringLiteral("decode"), QStringLiteral("--dbc"), dbc, log}, 0, ours);
        const Took v = timeOf(QStringLiteral(TELLVANE_CLI),
                              {QStringLiteral("decode"), QStringLiteral("--format"), QStringLiteral("csv"),
                               QStringLiteral("--dbc"), dbc, log},
                              0, ours);
        const Took p = timeOf(python, {script, dbc, log}, 0, theirs);
        if (c.seconds < 0 || v.seconds < 0 || p.seconds < 0) {
            state.SkipWithError("a decoding failed");
            return;
        }
        cli.seconds += c.seconds;
        cli.cpuSeconds += c.cpuSeconds;
        csv.seconds += v.seconds;
        canmatrix.seconds += p.seconds;
        canmatrix.cpuSeconds += p.cpuSeconds;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["cli_s"] = cli.seconds / runs;
    state.counters["cli_csv_s"] = csv.seconds / runs;
    state.counters["canmatrix_s"] = canmatrix.seconds / runs;
    state.counters["ratio"] = canmatrix.seconds / cli.seconds;
    state.counters["cpu_ratio"] = canmatrix.cpuSeconds / cli.cpuSeconds;
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_DecodeCliBesideCanmatrix)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tellvane::bench
