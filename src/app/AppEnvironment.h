#pragma once

#include "adapters/AdapterFactory.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace tellvane {

class Clock;
class Dialogs;
class SettingsStore;

// Where the program runs: supplied by main(), or by a test.
struct AppEnvironment {
    Clock& clock;
    Dialogs& dialogs;
    SettingsStore& settings;
    QString dataFolder;     // ends in "/"
    // The executable's folder: the vendor library lies here, and the shipped
    // Configuration/ and help/ here or in ../share/tellvane (programFilesFolder).
    QString programFolder;
    std::function<QDateTime()> now;
    // Lets window events run during long drains; off in tests.
    bool yieldDuringDrain = true;
    // Makes the adapters the Adapter menu chooses; createAdapter when unset.
    std::function<AdapterChoice(const QString& name)> makeAdapter = {};
    // Lists what the Adapter menu offers; availableAdapters when unset.
    std::function<QList<AdapterEntry>()> listAdapters = {};
    // A configuration file being written: every board shows it in diagnostic
    // mode (entered by itself), and the simulated boards that animate play
    // its messages, anew each time it is saved.
    QString previewFile = {};
};

}  // namespace tellvane
