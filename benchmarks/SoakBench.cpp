#include "BenchSupport.h"

#include "app/ErrorLog.h"
#include "app/MainWindow.h"
#include "app/TellvaneApp.h"
#include "core/Clock.h"
#include "core/SettingsStore.h"
#include "diagnostics/BoardWindow.h"
#include "monitor/MessageLine.h"
#include "monitor/MonitorWindow.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"
#include "sim/TrafficNode.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <unistd.h>

namespace tellvane::bench {
namespace {

// The simulated bench as the program's adapter, counting what passes.
class CountingAdapter final : public Adapter {
public:
    explicit CountingAdapter(std::unique_ptr<SimAdapter> sim) : m_sim(std::move(sim)) {}
    SimAdapter& sim() { return *m_sim; }
    std::int64_t received = 0;
    std::int64_t sends = 0;

    std::int16_t resetInterface() override { return m_sim->resetInterface(); }
    std::int16_t clearCanMess() override { return m_sim->clearCanMess(); }
    std::int16_t setCanBaud(std::int32_t rate) override { return m_sim->setCanBaud(rate); }
    std::int16_t recCanMess(std::uint32_t mask, std::uint8_t selector) override { return m_sim->recCanMess(mask, selector); }
    std::int16_t setFilters(std::uint8_t filter, std::uint32_t value) override { return m_sim->setFilters(filter, value); }
    std::int16_t enableTs() override { return m_sim->enableTs(); }
    std::int16_t disableTs() override { return m_sim->disableTs(); }
    std::int16_t getCanMess(Record& record) override
    {
        const std::int16_t r = m_sim->getCanMess(record);
        received += r == 1;
        return r;
    }
    std::int16_t getNumCanMess() override { return m_sim->getNumCanMess(); }
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length, const std::uint8_t* data) override
    {
        ++sends;
        return m_sim->sendCanMess(id, mode, length, data);
    }
    std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) override
    {
        return m_sim->readReg(reg, count, buffer);
    }
    std::int16_t writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer) override
    {
        return m_sim->writeReg(reg, count, buffer);
    }
    std::int16_t getInfo(char* buffer, std::int32_t size) override { return m_sim->getInfo(buffer, size); }
    QString name() const override { return m_sim->name(); }

