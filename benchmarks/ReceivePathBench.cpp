#include "BenchSupport.h"

#include "can/AdapterRecord.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/LineListModel.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorStatus.h"
#include "plot/PlotSeries.h"
#include "plot/SignalTap.h"
#include "plot/TimeLine.h"
#include "trace/BusLoad.h"
#include "trace/IdentifierStats.h"
#include "trace/TraceDatabases.h"
#include "trace/TraceRecorder.h"
#include "trace/TraceRing.h"
#include "trace/TraceTableModel.h"
#include "trace/TraceView.h"
#include "transmit/TransmitScheduler.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace tellvane::bench {
namespace {

// Everything a received message passes through with the monitor open, "Display
// Live CAN data", "Show ASCII data" and "Save Live CAN data to file" ticked:
// record -> link -> status panel -> message line -> list and save log. One
// drain of a number of messages followed by one turn of the event loop, as a
// poll tick of the program does.
//
// With the trace, the bus trace records beside the monitor: a ring of a
// million frames, a filtered view following it, identifier statistics and
// bus load.
//
// Sending, a transmit list's rows go out through the same link at their
// periods on the real clock, between the drains, so the monitor and the trace
// log them as sent: the receive path takes what the sending leaves of the core.
//
// With databases, the trace filters by a message's name instead of its PGN,
// and after every drain its table draws a screenful of the newest rows'
// message names and decodes the newest frame for the signal pane (the window
// does that only every 100 ms: an upper bound).
class ReceivePathRig {
public:
    explicit ReceivePathRig(bool trace, int sendingRows = 0, int periodMs = 10, const TraceDatabases* databases = nullptr)
        : m_trace(trace), m_databases(databases), m_rows(sendingRows), m_periodMs(periodMs), m_adapter(busyBusRecords(4096)), m_link(m_adapter, m_clock),
          m_list(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit), m_logger(m_list),
          m_status(m_link), m_view(m_ring), m_recorder(m_ring)
    {
        if (!m_dir.isValid()) {
            m_problem = "no temporary folder";
            return;
        }
        m_logFile = m_dir.filePath(QStringLiteral("receive.log"));
        m_logger.options().displayLive = true;
        m_logger.options().showAscii = true;
        m_logger.options().saveToFile = true;
        m_logger.saveLog().setFileName(m_logFile);
        m_logger.openSaveLogFile();
        if (!m_logger.saveLog().isOpen()) {
            m_problem = "the save log did not open";
            return;
        }
        m_link.setStatusView(&m_status);
        m_link.setMessageSink(&m_logger);
        m_link.setInterfaceStatus(InterfaceState::Ok);
        if (trace && databases) {
            m_view.setMessageNames([databases](const TraceFrame& frame) {
                const dbc::Message* message = databases->messageOf(frame);
                return message ? message->name : QString();
            });
            m_table.emplace(m_view);
            m_table->setDatabases(databases);
        }
        if (trace) {
            if (m_view.setFilterExpression(databases ? u"msg=CCVS rx not data=00" : u"pgn=FEF1 rx not data=00").has_value()) {
                m_problem = "the trace's filter did not parse";
                return;
            }
            m_recorder.setStats(&m_stats);
            m_recorder.setBusLoad(&m_load);
            m_recorder.attachView(&m_view);
            m_link.setTraceSink(&m_recorder);
        }
        for (int i = 0; i < sendingRows; ++i) {
            m_sending.start(i, {.id = 0x18FF0000u + static_cast<std::uint32_t>(i), .length = 8,
                                .data = {1, 2, 3, 4, 5, 6, 7, static_cast<std::uint8_t>(i)}, .periodMs = periodMs});
        }
    }

    // Set when the rig could not be made.
    const char* problem() const { return m_problem; }
    // Hears every frame beside the trace, as the plotted signals do.
    void addListener(TraceSink& listener) { m_link.addTraceListener(&listener); }

