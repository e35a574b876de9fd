#include "adapters/AdapterFactory.h"

#include "adapters/LibraryAdapter.h"
#include "adapters/SerialBusAdapter.h"
#include "adapters/SlcanAdapter.h"
#include "core/ProgramFiles.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"

#include <QCanBus>
#include <QDir>
#include <QSerialPortInfo>

#include <optional>

namespace tellvane {

namespace {
const QString kLibrary = QStringLiteral("library");
const QString kSim = QStringLiteral("sim");
const QString kSlcan = QStringLiteral("slcan:");

struct PluginName {
    QString plugin;
    QString interfaceName;
};

// "plugin:interface"; the interface may itself hold colons (virtualcan's URLs).
std::optional<PluginName> splitPluginName(const QString& name)
{
    const QString trimmed = name.trimmed();
    const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == trimmed.size() - 1)
        return std::nullopt;
    PluginName split{trimmed.left(colon).toLower(), trimmed.mid(colon + 1)};
    if (!QCanBus::instance()->plugins().contains(split.plugin))
        return std::nullopt;
    return split;
}

// The serial port of "slcan:PORT", as typed; empty when the name is none.
QString slcanPort(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (!trimmed.startsWith(kSlcan, Qt::CaseInsensitive))
        return {};
    return trimmed.mid(kSlcan.size()).trimmed();
}
}  // namespace

QStringList adapterNames()
{
    return {kLibrary, kSim, QStringLiteral("slcan:PORT (an slcan adapter on a serial port)"),
            QStringLiteral("PLUGIN:INTERFACE (%1)").arg(QCanBus::instance()->plugins().join(QStringLiteral(", ")))};
}

QString canonicalAdapterName(const QString& name)
{
    const QString key = name.trimmed().toLower();
    if (key == kLibrary || key == kSim)
        return key;
    if (const QString port = slcanPort(name); !port.isEmpty())
        return kSlcan + port;
    if (const auto split = splitPluginName(name))
        return split->plugin + QLatin1Char(':') + split->interfaceName;
    return {};
}

AdapterChoice createAdapter(const QString& name, const AdapterEnvironment& environment)
{
    AdapterChoice choice;
    const QString key = canonicalAdapterName(name);
    if (key == kLibrary) {
        choice.adapter = std::make_unique<LibraryAdapter>(LibraryAdapter::placesFor(environment.programFolder));
    } else if (key == kSim) {
        auto sim = std::make_unique<SimAdapter>(environment.clock);
        const BenchSpec bench =
            loadBench(QDir(programFilesFolder(environment.programFolder))
                          .filePath(QStringLiteral("Configuration/SimulatedBench.txt")));
        buildBench(*sim, bench);
        choice.warnings = bench.warnings;
        choice.adapter = std::move(sim);
    } else if (const QString port = slcanPort(name); !port.isEmpty()) {
        choice.adapter = std::make_unique<SlcanAdapter>(port, SlcanAdapter::serialPort(port), environment.clock);
    } else if (const auto split = splitPluginName(name)) {
        choice.adapter = std::make_unique<SerialBusAdapter>(
            key, SerialBusAdapter::pluginDevice(split->plugin, split->interfaceName),
            SerialBusAdapter::optionsForPlugin(split->plugin, split->interfaceName), environment.clock);
    } else {
        choice.error = QStringLiteral("Unknown adapter \"%1\"; the adapters are: %2")
                           .arg(name, adapterNames().join(QStringLiteral(", ")));
    }
    return choice;
}

AdapterChoice createPreviewAdapter(const QString& configFile, const AdapterEnvironment& environment)
{
    AdapterChoice choice;
    auto sim = std::make_unique<SimAdapter>(environment.clock);
    buildBench(*sim, previewBench(configFile));
    choice.adapter = std::move(sim);
    return choice;
}

QList<AdapterEntry> availableAdapters()
{
    QList<AdapterEntry> entries{{QStringLiteral("Vendor library"), kLibrary}, {QStringLiteral("Simulated bench"), kSim}};
    QCanBus* bus = QCanBus::instance();
    for (const QString& plugin : bus->plugins()) {
        QString error;
        const QList<QCanBusDeviceInfo> devices = bus->availableDevices(plugin, &error);
        for (const QCanBusDeviceInfo& device : devices) {
            QString label = plugin + QStringLiteral(": ") + device.name();
            if (!device.description().isEmpty())
                label += QStringLiteral(" (") + device.description() + QLatin1Char(')');
            entries.append({label, plugin + QLatin1Char(':') + device.name(), AdapterEntry::Group::BusPlugin});
        }
    }
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const QString portName = port.portName();
#else
        const QString portName = port.systemLocation();
#endif
        QStringList about;
        if (!port.description().isEmpty())
            about << port.description();
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            about << QStringLiteral("%1:%2")
                         .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                         .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
        QString label = kSlcan + QLatin1Char(' ') + portName;
        if (!about.isEmpty())
            label += QStringLiteral(" (") + about.join(QStringLiteral(", ")) + QLatin1Char(')');
        entries.append({label, kSlcan + portName, AdapterEntry::Group::SerialPort});
    }
    return entries;
}

}  // namespace tellvane
