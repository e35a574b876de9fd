#pragma once

#include "app/AdapterSwitch.h"

#include <QTimer>

#include <memory>
#include <optional>

namespace tellvane {

class BusStack;
class SettingsStore;
struct AppEnvironment;

// The adapter of a run: the one it starts with, and the one the Adapter menu
// chooses, remembered in the settings and put in use on the bus once nothing
// is using the link.
class AdapterSwitcher final : public AdapterSwitch {
public:
    // The section and value of the settings store that keep the chosen adapter.
    static inline const QString kAdapterSection = QStringLiteral("Adapter");
    static inline const QString kAdapterValue = QStringLiteral("Name");
    static constexpr int kSwitchRetryMs = 100;

    // Both outlive the switcher.
    AdapterSwitcher(BusStack& bus, const AppEnvironment& environment);

    // The adapter a run starts with: the one named on the command line, else the
    // one last chosen in the Adapter menu, else the vendor library. Null (with the
    // reason) only for a command-line name that names no adapter.
    static AdapterChoice startingAdapter(const std::optional<QString>& commandLine, const SettingsStore& settings,
                                         const AdapterEnvironment& environment);

    QList<AdapterEntry> adapterEntries() const override;
    QString adapterName() const override;
    // Remembers the choice, makes the adapter and puts it in use: at once, or
    // as soon as no drain or download stage is using the link.
    void chooseAdapter(const QString& name) override;
    bool switchPending() const { return m_pending != nullptr; }
    // Puts the chosen adapter in use unless the link is busy; then tries again
    // on a timer.
    void switchWhenFree();
    const QTimer& retryTimer() const { return m_retry; }

private:
    BusStack& m_bus;
    const AppEnvironment& m_env;
    std::unique_ptr<Adapter> m_pending;
    QTimer m_retry;
};

}  // namespace tellvane