    void drain(int messages)
    {
        // What fell due while the last drain ran, as the send timer fires between drains.
        if (m_sending.running())
            m_sending.poll();
        m_adapter.queue(messages);
        m_link.checkForIncomingCanMessages();
        m_list.flush();
        if (m_table)
            drawTable();
        QCoreApplication::processEvents();
    }
    std::uint64_t handedOut() const { return m_adapter.handedOut(); }
    std::int64_t sent() const { return m_sent; }
    // Frames sent a second since the rows started, and the frames their periods give since.
    double sentPerSecond() { return static_cast<double>(m_sent) * 1e6 / static_cast<double>(m_realClock.nowMicroseconds()); }
    std::int64_t dueSinceStart() { return m_realClock.nowMicroseconds() * m_rows / (std::int64_t{m_periodMs} * 1000); }

    // Every message must have made it, in full, to the list and to the file
    // (and to the trace): null, or what went wrong.
    const char* check(std::uint64_t expected, const ErrorCollector& errors)
    {
        m_logger.flushSaveLog();
        const std::uint64_t received = m_adapter.handedOut();
        const std::uint64_t handed = received + static_cast<std::uint64_t>(m_sent);  // every line of the monitor
        const std::size_t expectedListSize = handed % (MessageLogger::kListLimit + 1);
        const QString lastLine = formatMessageLine(decodeRecord(m_adapter.lastRecord()));
        if (!errors.messages.isEmpty()) {
            m_error = "error reported: " + errors.firstError();
            return m_error.c_str();
        }
        if (received != expected)
            return "the link did not drain every message";
        if (fileBytes(m_logFile) != static_cast<std::int64_t>(handed) * messageline::kRecordBytes)
            return "the save log does not hold one record per message";
        if (lastLineOf(m_logFile) != lastLine)
            return "the save log's last line is not the last message";
        if (m_list.size() != expectedListSize || m_list.isEmpty() || !m_list.at(m_list.size() - 1).startsWith(lastLine))
            return "the list does not end in the last message";
        if (m_status.messagesInBuffer() != QStringLiteral("0"))
            return "the status panel missed the empty buffer";
        if (m_trace && (m_ring.endSequence() != handed || m_stats.rows().empty() || m_view.size() == 0))
            return "the trace missed messages";
        if (m_table && m_drawn == 0)
            return "the trace's table named no message";
        return nullptr;
    }

private:
    static constexpr int kRowsInSight = 40;
    void drawTable()
    {
        m_table->refresh();
        const int rows = m_table->rowCount();
        for (int row = std::max(0, rows - kRowsInSight); row < rows; ++row)
            m_drawn += m_table->data(m_table->index(row, TraceTableModel::Message)).toString().size();
        if (const TraceFrame* newest = rows > 0 ? m_table->frameAt(rows - 1) : nullptr)
            m_drawn += static_cast<qsizetype>(m_databases->signalRows(*newest).size());
        benchmark::DoNotOptimize(m_drawn);
    }

