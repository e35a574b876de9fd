#include "BenchSupport.h"

#include "can/AdapterRecord.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/LineListModel.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorStatus.h"
#include "trace/BusLoad.h"
#include "trace/IdentifierStats.h"
#include "trace/TraceRecorder.h"
#include "trace/TraceRing.h"
#include "trace/TraceView.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

// Everything a received message passes through with the monitor open, "Display
// Live CAN data", "Show ASCII data" and "Save Live CAN data to file" ticked:
// record -> link -> status panel -> message line -> list and save log. Each
// iteration is one drain of state.range(0) messages followed by one turn of
// the event loop, as a poll tick of the program does. The program must keep
// up with 250,000 messages a second on one core.
//
// With trace=1 the bus trace records beside the monitor: a ring of a million
// frames, a filtered view following it, identifier statistics and bus load.
// It must keep at least half the rate without it, and 500,000 messages a second.
void BM_ReceivePath(benchmark::State& state)
{
    const int perDrain = static_cast<int>(state.range(0));
    const bool trace = state.range(1) != 0;
    ErrorCollector errors;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const QString logFile = dir.filePath(QStringLiteral("receive.log"));

    RingAdapter adapter(busyBusRecords(4096));
    FakeClock clock;
    CanLink link(adapter, clock);
    LineListModel list(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit);
    MessageLogger logger(list);
    logger.options().displayLive = true;
    logger.options().showAscii = true;
    logger.options().saveToFile = true;
    logger.saveLog().setFileName(logFile);
    logger.openSaveLogFile();
    if (!logger.saveLog().isOpen()) {
        state.SkipWithError("the save log did not open");
        return;
    }
    MonitorStatus status(link);
    link.setStatusView(&status);
    link.setMessageSink(&logger);
    link.setInterfaceStatus(InterfaceState::Ok);

    TraceRing ring;
    TraceView view(ring);
    IdentifierStats stats;
    BusLoad load;
    TraceRecorder recorder(ring);
    if (trace) {
        if (view.setFilterExpression(u"pgn=FEF1 rx not data=00").has_value()) {
            state.SkipWithError("the trace's filter did not parse");
            return;
        }
        recorder.setStats(&stats);
        recorder.setBusLoad(&load);
        recorder.attachView(&view);
        link.setTraceSink(&recorder);
    }

    for (auto _ : state) {
        adapter.queue(perDrain);
        link.checkForIncomingCanMessages();
        list.flush();
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(adapter.handedOut()));

    // Every message must have made it, in full, to the list and to the file.
    logger.flushSaveLog();
    const std::uint64_t handed = adapter.handedOut();
    const std::size_t expectedListSize = handed % (MessageLogger::kListLimit + 1);
    const QString lastLine = formatMessageLine(decodeRecord(adapter.lastRecord()));
    if (!errors.errors().isEmpty())
        state.SkipWithError(("error reported: " + errors.firstError()).c_str());
    else if (handed != static_cast<std::uint64_t>(state.iterations()) * static_cast<std::uint64_t>(perDrain))
        state.SkipWithError("the link did not drain every message");
    else if (fileBytes(logFile) != static_cast<std::int64_t>(handed) * messageline::kRecordBytes)
        state.SkipWithError("the save log does not hold one record per message");
    else if (lastLineOf(logFile) != lastLine)
        state.SkipWithError("the save log's last line is not the last message");
    else if (list.size() != expectedListSize || list.isEmpty() || !list.at(list.size() - 1).startsWith(lastLine))
        state.SkipWithError("the list does not end in the last message");
    else if (status.messagesInBuffer() != QStringLiteral("0"))
        state.SkipWithError("the status panel missed the empty buffer");
    else if (trace && (ring.endSequence() != handed || stats.rows().empty() || view.size() == 0))
        state.SkipWithError("the trace missed messages");
}
BENCHMARK(BM_ReceivePath)->ArgNames({"perDrain", "trace"})->ArgsProduct({{100, 1500}, {0, 1}});

}  // namespace
}  // namespace tellvane::bench
