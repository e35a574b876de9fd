#include "AppTestSupport.h"

namespace tellvane::test {

AppHarness::AppHarness(std::unique_ptr<Adapter> adapter)
{
    start(std::move(adapter));
}

void AppHarness::start(std::unique_ptr<Adapter> adapter)
{
    QDir().mkpath(programFolder());
    // The factory's own list is tested with the adapters.
    if (adapterList.isEmpty())
        adapterList = {{QStringLiteral("Vendor library"), QStringLiteral("library")},
                       {QStringLiteral("Simulated bench"), QStringLiteral("sim")},
                       {QStringLiteral("virtualcan: can0 (Qt Virtual CAN bus)"), QStringLiteral("virtualcan:can0"),
                        AdapterEntry::Group::BusPlugin}};
    app = std::make_unique<TellvaneApp>(
        AppEnvironment{clock, dialogs, settings, dataFolder(), programFolder(),
                       [] { return QDateTime(QDate(2011, 2, 3), QTime(14, 5, 9)); }, yields,
                       [this](const QString& name) {
                           return makeAdapter ? makeAdapter(name)
                                              : createAdapter(name, AdapterEnvironment{clock, programFolder()});
                       },
                       [this] { return adapterList; }, previewFile},
        std::move(adapter));
}

void AppHarness::tick(int count)
{
    for (int i = 0; i < count; ++i) {
        clock.advanceMs(25);
        app->link().pollTick();
    }
}

}  // namespace tellvane::test
