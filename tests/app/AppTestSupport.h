#pragma once

#include "app/MainWindow.h"
#include "app/TellvaneApp.h"
#include "core/Clock.h"
#include "core/SettingsStore.h"

#include "TestSupport.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace tellvane::test {

// A whole program on a fake clock, with settings, data folder and program
// folder in a temporary directory, and dialogs that never block. The journey
// harness builds on it.
struct AppHarness {
    QTemporaryDir dir;
    FakeClock clock;
    FakeDialogs dialogs;
    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    std::unique_ptr<TellvaneApp> app;
    // What the Adapter menu makes; the real factory when unset.
    std::function<AdapterChoice(const QString&)> makeAdapter;
    // What the Adapter menu offers when it opens: a machine with one virtual bus unless set.
    QList<AdapterEntry> adapterList;
    // Whether drains and replies let window events run, as in the program.
    bool yields = false;
    QString previewFile;

    explicit AppHarness(std::unique_ptr<Adapter> adapter);
    // Not started yet: files can be laid out in the temporary directory, or
    // an adapter made on the harness's clock (the simulated bench), first.
    AppHarness() = default;
    void start(std::unique_ptr<Adapter> adapter);

    QString dataFolder() const { return dir.filePath(QStringLiteral("data/Velmarco/")); }
    QString programFolder() const { return dir.filePath(QStringLiteral("program")); }
    MainWindow& main() { return app->mainWindow(); }
    // One poll tick after 25 ms of fake time.
    void tick(int count = 1);
};

}  // namespace tellvane::test