    bool m_trace;
    const TraceDatabases* m_databases;
    qsizetype m_drawn = 0;
    int m_rows;
    int m_periodMs;
    const char* m_problem = nullptr;
    std::string m_error;
    QTemporaryDir m_dir;
    QString m_logFile;
    RingAdapter m_adapter;
    FakeClock m_clock;
    CanLink m_link;
    LineListModel m_list;
    MessageLogger m_logger;
    MonitorStatus m_status;
    TraceRing m_ring;
    TraceView m_view;
    IdentifierStats m_stats;
    BusLoad m_load;
    TraceRecorder m_recorder;
    std::optional<TraceTableModel> m_table;
    std::int64_t m_sent = 0;
    RealClock m_realClock;
    TransmitScheduler m_sending{m_realClock, [this](const TraceFrame& frame) {
                                    ++m_sent;
                                    return m_link.sendLogged(frame.id | can::kExtendedFrame, frame.length, frame.data.data()) == 1;
                                }};
};

// Each iteration is one drain of state.range(0) messages. The program must
// keep up with 250,000 messages a second on one core; with the trace
// (trace=1), 500,000 a second.
void BM_ReceivePath(benchmark::State& state)
{
    const int perDrain = static_cast<int>(state.range(0));
    ErrorCollector errors;
    ReceivePathRig rig(state.range(1) != 0);
    if (rig.problem()) {
        state.SkipWithError(rig.problem());
        return;
    }
    for (auto _ : state)
        rig.drain(perDrain);
    state.SetItemsProcessed(static_cast<std::int64_t>(rig.handedOut()));
    const auto handed = static_cast<std::uint64_t>(state.iterations()) * static_cast<std::uint64_t>(perDrain);
    if (const char* error = rig.check(handed, errors))
        state.SkipWithError(error);
}
BENCHMARK(BM_ReceivePath)->ArgNames({"perDrain", "trace"})->ArgsProduct({{100, 1500}, {0, 1}});

std::int64_t threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// Two rigs side by side: each iteration drains state.range(0) messages
// through `plain` and as many through `other`, in alternation, each timed in
// this thread's CPU time, so that both figures see the same machine. Counters:
// messages a second of `plain` ("without") and of `other` (`name`), and
// name/without. `moreChecks`, when given, runs after both rigs' checks. False
// when the benchmark was skipped.
bool sideBySide(benchmark::State& state, const ErrorCollector& errors, ReceivePathRig& plain, ReceivePathRig& other,
                const std::string& name, const std::function<const char*()>& moreChecks = {})
{
    const int perDrain = static_cast<int>(state.range(0));
    if (plain.problem() || other.problem()) {
        state.SkipWithError(plain.problem() ? plain.problem() : other.problem());
        return false;
    }
    std::int64_t plainNs = 0;
    std::int64_t otherNs = 0;
    for (auto _ : state) {
        std::int64_t t0 = threadCpuNs();
        plain.drain(perDrain);
        std::int64_t t1 = threadCpuNs();
        plainNs += t1 - t0;
        t0 = t1;
        other.drain(perDrain);
        otherNs += threadCpuNs() - t0;
    }
    const auto each = static_cast<std::uint64_t>(state.iterations()) * static_cast<std::uint64_t>(perDrain);
    const char* error = plain.check(each, errors);
    if (!error)
        error = other.check(each, errors);
    if (!error && moreChecks)
        error = moreChecks();
    if (error) {
        state.SkipWithError(error);
        return false;
    }
    const double messages = static_cast<double>(each);
    const double plainRate = plainNs > 0 ? messages * 1e9 / static_cast<double>(plainNs) : 0;
    const double otherRate = otherNs > 0 ? messages * 1e9 / static_cast<double>(otherNs) : 0;
    state.counters["without"] = plainRate;
    state.counters[name] = otherRate;
    state.counters[name + "/without"] = plainRate > 0 ? otherRate / plainRate : 0;
    return true;
}

// The trace's share: the receive path without the trace and with it (a
// filter set). with/without must stay at least 0.7.
void BM_ReceivePathTraceShare(benchmark::State& state)
{
    ErrorCollector errors;
    ReceivePathRig plain(false);
    ReceivePathRig traced(true);
    sideBySide(state, errors, plain, traced, "with");
}
BENCHMARK(BM_ReceivePathTraceShare)->ArgName("perDrain")->Arg(100)->Arg(1500);

// The bus's parameter groups (as J1939 groups of 8 signals) among 1,000 other
// messages, loaded as the trace loads a file.
bool loadBusDatabase(TraceDatabases& databases, const QString& folder)
{
    QByteArray text = "BA_ \"ProtocolType\" \"J1939\";\n";
    const std::pair<std::uint32_t, const char*> groups[] = {
        {0x18EF0000, "PropA"}, {0x18FEF100, "CCVS"}, {0x0CF00400, "EEC1"}, {0x18FECA00, "DM1"}, {0x1CEC0000, "TPCM"}};
    for (const auto& [id, name] : groups) {
        text += "BO_ " + QByteArray::number(0x80000000u | id) + " " + name + ": 8 ECU\n";
        for (int s = 0; s < 8; ++s)
            text += " SG_ S" + QByteArray::number(s) + " : " + QByteArray::number(s * 8) + "|8@1+ (0.5,-10) [0|0] \"km/h\" X\n";
    }
    for (int m = 0; m < 1000; ++m)
        text += "BO_ " + QByteArray::number(0x80000000u | (0x18FF0000u + static_cast<std::uint32_t>(m))) + " Other" + QByteArray::number(m)
                + ": 8 ECU\n SG_ A : 0|16@1+ (1,0) [0|0] \"\" X\n";
    const QString file = folder + QStringLiteral("/bus.dbc");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.flush())
        return false;
    out.close();
    return databases.load(file).isEmpty() && !databases.empty();
}

