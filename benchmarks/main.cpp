#include <QCoreApplication>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

// The logger, the list and the status panel post their batch flushes to the
// event loop, so a QCoreApplication must exist before any benchmark runs.
int main(int argc, char** argv)
{
    // Qt sees the program name only; every other argument is the benchmark library's.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    // Developer notes (such as the link's state changes) would only break up the table.
    QLoggingCategory::setFilterRules(QStringLiteral("tellvane.*.info=false"));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
