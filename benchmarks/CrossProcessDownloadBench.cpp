// A 64 KiB firmware image downloaded by tellvane-cli flash: into the boards of
// tellvane-cli bench, a second process on a virtual CAN bus over loopback TCP,
// and into the simulated bench inside the flash process. The time is the whole
// command's; the counters are the file transfer's, from the line the command
// prints after the download.

#include "core/SRecord.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tellvane;

namespace {

constexpr int kStartMs = 20000;
constexpr int kFlashMs = 120000;
constexpr int kImageLines = 2048;
constexpr int kLineBytes = 32;

QString cli()
{
    return QStringLiteral(TELLVANE_CLI);
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// S0, 2,048 S2 lines of 32 bytes from 0x10000 on, S8; CR LF endings.
QString writeImage(const QTemporaryDir& dir)
{
    QByteArray text = makeSRecord('0', 0, "BENCH 64K") + "\r\n";
    for (int i = 0; i < kImageLines; ++i) {
        QByteArray data;
        for (int b = 0; b < kLineBytes; ++b)
            data.append(static_cast<char>((i * kLineBytes + b) * 7 + 3));
        text += makeSRecord('2', 0x10000u + static_cast<std::uint32_t>(i * kLineBytes), data) + "\r\n";
    }
    text += makeSRecord('8', 0x10000u, QByteArray()) + "\r\n";
    const QString name = dir.filePath(QStringLiteral("image64k.QXP"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return name;
}

// tellvane-cli bench hosting the virtual bus, for one download.
class BenchProcess {
public:
    explicit BenchProcess(quint16 port)
    {
        m_process.setProgram(cli());
        m_process.setArguments({QStringLiteral("bench"), QStringLiteral("--adapter"),
                                QStringLiteral("virtualcan:tcp://127.0.0.1:%1/can0").arg(port),
                                QStringLiteral("--seconds"), QStringLiteral("600")});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
    }

    ~BenchProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool ready()
    {
        QDeadlineTimer deadline(kStartMs);
        while (!m_output.contains("ready\n") && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 200)));
            m_output += m_process.readAll();
        }
        return m_output.contains("ready\n");
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

struct FlashRun {
    QString error;  // empty when the download and the flash succeeded
    double wholeSeconds = 0;
    double transferSeconds = 0;
    double usPerPacket = 0;
    double packets = 0;
};

FlashRun flash(const QString& adapter, const QString& file)
{
    FlashRun run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer whole;
    whole.start();
    process.start(cli(), {QStringLiteral("flash"), QStringLiteral("--adapter"), adapter, QStringLiteral("--board"),
                          QStringLiteral("33"), QStringLiteral("--area"), QStringLiteral("2"), QStringLiteral("--file"),
                          file});
    if (!process.waitForFinished(kFlashMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.error = QStringLiteral("tellvane-cli flash did not finish in time");
        return run;
    }
    run.wholeSeconds = static_cast<double>(whole.nsecsElapsed()) / 1e9;
    const QString out = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        run.error = QStringLiteral("tellvane-cli flash failed: ") + out.right(400);
        return run;
    }
    static const QRegularExpression summary(
        QStringLiteral("File transfer: (\\d+) lines, (\\d+) packets in ([0-9.]+) s, (\\d+) us a packet"));
    const QRegularExpressionMatch m = summary.match(out);
    if (!m.hasMatch() || m.captured(1).toInt() != kImageLines + 2) {
        run.error = QStringLiteral("no summary of the whole file: ") + out.right(400);
        return run;
    }
    run.packets = m.captured(2).toDouble();
    run.transferSeconds = m.captured(3).toDouble();
    run.usPerPacket = m.captured(4).toDouble();
    return run;
}

// What the runs of one benchmark add up to.
struct Totals {
    double transfer = 0;
    double perPacket = 0;
    double packets = 0;

    // Counts a run; false (and the benchmark ends in its error) when it failed.
    bool add(benchmark::State& state, const FlashRun& run)
    {
        if (!run.error.isEmpty()) {
            state.SkipWithError(run.error.toStdString().c_str());
            return false;
        }
        state.SetIterationTime(run.wholeSeconds);
        transfer += run.transferSeconds;
        perPacket += run.usPerPacket;
        packets = run.packets;
        return true;
    }
    void report(benchmark::State& state) const
    {
        state.counters["transfer_s"] = benchmark::Counter(transfer, benchmark::Counter::kAvgIterations);
        state.counters["us_a_packet"] = benchmark::Counter(perPacket, benchmark::Counter::kAvgIterations);
        state.counters["packets"] = packets;
    }
};

// Bench and flash as two processes on the virtual bus; a new bench each time,
// started before the clock runs.
void BM_CrossProcessDownload(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = writeImage(dir);
    if (file.isEmpty()) {
        state.SkipWithError("cannot write the image");
        return;
    }
    Totals totals;
    for (auto _ : state) {
        const quint16 port = freePort();
        auto bench = std::make_unique<BenchProcess>(port);
        if (port == 0 || !bench->ready()) {
            state.SkipWithError("the bench did not come up");
            break;
        }
        if (!totals.add(state, flash(QStringLiteral("virtualcan:tcp://127.0.0.1:%1/can0").arg(port), file)))
            break;
    }
    totals.report(state);
}
BENCHMARK(BM_CrossProcessDownload)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

// The same file into the simulated bench inside the flash process.
void BM_SimAdapterDownload(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = writeImage(dir);
    if (file.isEmpty()) {
        state.SkipWithError("cannot write the image");
        return;
    }
    Totals totals;
    for (auto _ : state) {
        if (!totals.add(state, flash(QStringLiteral("sim"), file)))
            break;
    }
    totals.report(state);
}
BENCHMARK(BM_SimAdapterDownload)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace
