#include "BenchSupport.h"

#include "can/AdapterRecord.h"
#include "core/Numbers.h"
#include "monitor/MessageLine.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

// The single steps of the receive path, to tell which one a slower path lost its time in.

namespace tellvane::bench {
namespace {

CanMessage busyMessage()
{
    CanMessage m;
    m.id = 0x18EFFF21;
    m.time = 12.345678;
    m.length = 8;
    m.data = {0x10, 0x00, 0x12, 0x34, 0x41, 0x7E, 0x00, 0xFF, 0x00};
    return m;
}

void BM_FormatMessageLine(benchmark::State& state)
{
    CanMessage m = busyMessage();
    if (formatMessageLine(m) != QStringLiteral("12.345678 18EFFF21 8 10 00 12 34 41 7E 00 FF ")) {
        state.SkipWithError("unexpected message line");
        return;
    }
    for (auto _ : state) {
        QString line = formatMessageLine(m);
        benchmark::DoNotOptimize(line);
        m.time += 0.000188;  // keeps the time field moving, as on the bus
        if (m.time >= 99.0)
            m.time = 0.0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatMessageLine);

void BM_ParseMessageLine(benchmark::State& state)
{
    const CanMessage m = busyMessage();
    const QString line = formatMessageLine(m);
    const ParsedLine check = parseMessageLine(line);
    if (check.status != LineParse::Message || check.message.id != m.id || check.message.length != m.length
        || check.message.data != m.data) {
        state.SkipWithError("the message line does not read back");
        return;
    }
    for (auto _ : state) {
        ParsedLine parsed = parseMessageLine(line);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseMessageLine);

void BM_DecodeRecord(benchmark::State& state)
{
    const auto records = busyBusRecords(1024);
    const CanMessage first = decodeRecord(records[0]);
    const CanMessage later = decodeRecord(records[1000]);
    if (first.id != 0x18EFFF21 || first.length != 8 || first.time != 0.0
        || std::abs(later.time - 1000 * 188 / 8 * 0.000008) > 1e-9) {
        state.SkipWithError("unexpected decoded record");
        return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        CanMessage m = decodeRecord(records[i]);
        benchmark::DoNotOptimize(m);
        i = (i + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeRecord);

void BM_LeadingNumber(benchmark::State& state)
{
    struct Case {
        QString text;
        double value;
    };
    const std::array<Case, 7> cases = {{
        {QStringLiteral("  12.5 V"), 12.5},
        {QStringLiteral("1 000"), 1000.0},
        {QStringLiteral("-3e2"), -300.0},
        {QStringLiteral("&HFF"), 255.0},
        {QStringLiteral("&HFFFFFFFF"), -1.0},
        {QStringLiteral("abc"), 0.0},
        {QStringLiteral("4711"), 4711.0},
    }};
    for (const Case& c : cases) {
        if (leadingNumber(c.text) != c.value) {
            state.SkipWithError(("wrong value of " + c.text.toStdString()).c_str());
            return;
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        double v = leadingNumber(cases[i].text);
        benchmark::DoNotOptimize(v);
        if (++i == cases.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LeadingNumber);

}  // namespace
}  // namespace tellvane::bench
