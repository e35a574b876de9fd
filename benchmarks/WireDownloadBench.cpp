#include "BenchSupport.h"

#include "can/BoardDirectory.h"
#include "can/CanFrameBits.h"
#include "can/CanLink.h"
#include "can/LinkInterfaces.h"
#include "can/TextTransport.h"
#include "core/Clock.h"
#include "core/SRecord.h"
#include "core/SettingsStore.h"
#include "firmware/DownloadRules.h"
#include "firmware/FirmwareDownloader.h"
#include "firmware/ListDownloaderView.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

constexpr int kBitRate = 250000;
constexpr int kAddress = 0x21;
constexpr std::uint32_t kPacketId = 0x18EF21F9;  // tool to board 0x21
constexpr std::uint32_t kAckId = 0x18EFF921;     // board 0x21 to tool
constexpr int kDataLines = 8192;
constexpr int kBytesPerLine = 32;

// The downloader window, recording: the moments the file starts and ends, and
// when each line was through with the clock's pauses so far.
class RecordingView final : public ListDownloaderView {
public:
    explicit RecordingView(FakeClock& clock) : m_clock(clock) {}

    QString status;
    bool loading = false;           // "Loading file..." shown, no record line sent yet
    std::int64_t lastLineUs = -1;   // "Downloading 100%" shown
    std::vector<std::int64_t> lineEndUs;
    std::vector<int> lineDelays;

    void setStatus(const QString& text) override
    {
        status = text;
        if (text == QLatin1String("Loading file..."))
            loading = true;
        if (text.startsWith(QLatin1String("Downloading "))) {
            lineEndUs.push_back(m_clock.nowMicroseconds());
            lineDelays.push_back(m_clock.delayCalls());
            if (text == QLatin1String("Downloading 100%") && lastLineUs < 0)
                lastLineUs = m_clock.nowMicroseconds();
        }
    }
private:
    FakeClock& m_clock;
};

// The moment the first record line goes out, and the text packets sent.
class SendTimes final : public CanMessageSink {
public:
    SendTimes(FakeClock& clock, RecordingView& view) : m_clock(clock), m_view(view) {}
    void logCanMessage(const CanMessage& message) override
    {
        const bool sentText = (static_cast<std::uint32_t>(message.id) & can::kExtendedFrame) != 0
            && message.length >= 2 && message.data[0] == 0xFE;
        if (!sentText)
            return;
        if (m_view.loading) {
            m_view.loading = false;
            firstLineUs = m_clock.nowMicroseconds();
        }
        if (firstLineUs >= 0 && m_view.lastLineUs < 0)
            ++filePackets;
    }
    std::int64_t firstLineUs = -1;
    std::int64_t filePackets = 0;

private:
    FakeClock& m_clock;
    RecordingView& m_view;
};

// The firmware file and what the wire needs at least to carry it: every text
// packet with its acknowledgement, once with and once without stuff bits.
struct WireFile {
    QByteArray text;
    SimBootLoader::Image image;
    std::vector<QByteArray> lines;  // as sent, each ending in LF
    std::int64_t packets = 0;
    std::uint64_t bits = 0;
    std::uint64_t unstuffedBits = 0;
};

WireFile makeFile()
{
    WireFile f;
    auto add = [&](const QByteArray& line) {
        f.text += line + "\r\n";
        f.lines.push_back(line + '\n');
    };
    add(makeSRecord('0', 0, "WIRE 256K"));
    for (int i = 0; i < kDataLines; ++i) {
        QByteArray data;
        for (int b = 0; b < kBytesPerLine; ++b)
            data.append(static_cast<char>((i * 131 + b * 29 + (i >> 8)) & 0xFF));
        const auto address = static_cast<std::uint32_t>(0x100000 + i * kBytesPerLine);
        add(makeSRecord('2', address, data));
        for (int b = 0; b < kBytesPerLine; ++b)
            f.image[address + static_cast<std::uint32_t>(b)] = static_cast<std::uint8_t>(data.at(b));
    }
    add(makeSRecord('8', 0x100000, QByteArray()));

    const std::uint8_t ack[1] = {0xFE};
    const int ackBits = CanFrameBits::frameBits(kAckId, true, 1, ack);
    for (const QByteArray& line : f.lines) {
        for (qsizetype p = 0; p < line.size(); p += TextTransport::kPacketCharacters) {
            const QByteArray chars = line.mid(p, TextTransport::kPacketCharacters);
            std::uint8_t data[8] = {0xFE};
            for (qsizetype i = 0; i < chars.size(); ++i)
                data[i + 1] = static_cast<std::uint8_t>(chars.at(i));
            const auto length = static_cast<std::uint8_t>(chars.size() + 1);
            f.bits += static_cast<std::uint64_t>(CanFrameBits::frameBits(kPacketId, true, length, data) + ackBits);
            f.unstuffedBits += static_cast<std::uint64_t>(67 + 8 * length + 67 + 8);
            ++f.packets;
        }
    }
    return f;
}

double wireSeconds(std::uint64_t bits)
{
    return static_cast<double>(bits) / kBitRate;
}

