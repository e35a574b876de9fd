#include "signals/SignalDatabase.h"

#include <benchmark/benchmark.h>

#include <random>

// Signal databases: reading a large DBC, and decoding every signal of frames
// against it (the lookup by identifier included).

namespace tellvane::bench {
namespace {

constexpr int kMessages = 1000;

// 1,000 messages of 10 signals filling their 8 bytes, half of them extended,
// half Motorola, some signed, scaled, with value texts and comments.
QByteArray largeDbc()
{
    static const int lengths[10] = {8, 8, 4, 4, 12, 4, 8, 8, 4, 4};
    QByteArray text = "VERSION \"\"\n\nNS_ :\n\tCM_\n\tBA_DEF_\n\nBS_:\n\nBU_: ECU Dash\n\n";
    QByteArray later;
    for (int m = 0; m < kMessages; ++m) {
        const bool extended = m % 2 == 1;
        const std::uint32_t fileId = extended ? 0x80000000u | (0x18F00000u + static_cast<std::uint32_t>(m)) : 0x100u + static_cast<std::uint32_t>(m);
        text += "BO_ " + QByteArray::number(fileId) + " Message" + QByteArray::number(m) + ": 8 ECU\n";
        const bool intel = m % 4 < 2;
        int at = 0;
        for (int s = 0; s < 10; ++s) {
            const int length = lengths[s];
            // Motorola: the most significant bit's number, in the file's sawtooth.
            const int msb = 63 - at;
            const int start = intel ? at : (7 - msb / 8) * 8 + msb % 8;
            text += " SG_ Signal" + QByteArray::number(s) + " : " + QByteArray::number(start) + "|" + QByteArray::number(length)
                    + (intel ? "@1" : "@0") + (s % 3 == 0 ? "-" : "+") + " (0.125,-40) [-1000|1000] \"km/h\" Dash\n";
            at += length;
        }
        text += "\n";
        later += "CM_ SG_ " + QByteArray::number(fileId) + " Signal1 \"The second signal of message " + QByteArray::number(m) + "\";\n";
        later += "VAL_ " + QByteArray::number(fileId) + " Signal2 0 \"Off\" 1 \"On\" 15 \"Not available\" ;\n";
    }
    return text + later;
}

void BM_DbcLoad(benchmark::State& state)
{
    const QByteArray text = largeDbc();
    std::size_t signalCount = 0;
    for (auto _ : state) {
        std::vector<dbc::Report> reports;
        const dbc::Database db = dbc::Database::read(text, QStringLiteral("large.dbc"), reports);
        signalCount = 0;
        for (const dbc::Message& m : db.messages())
            signalCount += m.signalList.size();
        if (!reports.empty() || signalCount != 10u * kMessages)
            state.SkipWithError("the generated database did not read whole");
    }
    state.counters["signals"] = static_cast<double>(signalCount);
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_DbcLoad)->Unit(benchmark::kMillisecond);

// Items are frames: every signal of each frame decoded into its value.
void BM_DbcDecode(benchmark::State& state)
{
    std::vector<dbc::Report> reports;
    const dbc::Database db = dbc::Database::read(largeDbc(), QStringLiteral("large.dbc"), reports);
    std::mt19937 random(29);
    std::vector<TraceFrame> frames(4096);
    for (TraceFrame& frame : frames) {
        const int m = static_cast<int>(random() % kMessages);
        frame.flags = m % 2 == 1 ? TraceFrame::Extended : 0;
        frame.id = m % 2 == 1 ? 0x18F00000u + static_cast<std::uint32_t>(m) : 0x100u + static_cast<std::uint32_t>(m);
        frame.length = 8;
        for (std::uint8_t& byte : frame.data)
            byte = static_cast<std::uint8_t>(random());
    }
    std::vector<dbc::DecodedSignal> out;
    out.reserve(64);
    double sum = 0;
    std::size_t decoded = 0;
    for (auto _ : state) {
        for (const TraceFrame& frame : frames) {
            const dbc::Message* message = db.find(frame.id, frame.extended());
            if (!message)
                continue;
            decoded += dbc::decode(*message, frame, out);
            for (const dbc::DecodedSignal& s : out)
                sum += s.value;
        }
        benchmark::DoNotOptimize(sum);
    }
    if (decoded != 10u * frames.size() * state.iterations())
        state.SkipWithError("not every signal decoded");
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames.size()));
}
BENCHMARK(BM_DbcDecode);

}  // namespace
}  // namespace tellvane::bench
