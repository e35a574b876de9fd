// tellvane-cli send: frames typed as cansend takes them, or a saved transmit
// list, put on a bus once or at their periods.

#include "can/CanLink.h"
#include "can/CanMessage.h"
#include "cli/CliSupport.h"
#include "core/Clock.h"
#include "transmit/BusShare.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitRow.h"
#include "transmit/TransmitScheduler.h"

#include <algorithm>
#include <vector>

namespace tellvane::cli {

namespace {

// Waits are cut into steps this long, so that Ctrl+C ends the sending at once.
constexpr std::int64_t kStopCheckUs = 50'000;
// The link is drained and checked as the monitor's poll timer does it.
constexpr int kPollIntervalMs = 25;
constexpr firmware::NumberRange kPeriodRange{TransmitRow::kMinPeriodMs, TransmitRow::kMaxPeriodMs};

const QString kAdapter = QStringLiteral("adapter");
const QString kPeriod = QStringLiteral("period");
const QString kCount = QStringLiteral("count");
const QString kList = QStringLiteral("list");

// The frames typed on the command line as rows, each going once or at the
// period given; a reason for each that is no frame to send.
std::vector<TransmitRow> typedRows(const QStringList& frames, const NumberOption& period, const NumberOption& count,
                                   QStringList& reasons)
{
    std::vector<TransmitRow> rows;
    for (const QString& text : frames) {
        TraceFrame frame;
        QString why;
        if (!readSendFrame(text.toStdString(), frame, why)) {
            reasons << QStringLiteral("%1: %2").arg(text, why);
            continue;
        }
        TransmitRow row = rowOfFrame(frame);
        row.periodMs = static_cast<int>(period.value.value_or(0));
        row.count = count.value.value_or(0);
        rows.push_back(row);
    }
    return rows;
}

int send(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const QStringList frames = options.positionalArguments();
    const NumberOption period = numberOption(options, kPeriod, kPeriodRange);
    const NumberOption count = numberOption(options, kCount, kCountRange);
    const bool fromList = options.isSet(kList);
    const QString listFile = options.value(kList);
    QStringList reasons{period.error, count.error};
    if (!options.isSet(kAdapter))
        reasons << QStringLiteral("--adapter is needed: the bus to send on");
    if (options.isSet(kCount) && !options.isSet(kPeriod))
        reasons << QStringLiteral("--count goes with --period: without it each frame is sent once");
    if (fromList) {
        if (listFile.isEmpty())
            reasons << QStringLiteral("--list needs the name of the transmit list to send");
        if (!frames.isEmpty())
            reasons << QStringLiteral("--list does not go with frames on the command line");
        if (options.isSet(kPeriod) || options.isSet(kCount))
            reasons << QStringLiteral("--period and --count do not go with --list: each row of the list has its own");
    } else if (frames.isEmpty()) {
        reasons << QStringLiteral("send takes the frames to send (ID#DATA), or --list FILE");
    }
    std::vector<TransmitRow> rows = typedRows(frames, period, count, reasons);
    reasons.removeAll(QString());
    if (!reasons.isEmpty())
        return refuse(command.usage, err, reasons);

    bool failed = false;
    if (fromList) {
        const transmitlist::Loaded list = transmitlist::load(listFile);
        if (!list.ok()) {
            err << "tellvane-cli: " << listFile << ": " << list.error << Qt::endl;
            return 1;
        }
        for (const QString& warning : list.warnings) {
            err << listFile << ": " << warning << '\n';
            failed = true;
        }
        // A row switched off in the list stays off.
        std::copy_if(list.rows.begin(), list.rows.end(), std::back_inserter(rows),
                     [](const TransmitRow& row) { return row.enabled; });
        if (rows.empty()) {
            err << "tellvane-cli: " << listFile << ": no enabled row: nothing to send" << Qt::endl;
            return 1;
        }
    }
    if (const QString share = busShareProblem(rows); !share.isEmpty())
        return refuse(command.usage, err, {fromList ? listFile + QStringLiteral(": ") + share : share});

    // Opening a bus that does not answer may wait; a second Ctrl+C ends that.
    installStopSignals(true);
    RealClock clock;
    const std::unique_ptr<Adapter> adapter = openAdapter(options.value(kAdapter), clock, err);
    if (!adapter)
        return 2;
    CanLink link(*adapter, clock);
    link.setTimerIntervalMs(kPollIntervalMs);
    link.pollTick();  // probes and configures the adapter

    std::int64_t sent = 0;
    TransmitScheduler scheduler(clock, [&](const TraceFrame& frame) {
        const std::uint32_t idAsSent = frame.id | (frame.extended() ? can::kExtendedFrame : 0);
        const bool taken = link.sendLogged(idAsSent, frame.length, frame.data.data()) == 1;
        sent += taken ? 1 : 0;
        return taken;
    });
    // The frames that go once first, in their order; then the periodic ones,
    // each on its period at the phase the scheduler picks for it.
    bool refused = false;
    for (int key = 0; key < static_cast<int>(rows.size()) && !refused && !stopRequested(); ++key) {
        const TransmitRow& row = rows[static_cast<std::size_t>(key)];
        refused = !row.periodic() && !scheduler.sendOnce(key, row);
    }
    for (int key = 0; key < static_cast<int>(rows.size()) && !refused; ++key)
        scheduler.start(key, rows[static_cast<std::size_t>(key)]);  // the periodic ones
    std::int64_t nextPollUs = clock.nowMicroseconds() + kPollIntervalMs * 1000;
    while (!refused && scheduler.running() && !stopRequested()) {
        const std::optional<std::int64_t> due = scheduler.poll();
        if (!scheduler.stopReason().isEmpty()) {
            refused = true;
            break;
        }
        if (!due)
            break;
        // The receive path is drained meanwhile: the adapter's queue never fills.
        if (clock.nowMicroseconds() >= nextPollUs) {
            link.pollTick();
            nextPollUs = clock.nowMicroseconds() + kPollIntervalMs * 1000;
        }
        clock.sleepUntilUs(std::min({*due, nextPollUs, clock.nowMicroseconds() + kStopCheckUs}));
    }
    if (refused) {
        err << "tellvane-cli: " << scheduler.stopReason() << Qt::endl;
        failed = true;
    }
    scheduler.stopAll();
    out << sent << " frames sent" << Qt::endl;
    if (stopRequested())
        return stoppedExitCode();
    return failed ? 1 : 0;
}

}  // namespace

Command sendCommand()
{
    return {.name = QStringLiteral("send"),
            .description = QStringLiteral("Sends frames on the adapter's bus, each once in order, or every MS "
                                          "milliseconds with --period (N times with --count, else until Ctrl+C); "
                                          "--list sends a saved transmit list, its periodic rows at their periods. "
                                          "Prints how many frames were sent. Exit code 1 when the adapter refused a "
                                          "frame or a row of the list was left out; 130 after Ctrl+C, 143 after SIGTERM."),
            .usage = QStringLiteral("usage: tellvane-cli send --adapter NAME FRAME... [--period MS [--count N]]\n"
                                    "       tellvane-cli send --adapter NAME --list FILE\n"
                                    "       FRAME: ID#DATA (123#DEADBEEF, 18FEF1F9#01.40.FF), MS: 1 to 3600000, "
                                    "N: 1 to 2147483647"),
            .options = {adapterOption(),
                        {kPeriod, QStringLiteral("Sends the frames again every MS milliseconds: 1 to 3600000."),
                         QStringLiteral("MS")},
                        {kCount, QStringLiteral("With --period: sends each frame N times, 1 to 2147483647 (without "
                                                "it, until Ctrl+C)."),
                         QStringLiteral("N")},
                        {kList, QStringLiteral("Sends the enabled rows of a saved transmit list instead."),
                         QStringLiteral("FILE")}},
            .arguments = QStringLiteral("FRAME..."),
            .argumentsHelp = QStringLiteral("A data frame as cansend takes it: 3 hex digits of a standard "
                                            "identifier or 8 of an extended one, #, and 0 to 8 bytes in hex "
                                            "(dots between them allowed). Remote (123#R) and CAN FD (##) frames "
                                            "are refused."),
            .run = &send};
}

}  // namespace tellvane::cli
