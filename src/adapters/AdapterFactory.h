#pragma once

#include "can/Adapter.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace tellvane {

class Clock;

struct AdapterEnvironment {
    Clock& clock;
    // The executable's folder: the vendor library is looked for here first; the simulated bench
    // reads Configuration/ found from it (programFilesFolder).
    QString programFolder;
};

struct AdapterChoice {
    std::unique_ptr<Adapter> adapter;  // null when the name is unknown
    QString error;                     // why there is none
    QStringList warnings;              // for the error list, once it is up
};

// Makes the adapter of a name: "library" (the vendor library, beside the
// program or where the system's libraries are found), "sim" (the simulated bench described by
// Configuration/SimulatedBench.txt beside the program), "slcan:PORT" for an
// slcan adapter on a serial port ("slcan:/dev/ttyACM0", "slcan:COM3"), or "PLUGIN:INTERFACE"
// for a device of Qt's CAN bus plugins ("socketcan:can0", "peakcan:usb0",
// "virtualcan:can0", "virtualcan:tcp://host:port/can0", ...). A device that is
// not there yet still makes an adapter: it answers "missing" until it appears.
AdapterChoice createAdapter(const QString& name, const AdapterEnvironment& environment);
// The simulated bench of a preview: one board animating that configuration file.
AdapterChoice createPreviewAdapter(const QString& configFile, const AdapterEnvironment& environment);

// The forms of names, for usage texts.
QStringList adapterNames();

// An adapter the user can choose from a menu.
struct AdapterEntry {
    // What an adapter is: one of the program's own, an interface of Qt's CAN
    // bus plugins, or a serial port for an slcan adapter. A menu sets the
    // groups apart.
    enum class Group { Program, BusPlugin, SerialPort };

    QString label;  // "Vendor library", "virtualcan: can0", ...
    QString name;   // what createAdapter takes
    Group group = Group::Program;
};

// The vendor library, the simulated bench (Group::Program), every interface
// Qt's CAN bus plugins find now (Group::BusPlugin), then every serial port
// (Group::SerialPort, as "slcan:PORT").
QList<AdapterEntry> availableAdapters();

// The canonical form of a name ("SIM" -> "sim", " socketcan:can0" ->
// "socketcan:can0", "SLCAN:COM3" -> "slcan:COM3"); empty when it names no adapter.
QString canonicalAdapterName(const QString& name);

}  // namespace tellvane
