#include "app/MainWindow.h"
#include "diagnostics/BoardWindow.h"
#include "diagnostics/DynShape.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/DynTextBox.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "core/Twips.h"

#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

using namespace tellvane;
using test::AppHarness;

namespace {

BoardWindow* windowTitled(MainWindow& main, const QString& title)
{
    const auto subs = main.mdiArea()->subWindowList();
    for (QMdiSubWindow* sub : subs) {
        auto* w = qobject_cast<BoardWindow*>(sub->widget());
        if (w && w->windowTitle() == title)
            return w;
    }
    return nullptr;
}

// The shipped Configuration/ beside the harness's program.
void copyConfiguration(const QString& programFolder)
{
    const QString from = QStringLiteral(TELLVANE_SOURCE_DIR "/Configuration");
    const QString to = programFolder + QStringLiteral("/Configuration");
    QDir().mkpath(to);
    QDirIterator files(from, QDir::Files);
    while (files.hasNext()) {
        const QString file = files.next();
        QFile::copy(file, to + QLatin1Char('/') + QFileInfo(file).fileName());
    }
}

struct ShippedBench : ::testing::Test {
    AppHarness harness{[](FakeClock& clock) {
        auto sim = std::make_unique<SimAdapter>(clock);
        buildBench(*sim, parseBench(defaultBenchText(), QStringLiteral("test")));
        return sim;
    }};

    void SetUp() override
    {
        copyConfiguration(harness.programFolder());
        harness.main().open();
        harness.app->pollTimer().setPollingEnabled(false);
        harness.tick(40);
    }
    QString text(BoardWindow* w, int control)
    {
        auto* box = dynamic_cast<DynTextBox*>(w->screen().control(control));
        return box ? box->text() : QStringLiteral("<no box>");
    }
    std::int32_t lamp(BoardWindow* w, int control)
    {
        auto* shape = dynamic_cast<DynShape*>(w->screen().control(control));
        return shape ? shape->backColorValue() : -1;
    }
};

TEST_F(ShippedBench, EveryShippedScreenBuildsAndMoves)
{
    for (const QString& title : {QStringLiteral("Board 1201-0003 [33]"), QStringLiteral("Board 1305-0012 [34]"),
                                 QStringLiteral("Board 0412-0101 [35]")}) {
        BoardWindow* w = windowTitled(harness.main(), title);
        ASSERT_NE(w, nullptr) << title.toStdString();
        w->findChild<QPushButton*>(QStringLiteral("StartDiag"))->click();
        EXPECT_TRUE(harness.dialogs.boxes.empty()) << title.toStdString();
        EXPECT_TRUE(w->inDiagnosticMode());
        EXPECT_GT(w->screen().controlCount(), 10);
    }
    EXPECT_EQ(harness.app->errorLog().count(), 0) << "the shipped files load without a warning";

    // Every value box and lamp of every screen changes within a minute of the board's data.
    struct Seen {
        QSet<QString> texts;
        QSet<std::int32_t> colours;
    };
    std::map<std::pair<BoardWindow*, int>, Seen> seen;
    const auto subs = harness.main().mdiArea()->subWindowList();
    for (int second = 0; second < 60; ++second) {
        harness.tick(40);
        for (QMdiSubWindow* sub : subs) {
            auto* w = qobject_cast<BoardWindow*>(sub->widget());
            if (!w)
                continue;
            for (int i = 0; i < w->screen().controlCount(); ++i) {
                if (auto* box = dynamic_cast<DynTextBox*>(w->screen().control(i)))
                    seen[{w, i}].texts.insert(box->text());
                if (auto* shape = dynamic_cast<DynShape*>(w->screen().control(i)))
                    seen[{w, i}].colours.insert(shape->backColorValue());
            }
        }
    }
    int indicators = 0;
    for (const auto& [key, s] : seen) {
        const bool moved = s.texts.size() > 1 || s.colours.size() > 1;
        EXPECT_TRUE(moved) << key.first->windowTitle().toStdString() << " control " << key.second;
        ++indicators;
    }
    EXPECT_GT(indicators, 30);
    if (!qEnvironmentVariableIsEmpty("TELLVANE_SHOT_DIR")) {
        for (QMdiSubWindow* sub : subs) {
            if (auto* w = qobject_cast<BoardWindow*>(sub->widget()))
                sub->grab().save(qEnvironmentVariable("TELLVANE_SHOT_DIR") + QLatin1Char('/') + w->positionSection()
                                 + QStringLiteral(".png"));
        }
    }
    harness.app->errorLog().lines().flush();
    EXPECT_EQ(harness.app->errorLog().count(), 0)
        << (harness.app->errorLog().lines().size() ? harness.app->errorLog().lines().at(0).toStdString() : std::string());
}

TEST_F(ShippedBench, PumpScreenShowsScaledValuesAndLeavesCleanly)
{
    BoardWindow* pump = windowTitled(harness.main(), QStringLiteral("Board 1201-0003 [33]"));
    ASSERT_NE(pump, nullptr);
    auto* start = pump->findChild<QPushButton*>(QStringLiteral("StartDiag"));
    start->click();
    EXPECT_EQ(pump->subWindow()->width(), twipsToPixels(9120, pump->logicalDpiX())) << "FORM enlarged the window";
    auto* tabs = dynamic_cast<DynTabContainer*>(pump->screen().control(0));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentPage(), 0) << "opens on the first page";
    EXPECT_EQ(tabs->pageCaption(2), QStringLiteral("Status"));

