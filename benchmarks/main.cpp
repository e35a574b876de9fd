#include <QApplication>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

// The logger, the list and the status panel post their batch flushes to the
// event loop, and diagnostic screens are made of widgets: an application (on
// the offscreen platform, no display needed) exists before any benchmark runs.
int main(int argc, char** argv)
{
    // Qt sees the program name only; every other argument is the benchmark library's.
    int qtArgc = 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(qtArgc, argv);
    // Developer notes (such as the link's state changes) would only break up the table.
    QLoggingCategory::setFilterRules(QStringLiteral("tellvane.*.info=false"));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
