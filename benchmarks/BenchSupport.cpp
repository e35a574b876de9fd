#include "BenchSupport.h"

#include "can/AdapterRecord.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <array>

namespace tellvane::bench {

namespace {

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

Took timeOf(const QString& program, const QStringList& arguments, int exitCode, const QString& standardOutput)
{
    QProcess process;
    process.setStandardOutputFile(standardOutput.isEmpty() ? QProcess::nullDevice() : standardOutput);
    QElapsedTimer timer;
    const double cpuBefore = childCpuSeconds();
    timer.start();
    process.start(program, arguments);
    Took took;
    if (process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode)
        took.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    took.cpuSeconds = childCpuSeconds() - cpuBefore;
    return took;
}

RingAdapter::RingAdapter(std::vector<Record> ring) : m_ring(std::move(ring)) {}

const Adapter::Record& RingAdapter::lastRecord() const
{
    return m_ring[(m_next + m_ring.size() - 1) % m_ring.size()];
}

std::int16_t RingAdapter::getCanMess(Record& record)
{
    if (m_pending <= 0)
        return 0;
    --m_pending;
    record = m_ring[m_next];
    if (++m_next == m_ring.size())
        m_next = 0;
    ++m_handedOut;
    return 1;
}

std::int16_t RingAdapter::getNumCanMess()
{
    return static_cast<std::int16_t>(std::min(m_pending, 32767));
}

std::int16_t RingAdapter::readReg(std::uint8_t, std::uint8_t count, std::uint8_t* buffer)
{
    if (count != 1 || !buffer)
        return 0;
    *buffer = 0;
    return 1;
}

const std::array<std::uint32_t, 8>& busyBusIdentifiers()
{
    static constexpr std::array<std::uint32_t, 8> kIds = {
        0x18EFFF21, 0x18FEF121, 0x0CF00400, 0x18EFF921, 0x18EFFF22, 0x18FECA22, 0x18EFFF23, 0x1CECFF21,
    };
    return kIds;
}

std::vector<Adapter::Record> busyBusRecords(std::size_t count)
{
    const std::array<std::uint32_t, 8>& kIds = busyBusIdentifiers();
    std::vector<Adapter::Record> records;
    records.reserve(count);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t data[8];
        for (std::uint8_t& b : data) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
        // 188 us is 23.5 ticks of 8 us.
        const auto ticks = static_cast<std::uint32_t>(i * 188 / 8);
        records.push_back(encodeRecord(kIds[i % kIds.size()], 8, data, 0, ticks));
    }
    return records;
}

std::int64_t fileBytes(const QString& fileName)
{
    const QFileInfo info(fileName);
    return info.exists() ? info.size() : -1;
}

QString lastLineOf(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // The tail is enough: lines are short and the file may be large.
    if (!file.seek(std::max<qint64>(0, file.size() - 256)))
        return QString();
    const QByteArray tail = file.readAll();
    if (!tail.endsWith("\r\n"))
        return QString();
    const auto end = tail.size() - 2;
    const auto before = tail.lastIndexOf("\r\n", end - 1);
    const auto start = before < 0 ? 0 : before + 2;
    return QString::fromLatin1(tail.mid(start, end - start));
}

}  // namespace tellvane::bench
