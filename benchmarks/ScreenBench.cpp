#include "BenchSupport.h"

#include "diagnostics/DiagnosticScreen.h"
#include "diagnostics/ScreenBuilder.h"
#include "diagnostics/DynTextBox.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

namespace tellvane::bench {
namespace {

// A screen of 500 indicators on 5 tab pages in some 2,000 lines: lamps, value
// boxes and bit fields, each with a note and property lines. Message numbers 1
// to 50, ten indicators each; number 250 belongs to none.
QByteArray largeConfiguration()
{
    QByteArray text = "' 500 indicators on five pages\r\nFORM, 12000, 9000\r\n";
    int indicator = 0;
    for (int page = 0; page < 5; ++page) {
        if (page == 0)
            text += "TAB, Page 0, 3600, 120, 11500, 5000\r\n.TABSPERROW, 5\r\n";
        else
            text += "TAB, Page " + QByteArray::number(page) + "\r\n";
        for (int i = 0; i < 100; ++i, ++indicator) {
            const int id = 1 + indicator % 50;
            text += "' indicator " + QByteArray::number(indicator) + "\r\n";
            const QByteArray key = QByteArray::number(id);
            const QByteArray top = QByteArray::number(400 + (i % 25) * 180);
            const QByteArray left = QByteArray::number(120 + (i / 25) * 2800);
            switch (indicator % 4) {
            case 0:
                text += "BIT, Lamp " + QByteArray::number(indicator) + ", " + top + ", " + left + ", 1800, 175, " + key
                    + ", 3, &H" + QByteArray::number(1 << (indicator % 8), 16) + ", DE, LG\r\n.TOOLTIPTEXT, lamp\r\n"
                    + ".FORECOLOR, DG\r\n";
                break;
            case 1:
                text += "LABEL, Value, " + top + ", " + left + ", 900, 175\r\nBWLTEXT, -, " + top + ", "
                    + QByteArray::number(left.toInt() + 1000) + ", 1200, 175, " + key + ", W, 4, 0.1, -40, D, 0.0\r\n"
                    + ".ALIGNMENT, R\r\n.BACKCOLOR, LE\r\n";
                break;
            case 2:
                text += "LABEL, Signed, " + top + ", " + left + ", 900, 175\r\nBWLTEXT, -, " + top + ", "
                    + QByteArray::number(left.toInt() + 1000) + ", 1200, 175, " + key + ", SL, 2, 1, 0, D, 0\r\n.ALIGNMENT, R\r\n";
                break;
            default:
                text += "LABEL, Field, " + top + ", " + left + ", 900, 175\r\nSBFTEXT, -, " + top + ", "
                    + QByteArray::number(left.toInt() + 1000) + ", 1200, 175, " + key + ", 5, 3, 12, 0.5, 0, D, 0.00\r\n.ALIGNMENT, R\r\n";
                break;
            }
        }
    }
    return text;
}

struct Host final : QWidget, ScreenHost {
    QWidget* screenParent() override { return this; }
    void setMessageText(const QString&) override {}
    void setScreenSizeTwips(int, int) override {}
    void setTestText(const QString&) override {}
};

struct Fixture {
    QTemporaryDir dir;
    QString file;
    Host host;
    DiagnosticScreen screen{host};

