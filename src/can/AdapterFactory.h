#pragma once

#include "can/Adapter.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace tellvane {

class Clock;

struct AdapterEnvironment {
    Clock& clock;
    QString programFolder;  // where the vendor library lies
};

struct AdapterChoice {
    std::unique_ptr<Adapter> adapter;  // null when the name is unknown
    QString error;                     // why there is none
    QStringList warnings;              // for the error list, once it is up
};

// Makes the adapter named on the command line: "library" (the vendor library
// beside the program) or "sim" (the simulated bench described by
// Configuration/SimulatedBench.txt beside the program).
AdapterChoice createAdapter(const QString& name, const AdapterEnvironment& environment);

QStringList adapterNames();

}  // namespace tellvane
