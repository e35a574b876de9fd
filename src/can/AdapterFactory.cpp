#include "can/AdapterFactory.h"

#include "can/LibraryAdapter.h"
#include "sim/SimAdapter.h"
#include "sim/BenchFile.h"

#include <QDir>

namespace tellvane {

QStringList adapterNames()
{
    return {QStringLiteral("library"), QStringLiteral("sim")};
}

AdapterChoice createAdapter(const QString& name, const AdapterEnvironment& environment)
{
    AdapterChoice choice;
    const QString key = name.trimmed().toLower();
    if (key == QLatin1String("library")) {
        choice.adapter = std::make_unique<LibraryAdapter>(environment.programFolder);
    } else if (key == QLatin1String("sim")) {
        auto sim = std::make_unique<SimAdapter>(environment.clock);
        const BenchSpec bench =
            loadBench(QDir(environment.programFolder).filePath(QStringLiteral("Configuration/SimulatedBench.txt")));
        buildBench(*sim, bench);
        choice.warnings = bench.warnings;
        choice.adapter = std::move(sim);
    } else {
        choice.error = QStringLiteral("Unknown adapter \"%1\"; the adapters are: %2")
                           .arg(name, adapterNames().join(QStringLiteral(", ")));
    }
    return choice;
}

}  // namespace tellvane
