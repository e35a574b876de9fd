#include "adapters/DeviceThread.h"
#include "adapters/SlcanAdapter.h"
#include "can/CanLink.h"
#include "core/Clock.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// The slcan adapter on a full bus for real: a thread writes 1,908 extended
// 8-byte frames a second as an adapter sends them ("T" lines with time
// stamps) into a pseudo-terminal, at the pace of the real clock; the adapter
// reads the other end and the link drains it every 25 ms, as the program's
// poll timer does. Nothing may be lost or come out of order (each frame
// carries its number), and what the receiving costs is the figure: the CPU of
// the device thread (reading and parsing) and of the draining thread, and of
// the whole process. It runs a minute: --benchmark_filter=-SlcanFullBus leaves it out.

namespace tellvane::bench {
namespace {

constexpr int kFramesPerSecond = 1908;
constexpr int kPollMs = 25;

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    return clock_gettime(clock, &t) == 0 ? static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9 : 0;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Frame n as the adapter's line: its number in the first four bytes, the
// adapter's millisecond stamp (repeating every minute) at the end.
int frameLine(std::uint32_t n, std::int64_t stampMs, char* out)
{
    return std::snprintf(out, 40, "T%08X8%08X%08X%04X\r", 0x18FEF100u + (n % 4), n, ~n,
                         static_cast<unsigned>(stampMs % 60000));
}

// What the link delivers, checked for gaps and order.
class Sequence final : public TraceSink {
public:
    void traceMessage(const CanMessage& message, bool sent) override
    {
        if (sent)
            return;
        const std::uint32_t n = (std::uint32_t{message.data[0]} << 24) | (std::uint32_t{message.data[1]} << 16)
                                | (std::uint32_t{message.data[2]} << 8) | message.data[3];
        if (message.length != 8 || n != received)
            ++outOfStep;
        received = n + 1;
        ++count;
    }
    std::uint32_t received = 0;  // the number the next frame should carry
    std::uint64_t count = 0;
    std::uint64_t outOfStep = 0;
};

// The adapter's end of the line: it writes at the bus's pace, and takes
// (and drops) what the program sends it.
class BusWriter {
public:
    BusWriter(int master, int seconds) : m_master(master), m_frames(static_cast<std::uint32_t>(kFramesPerSecond) * seconds)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~BusWriter() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::atomic<bool> failed{false};
    std::atomic<std::uint32_t> written{0};
    double cpu = 0;
    double longestLagMs = 0;  // how far the writing fell behind the bus's pace

private:
    void run()
    {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        std::string batch;
        char line[40];
        char discard[256];
        std::uint32_t n = 0;
        while (n < m_frames && !failed) {
            const std::int64_t elapsedUs = duration_cast<microseconds>(steady_clock::now() - start).count();
            const std::uint32_t due =
                std::min<std::uint32_t>(m_frames, static_cast<std::uint32_t>(elapsedUs * kFramesPerSecond / 1000000));
            if (due > n)
                longestLagMs = std::max(longestLagMs, (elapsedUs - std::int64_t{n} * 1000000 / kFramesPerSecond) / 1000.0);
            batch.clear();
            for (; n < due; ++n)
                batch.append(line, static_cast<std::size_t>(frameLine(n, std::int64_t{n} * 1000 / kFramesPerSecond, line)));
            for (std::size_t at = 0; at < batch.size();) {
                const ssize_t size = ::write(m_master, batch.data() + at, batch.size() - at);
                if (size > 0) {
                    at += static_cast<std::size_t>(size);
                } else if (size < 0 && errno == EAGAIN) {
                    pollfd full{m_master, POLLOUT, 0};  // the reader is behind: the lag shows it
                    ::poll(&full, 1, 100);
                } else {
                    failed = true;
                    break;
                }
            }
            written = n;
            while (::read(m_master, discard, sizeof discard) > 0) {
            }
            std::this_thread::sleep_for(milliseconds(1));
        }
        cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    }

    int m_master;
    std::uint32_t m_frames;
    std::thread m_thread;
};

void BM_SlcanFullBus(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    int master = -1;
    int slave = -1;
    char name[64] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    // The writer drops what the adapter sends it as it comes, without waiting for it.
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);

    for (auto _ : state) {
        RealClock clock;
        const QString port = QString::fromLocal8Bit(name);
        SlcanAdapter adapter(port, SlcanAdapter::serialPort(port), clock);
        CanLink link(adapter, clock);
        Sequence sequence;
        link.setTraceSink(&sequence);
        link.pollTick();  // opens the port and puts the adapter on the bus
        if (link.interfaceState() != InterfaceState::Ok) {
            const std::string why = "the adapter does not come up: " + adapter.lastError().toStdString();
            state.SkipWithError(why.c_str());
            break;
        }
        clockid_t deviceClock{};
        DeviceThread::instance().run([&] { pthread_getcpuclockid(pthread_self(), &deviceClock); });
        const double deviceBefore = cpuSeconds(deviceClock);
        const double drainBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const double processBefore = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        double writerCpu = 0;
        double lagMs = 0;
        bool writeFailed = false;
        {
            BusWriter writer(master, seconds);
            auto tick = start;
            const auto end = start + std::chrono::seconds(seconds) + std::chrono::milliseconds(500);
            // The poll timer's drains, on until the last frame is in or half a second after the bus went quiet.
            while (sequence.count < static_cast<std::uint64_t>(kFramesPerSecond) * seconds
                   && std::chrono::steady_clock::now() < end) {
                tick += std::chrono::milliseconds(kPollMs);
                std::this_thread::sleep_until(tick);
                link.pollTick();
                QCoreApplication::processEvents();
            }
            writer.join();
            writerCpu = writer.cpu;
            lagMs = writer.longestLagMs;
            writeFailed = writer.failed;
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(wall);
        const double device = cpuSeconds(deviceClock) - deviceBefore;
        const double drain = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - drainBefore;
        const double process = processCpuSeconds() - processBefore;
        state.counters["frames"] = static_cast<double>(sequence.count);
        state.counters["out_of_step"] = static_cast<double>(sequence.outOfStep);
        state.counters["dropped"] = static_cast<double>(adapter.dropped());
        state.counters["device_cpu_s"] = device;
        state.counters["drain_cpu_s"] = drain;
        state.counters["receive_cpu_pct"] = 100 * (device + drain) / wall;
        state.counters["process_cpu_s"] = process;
        state.counters["process_less_writer_pct"] = 100 * (process - writerCpu) / wall;
        state.counters["writer_cpu_s"] = writerCpu;
        state.counters["writer_lag_ms"] = lagMs;
        state.counters["us_cpu_a_frame"] = 1e6 * (device + drain) / static_cast<double>(std::max<std::uint64_t>(1, sequence.count));
        if (writeFailed)
            state.SkipWithError("the pseudo-terminal took no more");
        else if (sequence.count != static_cast<std::uint64_t>(kFramesPerSecond) * seconds || sequence.outOfStep != 0)
            state.SkipWithError("frames were lost or came out of order");
    }
    ::close(master);
    ::close(slave);
}
BENCHMARK(BM_SlcanFullBus)->ArgName("seconds")->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tellvane::bench