    harness.tick(41);  // a second of data
    // Speed: ramp (50 a second) x 1.5 rpm; the board started about a second ago.
    const QString speed = text(pump, 3);
    EXPECT_TRUE(speed.endsWith(QStringLiteral(" rpm"))) << speed.toStdString();
    EXPECT_NE(speed, QStringLiteral("-"));
    EXPECT_TRUE(text(pump, 5).endsWith(QStringLiteral(" l/s")));
    EXPECT_TRUE(text(pump, 7).endsWith(QStringLiteral(" °C")));
    std::vector<int> lamps;  // the lamps of the first page, in the order they were made
    for (int i = 0; i < pump->screen().controlCount(); ++i) {
        if (dynamic_cast<DynShape*>(pump->screen().control(i)))
            lamps.push_back(i);
    }
    ASSERT_GE(lamps.size(), 4u);
    int lit = 0;
    for (std::size_t i = 0; i < 4; ++i)
        lit += lamp(pump, lamps[i]) != 0x808080;
    EXPECT_LE(lit, 1) << "one walking lamp at a time among the first four";
    EXPECT_TRUE(lamp(pump, lamps[0]) == 0x00FF00 || lamp(pump, lamps[0]) == 0x808080);

    start->click();
    EXPECT_EQ(start->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_EQ(pump->screen().controlCount(), 0);
    EXPECT_EQ(pump->subWindow()->width(), twipsToPixels(7020, pump->logicalDpiX()));
    harness.tick(8);
    EXPECT_EQ(harness.app->errorLog().count(), 0);

    // Again: the same names from number 0.
    start->click();
    ASSERT_NE(pump->screen().control(0), nullptr);
    EXPECT_EQ(pump->screen().control(0)->widget()->objectName(),
              QStringLiteral("Control_%1_000").arg(pump->formIndex(), 3, 10, QLatin1Char('0')));
    if (!qEnvironmentVariableIsEmpty("TELLVANE_SHOT_DIR")) {
        harness.tick(20);
        tabs = dynamic_cast<DynTabContainer*>(pump->screen().control(0));
        for (int page = 0; page < 3; ++page) {
            tabs->findChild<QTabBar*>()->setCurrentIndex(page);
            QCoreApplication::processEvents();
            pump->subWindow()->grab().save(qEnvironmentVariable("TELLVANE_SHOT_DIR")
                                           + QStringLiteral("/pump-page%1.png").arg(page));
        }
    }
}

}  // namespace