private:
    std::unique_ptr<SimAdapter> m_sim;
};

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields[1].toDouble() * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The whole program on the simulated bench at full bus load for the given
// simulated time: 5,319 frames a second (four boards in diagnostic mode with
// 30 frames a second each, the rest from other units), "Display Live CAN data"
// and "Save Live CAN data to file" on. Every poll tick, with the window events
// it leaves, is timed on the wall clock: the window thread must never be held
// for more than 50 ms. The save log must hold a record for every frame
// received and every message sent, and memory must stay flat once the list
// has filled.
void BM_Soak(benchmark::State& state)
{
    const std::int64_t simulatedSeconds = state.range(0);
    constexpr int kTickMs = 25;
    for (auto _ : state) {
        QTemporaryDir dir;
        FakeClock clock;
        test::FakeDialogs dialogs;
        SettingsStore settings(dir.filePath(QStringLiteral("settings.ini")));

        auto sim = std::make_unique<SimAdapter>(clock);
        const SimBoardSpec boards[] = {{0x21, 1537, 7, 12010003, true},
                                       {0x22, 1538, 1042, 13050012, true},
                                       {0x23, 261, 200417, 4120101, true},
                                       {0x24, 1537, 8, 12010003, true}};
        int position = 0;
        for (const SimBoardSpec& spec : boards)
            sim->bus().emplaceNode<SimBoard>(spec, position++);
        // 5,319 - 4 x 30 = 5,199 frames a second from 52 other streams.
        auto& traffic = sim->bus().emplaceNode<TrafficNode>();
        for (int k = 0; k < 52; ++k) {
            SimFrame frame;
            frame.id = 0x18FF0000u + static_cast<std::uint32_t>(k);
            frame.length = 8;
            frame.data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, static_cast<std::uint8_t>(k)};
            const std::int64_t period = k < 51 ? 10000 : 10101;  // 51 x 100/s + 99/s
            traffic.addStream(frame, period, 3000 + k * 190, 6);
        }
        auto counting = std::make_unique<CountingAdapter>(std::move(sim));
        CountingAdapter& adapter = *counting;

        TellvaneApp app(AppEnvironment{clock, dialogs, settings, dir.filePath(QStringLiteral("data/")),
                                       QStringLiteral(TELLVANE_SOURCE_DIR),
                                       [] { return QDateTime(QDate(2011, 2, 3), QTime(14, 5, 9)); }, false},
                        std::move(counting));
        app.mainWindow().open();
        app.pollTimer().setPollingEnabled(false);
        auto tick = [&] {
            clock.advanceMs(kTickMs);
            app.link().pollTick();
            QCoreApplication::processEvents();
        };
        for (int i = 0; i < 40; ++i)
            tick();

        int inDiagnosticMode = 0;
        const auto subs = app.mainWindow().mdiArea()->subWindowList();
        for (QMdiSubWindow* sub : subs) {
            if (auto* w = qobject_cast<BoardWindow*>(sub->widget())) {
                w->findChild<QPushButton*>(QStringLiteral("StartDiag"))->click();
                inDiagnosticMode += w->inDiagnosticMode();
            }
        }
        MonitorWindow* monitor = app.mainWindow().monitorWindow();
        monitor->findChild<QCheckBox*>(QStringLiteral("DisplayLiveCANCheck"))->setChecked(true);
        monitor->findChild<QCheckBox*>(QStringLiteral("SaveToFileEnable"))->setChecked(true);
        const QString saveLog = app.mainWindow().saveLogFile();
        const std::int64_t receivedBefore = adapter.received;
        const std::int64_t sendsBefore = adapter.sends;
        const std::uint64_t carriedBefore = adapter.sim().bus().framesCarried();

        QElapsedTimer wall;
        qint64 longestTickNs = 0;
        std::vector<qint64> tickNs;
        tickNs.reserve(static_cast<std::size_t>(simulatedSeconds) * 40);
        double rssAfterFirstMinute = 0;
        double rssMax = 0;
        const std::int64_t ticks = simulatedSeconds * 1000 / kTickMs;
        for (std::int64_t t = 0; t < ticks; ++t) {
            wall.start();
            tick();
            const qint64 ns = wall.nsecsElapsed();
            tickNs.push_back(ns);
            longestTickNs = std::max(longestTickNs, ns);
            if (t % (60 * 40) == 0) {
                const double rss = residentMegabytes();
                if (t == 60 * 40)
                    rssAfterFirstMinute = rss;
                rssMax = std::max(rssMax, rss);
            }
        }
        const double rssEnd = residentMegabytes();
        monitor->findChild<QCheckBox*>(QStringLiteral("SaveToFileEnable"))->setChecked(false);  // closes the log
        QCoreApplication::processEvents();

        const std::int64_t received = adapter.received - receivedBefore;
        const std::int64_t sent = adapter.sends - sendsBefore;
        const std::int64_t onBus =
            static_cast<std::int64_t>(adapter.sim().bus().framesCarried() - carriedBefore) - sent;
        const std::int64_t records = QFileInfo(saveLog).size() / messageline::kRecordBytes;
        std::sort(tickNs.begin(), tickNs.end());
        const double p99Ms = tickNs.empty() ? 0 : tickNs[tickNs.size() * 99 / 100] / 1e6;

        state.counters["simulated_s"] = static_cast<double>(simulatedSeconds);
        state.counters["frames_received"] = static_cast<double>(received);
        state.counters["frames_per_s"] = static_cast<double>(received) / static_cast<double>(simulatedSeconds);
        state.counters["records_saved"] = static_cast<double>(records);
        state.counters["longest_tick_ms"] = longestTickNs / 1e6;
        state.counters["p99_tick_ms"] = p99Ms;
        state.counters["rss_after_1min_MB"] = rssAfterFirstMinute;
        state.counters["rss_max_MB"] = rssMax;
        state.counters["rss_end_MB"] = rssEnd;

        if (inDiagnosticMode != 4)
            state.SkipWithError("not every board went into diagnostic mode");
        else if (app.errorLog().count() != 0)
            state.SkipWithError("the error list has messages");
        else if (adapter.sim().dropped() != 0)
            state.SkipWithError("the adapter's queue overflowed");
        else if (received + 200 < onBus)  // the last tick's frames may still wait in the queue
            state.SkipWithError("frames on the bus were not received");
        else if (records != received + sent)
            state.SkipWithError("the save log misses records");
        else if (longestTickNs > 50'000'000)
            state.SkipWithError("the window thread was held for more than 50 ms");
        else if (rssEnd > rssAfterFirstMinute + 20.0)
            state.SkipWithError("memory grew by more than 20 MB after the first minute");
    }
}
// Two minutes, and an hour of the bus ("--benchmark_filter=Soak/3600" runs the hour alone).
BENCHMARK(BM_Soak)->Arg(120)->Arg(3600)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tellvane::bench
