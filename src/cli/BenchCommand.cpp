// tellvane-cli bench: the simulated boards on an outside bus.

#include "adapters/AdapterFactory.h"
#include "cli/BenchRunner.h"
#include "cli/CliSupport.h"
#include "core/Clock.h"
#include "core/OutputFile.h"
#include "core/ProgramFiles.h"
#include "sim/BenchBridge.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace tellvane::cli {

namespace {

constexpr int kEventIntervalMs = 100;

QString boardLine(const SimBoardSpec& board)
{
    const QString pCode = QString::number(board.pCode).rightJustified(8, QLatin1Char('0'));
    return QStringLiteral("  board %1 (%2): type %3, serial %4, style %5, variant %6%7")
        .arg(QStringLiteral("0x") + QString::number(board.address, 16).toUpper().rightJustified(2, QLatin1Char('0')))
        .arg(board.address)
        .arg(board.boardType)
        .arg(board.serial)
        .arg(pCode.left(4), pCode.mid(4), board.present ? QString() : QStringLiteral(", switched off"));
}

// What a board flashed, into the folder when one is named; imagesFailed is
// set when a file cannot be written.
void writeImages(SimBoard& board, const QString& folder, QTextStream& out, QTextStream& err, bool& imagesFailed)
{
    SimBootLoader& loader = board.bootLoader();
    const int address = board.spec().address;
    for (int area = 0; area < 4; ++area) {
        const SimBootLoader::Image& image = loader.flashed(area);
        if (image.empty())
            continue;
        out << "Board " << address << " flashed area " << area << " (" << loader.areaLabel(area) << "): "
            << image.size() << " bytes" << Qt::endl;
        if (folder.isEmpty())
            continue;
        const QString name = QDir(folder).filePath(QStringLiteral("board-%1-area-%2.txt").arg(address).arg(area));
        OutputFile file;
        if (!file.openFile(name) || file.write(SimBootLoader::imageText(image)) < 0 || !file.commit()) {
            err << "tellvane-cli: cannot write " << name << ": " << file.failure() << Qt::endl;
            imagesFailed = true;
        }
    }
}

int bench(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const NumberOption seconds = numberOption(options, QStringLiteral("seconds"), kSecondsRange);
    if (!options.positionalArguments().isEmpty() || !options.isSet(QStringLiteral("adapter")) || !seconds.ok())
        return refuse(command.usage, err, {seconds.error});
    const QString adapterName = options.value(QStringLiteral("adapter"));
    if (canonicalAdapterName(adapterName) == QLatin1String("sim")) {
        err << "tellvane-cli: the bench needs an outside bus, not the simulated one" << Qt::endl;
        return 2;
    }

    const QString benchFile = options.value(QStringLiteral("bench"));
    const BenchSpec spec = loadBench(benchFile);
    // The outside bus runs at the boards' rate whatever the file's own bit rate.
    if (spec.trafficBitsPerSecond > BenchSpec::kBoardsBitRate) {
        return refuse(command.usage, err,
                      {QStringLiteral("the traffic of %1 needs %2 bits a second, more than the %3 the bus carries")
                           .arg(benchFile)
                           .arg(spec.trafficBitsPerSecond)
                           .arg(BenchSpec::kBoardsBitRate)});
    }
    for (const QString& warning : spec.warnings)
        err << warning << Qt::endl;

    RealClock clock;
    const std::unique_ptr<Adapter> adapter = openAdapter(adapterName, clock, err);
    if (!adapter)
        return 2;
    const QString imageFolder = options.value(QStringLiteral("images"));
    if (!imageFolder.isEmpty())
        QDir().mkpath(imageFolder);

    SimAdapter bench(clock);
    buildBench(bench, spec);
    BenchBridge bridge(bench, *adapter);
    bool imagesFailed = false;
    bridge.setFlashObserver([&](SimBoard& board) { writeImages(board, imageFolder, out, err, imagesFailed); });

    const QString name = adapter->name();
    BenchRunner runner(bridge, bench, *adapter, clock);
    std::int16_t lastStart = 1;
    runner.onStarted = [&] {
        out << "Bench on " << name << " with " << spec.boards.size() << " boards:" << Qt::endl;
        for (const SimBoardSpec& board : spec.boards)
            out << boardLine(board) << Qt::endl;
        out << "ready" << Qt::endl;
    };
    runner.onStartFailed = [&](std::int16_t r) {
        if (r != lastStart)
            err << "The adapter " << name << " does not come up (" << r << "); trying again every second" << Qt::endl;
        lastStart = r;
    };
    runner.onSendResultChanged = [&](std::int16_t r) {
        if (r != 1)
            err << "Sending on " << name << " fails (" << r << ")" << Qt::endl;
        else
            err << "Sending on " << name << " works again" << Qt::endl;
    };

    installStopSignals();
    QElapsedTimer running;
    running.start();
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    runner.run([&] {
        // Nothing of the bench needs the event loop; what is posted to it still runs, now and then.
        if (sinceEvents.elapsed() >= kEventIntervalMs) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        return stopRequested() || (seconds.value && running.elapsed() >= *seconds.value * 1000);
    });
    out << "Bench ends: " << bridge.framesOut() << " frames sent, " << bridge.framesIn() << " received, "
        << bridge.sendFailures() << " not sent" << Qt::endl;
    return imagesFailed ? 1 : 0;
}

}  // namespace

Command benchCommand()
{
    return {.name = QStringLiteral("bench"),
            .description = QStringLiteral("Runs the simulated boards on a bus, until Ctrl+C."),
            .usage = QStringLiteral("usage: tellvane-cli bench --adapter NAME [--bench FILE] [--images DIR] [--seconds "
                                    "S]\n       S: 1 to 31536000, decimal or 0x hexadecimal"),
            .options = {adapterOption(),
                        {QStringLiteral("bench"),
                         QStringLiteral("The bench file; Configuration/SimulatedBench.txt when not given."),
                         QStringLiteral("FILE"),
                         programFilesFolder(QCoreApplication::applicationDirPath()) +
                             QStringLiteral("/Configuration/SimulatedBench.txt")},
                        {QStringLiteral("images"), QStringLiteral("Where to write what the boards flash."),
                         QStringLiteral("DIR")},
                        {QStringLiteral("seconds"), QStringLiteral("Ends after S seconds: 1 to 31536000."),
                         QStringLiteral("S")}},
            .run = &bench};
}

}  // namespace tellvane::cli
