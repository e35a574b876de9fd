#include "app/AdapterSwitcher.h"

#include "app/AppEnvironment.h"
#include "app/BenchAnimation.h"
#include "can/CanLink.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "stack/BusStack.h"

namespace tellvane {

AdapterSwitcher::AdapterSwitcher(BusStack& bus, const AppEnvironment& environment) : m_bus(bus), m_env(environment)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kSwitchRetryMs);
    QObject::connect(&m_retry, &QTimer::timeout, [this] { switchWhenFree(); });
}

AdapterChoice AdapterSwitcher::startingAdapter(const std::optional<QString>& commandLine, const SettingsStore& settings,
                                               const AdapterEnvironment& environment)
{
    if (commandLine)
        return createAdapter(*commandLine, environment);
    AdapterChoice choice;
    const QString remembered = settings.value(kAdapterSection, kAdapterValue);
    if (!remembered.isEmpty())
        choice = createAdapter(remembered, environment);
    if (!choice.adapter) {
        const QString why = choice.error;
        choice = createAdapter(QStringLiteral("library"), environment);
        if (!why.isEmpty())
            choice.warnings.prepend(why + QStringLiteral(" (the vendor library is used)"));
    }
    return choice;
}

QList<AdapterEntry> AdapterSwitcher::adapterEntries() const
{
    return m_env.listAdapters ? m_env.listAdapters() : availableAdapters();
}

QString AdapterSwitcher::adapterName() const
{
    return m_pending ? m_pending->name() : m_bus.adapter().name();
}

void AdapterSwitcher::chooseAdapter(const QString& name)
{
    const QString key = canonicalAdapterName(name);
    if (!key.isEmpty() && !m_env.settings.setValue(kAdapterSection, kAdapterValue, key))
        printError(QStringLiteral("The choice of adapter could not be saved in ") + m_env.settings.fileName());
    if (key == adapterName())
        return;
    AdapterChoice choice = m_env.makeAdapter ? m_env.makeAdapter(name)
                                             : createAdapter(name, AdapterEnvironment{m_env.clock, m_env.programFolder});
    for (const QString& warning : choice.warnings)
        printError(warning);
    if (!choice.adapter) {
        printError(choice.error);
        return;
    }
    if (choice.adapter->name() == m_bus.adapter().name()) {
        m_pending.reset();  // back to the adapter in use
        return;
    }
    m_pending = std::move(choice.adapter);
    switchWhenFree();
}

void AdapterSwitcher::switchWhenFree()
{
    if (!m_pending)
        return;
    // The menu can be used while a drain or a download stage lets window events
    // run; the adapter they use stays until they are done.
    if (m_bus.busy()) {
        m_retry.start();
        return;
    }
    const std::unique_ptr<Adapter> old = m_bus.replaceAdapter(std::move(m_pending));
    animateBench(m_bus.adapter(), m_env.programFolder, m_env.previewFile);
    qCInfo(lcLink) << "adapter" << old->name() << "->" << m_bus.adapter().name();
}

}  // namespace tellvane