// The bus's database loaded for a benchmark, which is skipped when it cannot be.
bool loadBusDatabase(benchmark::State& state, QTemporaryDir& dir, TraceDatabases& databases)
{
    if (dir.isValid() && loadBusDatabase(databases, dir.path()))
        return true;
    state.SkipWithError("the database did not load");
    return false;
}

// The trace open with a database loaded, side by side with the receive path
// without the trace. database/without must stay at least 0.5.
void BM_ReceivePathTraceDatabaseShare(benchmark::State& state)
{
    ErrorCollector errors;
    QTemporaryDir dir;
    TraceDatabases databases;
    if (!loadBusDatabase(state, dir, databases))
        return;
    ReceivePathRig plain(false);
    ReceivePathRig named(true, 0, 10, &databases);
    sideBySide(state, errors, plain, named, "database");
}
BENCHMARK(BM_ReceivePathTraceDatabaseShare)->ArgName("perDrain")->Arg(100)->Arg(1500);

// The receive path side by side with and without a transmit list of 100 rows
// at 10 ms going out (10,000 frames a second on the real clock, sent through
// the link and shown as sent), timed with sending included.
// sending/without must stay at least 0.9; "sent/s" counts the frames sent a
// second.
void BM_ReceivePathWhileSending(benchmark::State& state)
{
    ErrorCollector errors;
    ReceivePathRig plain(false);
    ReceivePathRig sending(false, 100, 10);
    double sentPerSecond = 0;
    const bool timed = sideBySide(state, errors, plain, sending, "sending", [&]() -> const char* {
        sentPerSecond = sending.sentPerSecond();
        return sending.sent() < sending.dueSinceStart() - 200 ? "the transmit list fell behind its periods" : nullptr;
    });
    if (timed)
        state.counters["sent/s"] = sentPerSecond;
}
BENCHMARK(BM_ReceivePathWhileSending)->ArgName("perDrain")->Arg(100)->Arg(1500);

// The signals of a database plotted while the trace is closed: every signal of
// the bus's J1939 groups from every source that sends them (56 series: each
// frame of those groups is decoded and appends eight points) side by side with
// the receive path without them. plotted/without must stay at least 0.4.
void BM_ReceivePathSignalPlotShare(benchmark::State& state)
{
    ErrorCollector errors;
    QTemporaryDir dir;
    TraceDatabases databases;
    if (!loadBusDatabase(state, dir, databases))
        return;
    std::vector<TraceDatabases::Identifier> seen;
    for (const std::uint32_t id : busyBusIdentifiers())
        seen.push_back({id, true});
    SignalTap tap;
    std::vector<std::unique_ptr<PlotSeries>> series;
    TimeLine line;
    for (const dbc::SignalRef& signal : databases.signalList(seen)) {
        if (signal.valid() && signal.message->j1939) {
            series.push_back(SignalTap::seriesOf(*signal.signal));
            tap.addSeries(signal, series.back().get(), &line);
        }
    }
    ReceivePathRig plain(false);
    ReceivePathRig plotted(false);
    plotted.addListener(tap);
    if (sideBySide(state, errors, plain, plotted, "plotted"))
        state.counters["series"] = static_cast<double>(series.size());
}
BENCHMARK(BM_ReceivePathSignalPlotShare)->ArgName("perDrain")->Arg(100)->Arg(1500);

}  // namespace
}  // namespace tellvane::bench
