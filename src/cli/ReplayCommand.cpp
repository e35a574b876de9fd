// tellvane-cli replay: a log played at its recorded timing, on the console or
// onto a bus.

#include "can/CanLink.h"
#include "can/CanMessage.h"
#include "cli/CliSupport.h"
#include "core/Clock.h"
#include "core/Failure.h"
#include "logs/LogReplay.h"
#include "monitor/MessageLine.h"
#include "trace/TraceRecorder.h"

#include <algorithm>

namespace tellvane::cli {

namespace {

// Waits are cut into steps this long, so that Ctrl+C ends a replay at once.
constexpr std::int64_t kStopCheckUs = 50'000;

int replay(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const QStringList files = options.positionalArguments();
    const bool transmit = options.isSet(QStringLiteral("transmit"));
    QStringList reasons;
    if (files.size() != 1 || files.first().isEmpty())
        reasons << QStringLiteral("replay takes one log file");
    const QString file = files.value(0);
    const TraceLogFormat format = traceLogFormatOf(file);
    if (!file.isEmpty() && format == TraceLogFormat::Unknown)
        reasons << QStringLiteral("%1: the extension is none of .txt, .log, .asc, .csv").arg(file);
    bool speedOk = true;
    const double speed = options.isSet(QStringLiteral("speed")) ? options.value(QStringLiteral("speed")).toDouble(&speedOk) : 1.0;
    if (!speedOk || !(speed >= TraceReplay::kMinSpeed && speed <= TraceReplay::kMaxSpeed))
        reasons << QStringLiteral("--speed takes a factor from 0.1 to 10");
    if (transmit && !options.isSet(QStringLiteral("adapter")))
        reasons << QStringLiteral("--transmit needs --adapter: the bus to send on");
    if (!reasons.isEmpty())
        return refuse(command.usage, err, reasons);

    // Opening a pipe waits for its writer, and a read of one for its bytes.
    installStopSignals(true);
    RealClock clock;
    std::unique_ptr<Adapter> adapter;
    std::unique_ptr<CanLink> link;
    bool failed = false;
    std::int64_t leftOut = 0;
    std::int64_t played = 0;
    LogReplay replay(clock, [&](const TraceFrame& frame) {
        ++played;
        // The tool plays data frames only, as the bus trace's replay does.
        if (frame.flags & (TraceFrame::Remote | TraceFrame::Error)) {
            ++leftOut;
            return;
        }
        if (link)
            failed = sendReplayedFrame(*link, frame) != ReplaySend::Sent || failed;
        // The frame's line as the monitor shows a replayed one, with its time in the log.
        try {
            out << formatMessageLine(TraceRecorder::messageOf(frame)) << '\n';
        } catch (const Failure&) {
            failed = true;
        }
    });
    if (!replay.open(file)) {
        err << "tellvane-cli: cannot open " << file << ": " << replay.errorString() << Qt::endl;
        return 1;
    }
    if (transmit) {
        adapter = openAdapter(options.value(QStringLiteral("adapter")), clock, err);
        if (!adapter)
            return 2;
        link = std::make_unique<CanLink>(*adapter, clock);
        link->pollTick();  // probes and configures the adapter
    }
    auto report = [&] {
        for (const TraceLogWarning& warning : replay.takeWarnings()) {
            err << file << ':' << warning.line << ": " << warning.text << '\n';
            failed = true;
        }
    };
    TraceReplay& player = replay.player();
    player.setSpeed(speed);
    player.setLoop(options.isSet(QStringLiteral("loop")));
    // A log whose frames are all due at once, or whose lines are no frames,
    // is read without a pause: it says how far it is, and stops at Ctrl+C.
    ReadProgress progress(err, file);
    replay.setCheck([&] {
        report();
        err.flush();
        return progress.check(replay.bytesRead(), played);
    });

    while (!stopRequested()) {
        const std::optional<std::int64_t> due = player.poll();
        report();
        out.flush();
        // Lines the console cannot take end the replay; the caller says why.
        if (!due || !outputFailure(out).isEmpty())
            break;
        clock.sleepUntilUs(std::min(*due, clock.nowMicroseconds() + kStopCheckUs));
    }
    report();
    if (const std::int64_t more = replay.droppedWarnings(); more > 0) {
        err << file << ": and " << more << " more warnings" << '\n';
        failed = true;
    }
    if (leftOut > 0) {
        err << file << ": " << leftOut << " remote or error frames left out" << '\n';
        failed = true;
    }
    if (!replay.errorString().isEmpty()) {
        err << "tellvane-cli: " << file << ": " << replay.errorString() << Qt::endl;
        failed = true;
    }
    out.flush();
    err.flush();
    if (stopRequested())
        return stoppedExitCode();
    return failed ? 1 : 0;
}

}  // namespace

Command replayCommand()
{
    return {.name = QStringLiteral("replay"),
            .description = QStringLiteral("Plays a log (.txt, .log, .asc or .csv) at its recorded timing and prints each "
                                          "frame's message line as it leaves; with --transmit the frames are sent on "
                                          "the adapter's bus too. Ends at the end of the log, or with Ctrl+C (exit code 130; 143 for SIGTERM)."),
            .usage = QStringLiteral("usage: tellvane-cli replay [--adapter NAME --transmit] FILE [--speed F] [--loop]\n"
                                    "       F: 0.1 to 10"),
            .options = {adapterOption(),
                        {QStringLiteral("speed"), QStringLiteral("Plays F times as fast: 0.1 to 10 (1 by default)."),
                         QStringLiteral("F")},
                        {QStringLiteral("loop"), QStringLiteral("Starts again at the end, until Ctrl+C.")},
                        {QStringLiteral("transmit"), QStringLiteral("Sends the frames on the adapter's bus.")}},
            .arguments = QStringLiteral("FILE"),
            .argumentsHelp = QStringLiteral("The log to play."),
            .run = &replay};
}

}  // namespace tellvane::cli