    Fixture()
    {
        file = dir.filePath(QStringLiteral("9999-0001.cfg"));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(largeConfiguration());
    }
    bool load()
    {
        ScreenLoad load = loadScreenFile(file, 1, true);
        screen.build(std::move(load.definition));
        return load.loaded;
    }
};

int lineCount()
{
    return static_cast<int>(largeConfiguration().count('\n'));
}

// Entering diagnostic mode on the large screen: the whole file read, 2,000
// lines dispatched, every control made. Goal: under 100 ms.
void BM_LoadLargeConfiguration(benchmark::State& state)
{
    ErrorCollector errors;
    Fixture f;
    for (auto _ : state) {
        if (!f.load())
            state.SkipWithError("the file did not load");
        state.PauseTiming();
        f.screen.deleteControls();
        state.ResumeTiming();
    }
    state.counters["lines"] = lineCount();
    state.SetItemsProcessed(state.iterations() * lineCount());
    if (!errors.messages.isEmpty())
        state.SkipWithError(("the file gave errors: " + errors.firstError()).c_str());
}
BENCHMARK(BM_LoadLargeConfiguration)->Unit(benchmark::kMillisecond);

// The screen built again after its file was saved (the live preview): the
// old 500 indicators removed, the file read again and every control made
// anew. Goal: under 100 ms.
void BM_RebuildLargeScreen(benchmark::State& state)
{
    ErrorCollector errors;
    Fixture f;
    if (!f.load())
        state.SkipWithError("the file did not load");
    for (auto _ : state) {
        if (!f.load())
            state.SkipWithError("the file did not load");
    }
    state.counters["lines"] = lineCount();
    state.SetItemsProcessed(state.iterations() * lineCount());
    if (!errors.messages.isEmpty())
        state.SkipWithError(("the file gave errors: " + errors.firstError()).c_str());
}
BENCHMARK(BM_RebuildLargeScreen)->Unit(benchmark::kMillisecond);

// The same file into a screen definition only: what check-config does, and
// the part of entering diagnostic mode that makes no widget.
void BM_LoadLargeScreenDefinition(benchmark::State& state)
{
    ErrorCollector errors;
    Fixture f;
    for (auto _ : state) {
        const ScreenLoad load = loadScreenFile(f.file, 1, true);
        if (!load.loaded || load.definition.controlCount() == 0)
            state.SkipWithError("the file did not load");
    }
    state.SetItemsProcessed(state.iterations() * lineCount());
    if (!errors.messages.isEmpty())
        state.SkipWithError(("the file gave errors: " + errors.firstError()).c_str());
}
BENCHMARK(BM_LoadLargeScreenDefinition)->Unit(benchmark::kMillisecond);

// A MESSAGE of 200,000 line breaks (an 800 KB line): the whole file read and
// its text made. The work grows with the line's length.
void BM_LoadLongMessage(benchmark::State& state)
{
    ErrorCollector errors;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("9999-0002.cfg"));
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("FORM, 5000, 5000\r\nMESSAGE, " + QByteArray("<CR>").repeated(state.range(0)) + "\r\n");
    }
    for (auto _ : state) {
        if (!loadScreenFile(file, 1, true).loaded)
            state.SkipWithError("the file did not load");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 4);
    if (!errors.messages.isEmpty())
        state.SkipWithError(("the file gave errors: " + errors.firstError()).c_str());
}
BENCHMARK(BM_LoadLongMessage)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);

// One diagnostic frame decoded on the large screen. Argument 0: a message
// number no indicator listens to (goal 200,000 frames a second); 1: one that
// ten indicators listen to, with values that change every frame (goal 50,000).
void BM_DecodeFrames(benchmark::State& state)
{
    ErrorCollector errors;
    Fixture f;
    if (!f.load()) {
        state.SkipWithError("the file did not load");
        return;
    }
    const bool matching = state.range(0) == 1;
    DiagnosticBuffer frame{};
    frame[0] = matching ? 7 : 250;
    std::uint32_t n = 0;
    for (auto _ : state) {
        ++n;
        frame[2] = static_cast<std::uint8_t>(n >> 8);
        frame[3] = static_cast<std::uint8_t>(n);
        frame[4] = static_cast<std::uint8_t>(n * 7);
        frame[5] = static_cast<std::uint8_t>(n * 13);
        frame[6] = static_cast<std::uint8_t>(n >> 3);
        f.screen.processDiagnosticMessages(8, frame);
    }
    state.SetItemsProcessed(state.iterations());
    // The frame must have reached exactly the indicators of its number.
    int listening = 0;
    for (const auto& r : f.screen.definition().bits)
        listening += r.valid && r.messageId == frame[0];
    for (const auto& r : f.screen.definition().bwl)
        listening += r.valid && r.messageId == frame[0];
    for (const auto& r : f.screen.definition().bf)
        listening += r.valid && r.messageId == frame[0];
    if (listening != (matching ? 10 : 0))
        state.SkipWithError("the screen does not have the indicators the benchmark expects");
    state.counters["indicators"] = static_cast<double>(f.screen.definition().bits.size() + f.screen.definition().bwl.size()
                                                       + f.screen.definition().bf.size());
    if (!errors.messages.isEmpty())
        state.SkipWithError(("decoding reported: " + errors.firstError()).c_str());
}
BENCHMARK(BM_DecodeFrames)->Arg(0)->Arg(1);

}  // namespace
}  // namespace tellvane::bench
