#include "app/MainWindow.h"
#include "app/TellvaneApp.h"
#include "core/SettingsStore.h"

#include "AppTestSupport.h"
#include "FakeAdapter.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

using namespace tellvane;
using test::AppHarness;
using test::FakeAdapter;

namespace {

std::unique_ptr<FakeAdapter> fakeNamed(const char* name)
{
    auto adapter = std::make_unique<FakeAdapter>();
    adapter->adapterName = QString::fromLatin1(name);
    return adapter;
}

struct AdapterMenu : ::testing::Test {
    AppHarness harness{fakeNamed("library")};
    test::ErrorCollector errors;
    FakeAdapter* made = nullptr;  // the last adapter the menu made
    QMenu* menu = nullptr;

    void SetUp() override
    {
        harness.makeAdapter = [this](const QString& name) {
            AdapterChoice choice;
            auto adapter = fakeNamed(name.toLatin1().constData());
            made = adapter.get();
            choice.adapter = std::move(adapter);
            return choice;
        };
        harness.main().open();
        harness.app->pollTimer().setPollingEnabled(false);
        menu = harness.main().menuBar()->findChild<QMenu*>(QStringLiteral("Adapter"));
        ASSERT_NE(menu, nullptr);
    }

    // The menu as it opens; the entries of an earlier opening are gone.
    QAction* entry(const QString& name)
    {
        emit menu->aboutToShow();
        return menu->findChild<QAction*>(QStringLiteral("Adapter:") + name);
    }
    FakeAdapter& inUse() { return static_cast<FakeAdapter&>(harness.app->adapter()); }
};

TEST_F(AdapterMenu, ListsTheAdaptersAndSwitchesToTheChosenOne)
{
    harness.tick();
    EXPECT_EQ(harness.app->link().interfaceState(), InterfaceState::Ok);

    QAction* library = entry(QStringLiteral("library"));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->text(), QStringLiteral("Vendor library"));
    EXPECT_TRUE(library->isChecked());
    QAction* sim = entry(QStringLiteral("sim"));
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->text(), QStringLiteral("Simulated bench"));
    EXPECT_FALSE(sim->isChecked());
    // The program's own adapters, then after a separator the bus plugins' interfaces.
    QStringList shown;
    for (const QAction* a : menu->actions())
        shown.append(a->isSeparator() ? QStringLiteral("-") : a->objectName());
    EXPECT_EQ(shown.join(QLatin1Char(' ')), QStringLiteral("Adapter:library Adapter:sim - Adapter:virtualcan:can0"));

    entry(QStringLiteral("sim"))->trigger();  // each opening makes the entries anew
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(&harness.app->adapter(), made);
    EXPECT_EQ(harness.settings.value(QStringLiteral("Adapter"), QStringLiteral("Name")), QStringLiteral("sim"));
    EXPECT_EQ(harness.app->link().interfaceState(), InterfaceState::NotChecked);
    EXPECT_TRUE(entry(QStringLiteral("sim"))->isChecked());
    EXPECT_FALSE(entry(QStringLiteral("library"))->isChecked());

    harness.tick();
    ASSERT_GE(made->calls.size(), 2u);
    EXPECT_EQ(made->calls[0], "SendCANMess 00000000 7 0") << "the new adapter is probed at once";
    EXPECT_EQ(made->calls[1], "EnableTS");
    EXPECT_EQ(harness.app->link().interfaceState(), InterfaceState::Ok);

    // Choosing the adapter in use changes nothing.
    FakeAdapter* current = made;
    entry(QStringLiteral("sim"))->trigger();
    EXPECT_EQ(&harness.app->adapter(), current);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(AdapterMenu, AnUnknownAdapterIsReportedAndTheLinkKeepsItsAdapter)
{
    harness.makeAdapter = nullptr;  // the real factory
    FakeAdapter* before = &inUse();
    harness.app->adapters().chooseAdapter(QStringLiteral("nosuchplugin:can7"));
    EXPECT_EQ(&harness.app->adapter(), before);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].startsWith(QStringLiteral("Unknown adapter \"nosuchplugin:can7\"")));
}

TEST_F(AdapterMenu, TheSwitchWaitsUntilTheDrainIsDone)
{
    harness.tick();
    FakeAdapter* before = &inUse();
    before->pushMessage(0x18EFFF21, {1});
    before->pushMessage(0x18EFFF21, {2});
    bool chosen = false;
    harness.app->link().setYield([&] {
        if (!chosen) {
            chosen = true;
            harness.app->adapters().chooseAdapter(QStringLiteral("sim"));
            EXPECT_EQ(&harness.app->adapter(), before) << "not while the drain runs";
            EXPECT_TRUE(harness.app->adapters().switchPending());
            EXPECT_EQ(harness.app->adapters().adapterName(), QStringLiteral("sim"));
        }
    });
    harness.tick();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(before->records.size(), 0u) << "the drain emptied the old adapter";
    EXPECT_TRUE(harness.app->adapters().retryTimer().isActive());
    harness.app->adapters().switchWhenFree();
    EXPECT_EQ(&harness.app->adapter(), made);
    EXPECT_FALSE(harness.app->adapters().switchPending());
}

TEST(StartingAdapter, CommandLineThenRememberedThenLibrary)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
    FakeClock clock;
    const AdapterEnvironment environment{clock, dir.path()};

    AdapterChoice choice = AdapterSwitcher::startingAdapter(std::nullopt, settings, environment);
    ASSERT_NE(choice.adapter, nullptr);
    EXPECT_EQ(choice.adapter->name(), QStringLiteral("library"));
    EXPECT_TRUE(choice.warnings.isEmpty());

    settings.setValue(QStringLiteral("Adapter"), QStringLiteral("Name"), QStringLiteral("virtualcan:can1"));
    choice = AdapterSwitcher::startingAdapter(std::nullopt, settings, environment);
    ASSERT_NE(choice.adapter, nullptr);
    EXPECT_EQ(choice.adapter->name(), QStringLiteral("virtualcan:can1"));

    choice = AdapterSwitcher::startingAdapter(QStringLiteral("library"), settings, environment);
    ASSERT_NE(choice.adapter, nullptr);
    EXPECT_EQ(choice.adapter->name(), QStringLiteral("library")) << "the command line wins";

    choice = AdapterSwitcher::startingAdapter(QStringLiteral("bogus"), settings, environment);
    EXPECT_EQ(choice.adapter, nullptr);
    EXPECT_FALSE(choice.error.isEmpty());

    settings.setValue(QStringLiteral("Adapter"), QStringLiteral("Name"), QStringLiteral("gone:usb0"));
    choice = AdapterSwitcher::startingAdapter(std::nullopt, settings, environment);
    ASSERT_NE(choice.adapter, nullptr);
    EXPECT_EQ(choice.adapter->name(), QStringLiteral("library"));
    ASSERT_EQ(choice.warnings.size(), 1);
    EXPECT_TRUE(choice.warnings[0].contains(QStringLiteral("gone:usb0")));
}

}  // namespace

