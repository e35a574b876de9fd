#include "diagnostics/ConfigCheck.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/ScreenDefinition.h"

#include "core/Twips.h"

#include "TestSupport.h"

#include <QDir>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct Lint : ::testing::Test {
    QTemporaryDir dir;
    QStringList lint(const QString& name, const QByteArray& text)
    {
        return checkConfiguration(test::writeFile(dir.filePath(name), text)).lint;
    }
    static bool has(const QStringList& lines, const QString& part)
    {
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(part); });
    }
};

TEST_F(Lint, TheShippedScreensAreClean)
{
    const QDir shipped(QStringLiteral(TELLVANE_SOURCE_DIR "/Configuration"));
    const QStringList files = shipped.entryList({QStringLiteral("*.cfg")}, QDir::Files);
    ASSERT_EQ(files.size(), 3);
    for (const QString& file : files) {
        const ConfigCheck check = checkConfiguration(shipped.filePath(file));
        EXPECT_TRUE(check.messages.isEmpty()) << file.toStdString();
        EXPECT_TRUE(check.lint.isEmpty()) << file.toStdString() << ": " << check.lint.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(Lint, FileNamesAreThoseABoardLooksFor)
{
    const QByteArray screen = "FORM, 7020, 5000\r\nLABEL, A, 3600, 120, 1000, 255\r\n";
    for (const char* good : {"412-0101.cfg", "12-0034.cfg", "-5-0001.cfg", "7--0002.cfg"})
        EXPECT_TRUE(lint(QString::fromLatin1(good), screen).isEmpty()) << good;
    // A leading zero's whole line is the process test's (check-config --lint).
    EXPECT_TRUE(has(lint(QStringLiteral("412-101.cfg"), screen), QStringLiteral("looks for 412-0101.cfg")));
    EXPECT_TRUE(has(lint(QStringLiteral("412-0101.CFG"), screen), QStringLiteral("looks for 412-0101.cfg")));
    EXPECT_TRUE(has(lint(QStringLiteral("pump.cfg"), screen), QStringLiteral("(412-0101.cfg)")));
    EXPECT_TRUE(has(lint(QStringLiteral("99999-0001.cfg"), screen), QStringLiteral("no board looks for")))
        << "a style beyond 16 bits";
}

TEST_F(Lint, ControlsOutsideTheirContainerUnderATabStripOrOutsideForm)
{
    const QStringList found = lint(QStringLiteral("12-0034.cfg"), "FORM, 7020, 6600\r\n"
                                                                  "TAB, Pump, 3600, 120, 6000, 2000\r\n"
                                                                  "LABEL, Under, 60, 120, 1500, 255\r\n"
                                                                  "LABEL, Fine, 600, 120, 1500, 255\r\n"
                                                                  "FRAME, Box, 900, 120, 2000, 1000\r\n"
                                                                  "LABEL, Wide, 360, 120, 3000, 255\r\n"
                                                                  "LABEL, Inside, 600, 120, 1000, 255\r\n");
    EXPECT_TRUE(has(found, QStringLiteral("Label \"Under\" (Control_000_001) lies under the tab strip of TabContainer \"Pump\"")));
    EXPECT_TRUE(has(found, QStringLiteral("Label \"Wide\" (Control_000_004) reaches beyond its container Frame \"Box\" (Control_000_003) (top 360, "
                                          "left 120, width 3000, height 255")));
    EXPECT_FALSE(has(found, QStringLiteral("\"Fine\"")));
    EXPECT_FALSE(has(found, QStringLiteral("\"Inside\"")));
    EXPECT_FALSE(has(found, QStringLiteral("\"Box\" (Control_000_003) reaches")));
    EXPECT_EQ(found.size(), 2) << found.join(QLatin1Char('\n')).toStdString();
    // One tab to a row: the second page's tab makes the strip two rows high.
    const QStringList wrapped = lint(QStringLiteral("12-0034.cfg"), "TAB, Pump, 3600, 120, 6000, 2000\r\n.TABSPERROW, 1\r\n"
                                                                    "LABEL, Fine, 600, 120, 1500, 255\r\nTAB, Valves\r\n");
    EXPECT_TRUE(has(wrapped, QStringLiteral("\"Fine\" (Control_000_001) lies under the tab strip of TabContainer \"Pump\" (Control_000_000) "
                                            "(its top 600, the strip ends at 780 twips)")))
        << wrapped.join(QLatin1Char('\n')).toStdString();

    const QStringList outside = lint(QStringLiteral("12-0034.cfg"), "FORM, 7020, 5000\r\nLABEL, Far, 3600, 7500, 1000, 255\r\n");
    EXPECT_TRUE(has(outside, QStringLiteral("Label \"Far\" (Control_000_000) lies outside FORM 7020 x 5000 twips (top 3600, left 7500")));
}

TEST_F(Lint, AFormTooSmallOnceTheTitleBarAndBordersAreCounted)
{
    // Contents to 5880 twips down, as the heater's frames: 6000 high is not
    // enough once the title bar is counted, 6600 is.
    const QByteArray frames = "FRAME, Inputs, 3600, 120, 4440, 2280\r\n";
    const QStringList tooSmall = lint(QStringLiteral("12-0034.cfg"), "FORM, 7020, 6000\r\n" + frames);
    ASSERT_EQ(tooSmall.size(), 1) << tooSmall.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(tooSmall[0].startsWith(QStringLiteral("Lint: 12-0034.cfg: FORM 7020 x 6000 twips is too small for its "
                                                      "contents: with the window's title bar and borders")));
    EXPECT_TRUE(lint(QStringLiteral("12-0034.cfg"), "FORM, 7020, 6600\r\n" + frames).isEmpty());
    // Without FORM the window keeps its own size, which these frames do not fit.
    EXPECT_TRUE(has(lint(QStringLiteral("12-0034.cfg"), frames), QStringLiteral("without FORM, the window's 7020 x 3690")));
}

TEST(LintChrome, TheLintCountsWithWhatTheStyleDraws)
{
    // The check makes no widget; its tab strip and window borders must be
    // those of the program's own style, or it would report wrongly.
    QWidget host;
    std::unique_ptr<DynControl> made(DynControl::create(ControlKind::TabContainer, QStringLiteral("t"), &host));
    auto* tabs = dynamic_cast<DynTabContainer*>(made.get());
    ASSERT_NE(tabs, nullptr);
    ControlDefinition definition(ControlKind::TabContainer, QStringLiteral("t"), -1, -1);
    definition.set(Property::Width, 6000);
    definition.set(Property::Height, 2500);
    definition.set(Property::TabsPerRow, 4);
    tabs->applyDefinition(definition);
    EXPECT_EQ(pixelsToTwips(tabs->tabStrip().height(), tabs->logicalDpiY()), ScreenChrome::kTabStripHeight);

    QMdiArea area;
    area.resize(800, 600);
    auto* inside = new QWidget;
    QMdiSubWindow* sub = area.addSubWindow(inside, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                       | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                                       | Qt::WindowCloseButtonHint);
    area.show();
    sub->show();
    sub->resize(400, 300);
    if (sub->layout())
        sub->layout()->activate();
    const QSize chrome = sub->size() - inside->size();
    EXPECT_EQ(pixelsToTwips(chrome.width(), inside->logicalDpiX()), ScreenChrome::kWindowBordersWidth);
    EXPECT_EQ(pixelsToTwips(chrome.height(), inside->logicalDpiY()), ScreenChrome::kTitleBarAndBordersHeight);
}

TEST_F(Lint, EveryRecordedScreenIsLintedWithoutHarm)
{
    // The recorded screens include hostile files: odd sizes, controls in
    // containers that failed, tabs without pages.
    const QDir recorded(QStringLiteral(TELLVANE_SOURCE_DIR "/tests/golden/input"));
    const QStringList files = recorded.entryList({QStringLiteral("*.cfg")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        const ConfigCheck check = checkConfiguration(recorded.filePath(file));
        for (const QString& line : check.lint)
            EXPECT_TRUE(line.startsWith(QStringLiteral("Lint: ") + file + QStringLiteral(": "))) << line.toStdString();
    }
}

}  // namespace