// A 256 KiB image in S2 lines of 32 bytes into area 2 of a simulated board,
// through the simulated bus at 250 kbit/s on a fake clock, with the
// downloader driven as the command-line flash does. The figures are simulated
// seconds: the transfer from the first record line sent to the last line
// acknowledged, the whole Start Download stage, and the least time the wire
// needs for the file's packets and acknowledgements.
void BM_Download_SimulatedWire(benchmark::State& state)
{
    ErrorCollector errors;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const WireFile wire = makeFile();
    const QString fileName = dir.filePath(QStringLiteral("wire.QXP"));
    {
        QFile out(fileName);
        if (!out.open(QIODevice::WriteOnly) || out.write(wire.text) != wire.text.size()) {
            state.SkipWithError("the firmware file could not be written");
            return;
        }
    }

    double transferSeconds = 0;
    double stageSeconds = 0;
    double unpacedExcess = 0;
    double pacedExcess = 0;
    std::int64_t pacedLines = 0;
    std::int64_t packets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FakeClock clock;
        SimAdapter sim(clock);
        buildBench(sim, parseBench(QStringLiteral("board 0x21 1537 7 12010003\nbitrate %1\n").arg(kBitRate),
                                   QStringLiteral("benchmark")));
        SettingsStore settings(dir.filePath(QStringLiteral("flash.ini")));
        CanLink link(sim, clock);
        BoardDirectory boards(link, settings);
        TextTransport transport(link, clock, boards);
        test::FakeDialogs dialogs;
        RecordingView view(clock);
        SendTimes sends(clock, view);
        FirmwareDownloader downloader(transport, boards, link, clock, dialogs, settings, dir.path());
        link.setRouter(&boards);
        link.setMessageSink(&sends);
        boards.setPacketReceiver(&transport);
        boards.setDownloaderControl(&downloader);
        downloader.setView(&view);

        // The link comes up and the board announces itself.
        auto known = [&] {
            for (int s = 0; s < boards.slotCount(); ++s) {
                if (boards.slot(s).nodeAddress == kAddress)
                    return true;
            }
            return false;
        };
        for (int tick = 0; tick < 400 && (link.interfaceState() != InterfaceState::Ok || !known()); ++tick) {
            link.pollTick();
            clock.delayMs(25);
        }
        for (int i = 0; i < 4; ++i) {
            link.pollTick();
            clock.delayMs(25);
        }
        if (!known()) {
            state.SkipWithError("the board did not announce itself");
            return;
        }
        boards.setDownloadBoardAddress(static_cast<std::int16_t>(kAddress));
        downloader.open();
        downloader.requestNodeInfo();
        int row = -1;
        for (int i = 0; i < view.info.size() && row < 0; ++i) {
            if (firmware::areaOfLine(view.info[i]) == QLatin1String("2"))
                row = i;
        }
        if (row < 0) {
            state.SkipWithError("the board lists no area 2");
            return;
        }
        view.selected = row;
        downloader.infoListClicked(row);
        view.setFileName(fileName);
        SimBoard& board = static_cast<SimBoard&>(*sim.bus().nodes().front());
        state.ResumeTiming();

        const std::int64_t stageStart = clock.nowMicroseconds();
        downloader.startDownload();
        const std::int64_t stageEnd = clock.nowMicroseconds();

        state.PauseTiming();
        if (!downloader.lastStageSucceeded() || board.bootLoader().loaded(2) != wire.image) {
            state.SkipWithError(("the download failed: " + view.status.toStdString()).c_str());
            return;
        }
        if (view.lineEndUs.size() != wire.lines.size() || sends.firstLineUs < 0) {
            state.SkipWithError("not every line was reported");
            return;
        }
        transferSeconds = static_cast<double>(view.lastLineUs - sends.firstLineUs) / 1e6;
        stageSeconds = static_cast<double>(stageEnd - stageStart) / 1e6;
        packets = sends.filePackets;
        // Where the time above the wire's goes: lines with and without the paced waits.
        const std::uint8_t ack[1] = {0xFE};
        const int ackBits = CanFrameBits::frameBits(kAckId, true, 1, ack);
        unpacedExcess = pacedExcess = 0;
        pacedLines = 0;
        for (std::size_t i = 0; i < wire.lines.size(); ++i) {
            std::uint64_t bits = 0;
            const QByteArray& line = wire.lines[i];
            for (qsizetype p = 0; p < line.size(); p += TextTransport::kPacketCharacters) {
                const QByteArray chars = line.mid(p, TextTransport::kPacketCharacters);
                std::uint8_t data[8] = {0xFE};
                for (qsizetype c = 0; c < chars.size(); ++c)
                    data[c + 1] = static_cast<std::uint8_t>(chars.at(c));
                bits += static_cast<std::uint64_t>(
                    CanFrameBits::frameBits(kPacketId, true, static_cast<std::uint8_t>(chars.size() + 1), data) + ackBits);
            }
            const std::int64_t start = i == 0 ? sends.firstLineUs : view.lineEndUs[i - 1];
            const double excess = static_cast<double>(view.lineEndUs[i] - start) / 1e6 - wireSeconds(bits);
            const bool paced = i > 0 && view.lineDelays[i] != view.lineDelays[i - 1];
            (paced ? pacedExcess : unpacedExcess) += excess;
            pacedLines += paced;
        }
        if (!errors.messages.isEmpty()) {
            state.SkipWithError(("error reported: " + errors.firstError()).c_str());
            return;
        }
        state.ResumeTiming();
    }

    const double bound = wireSeconds(wire.bits);
    state.counters["transfer_s"] = transferSeconds;
    state.counters["stage_s"] = stageSeconds;
    state.counters["packets"] = static_cast<double>(packets);
    state.counters["bound_s"] = bound;
    state.counters["bound_nostuff_s"] = wireSeconds(wire.unstuffedBits);
    state.counters["transfer_per_bound"] = transferSeconds / bound;
    state.counters["paced_lines"] = static_cast<double>(pacedLines);
    state.counters["over_unpaced_s"] = unpacedExcess;
    state.counters["over_paced_s"] = pacedExcess;
    if (packets != wire.packets)
        state.SkipWithError("the transfer sent another number of packets than the file has");
}
BENCHMARK(BM_Download_SimulatedWire)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tellvane::bench
