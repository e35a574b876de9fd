#include "diagnostics/DiagnosticScreen.h"
#include "diagnostics/ScreenBuilder.h"
#include "core/Failure.h"
#include "core/Twips.h"
#include "diagnostics/ConfigCheck.h"
#include "diagnostics/DynControl.h"
#include "diagnostics/DynShape.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/DynTextBox.h"

#include "ui/TabRows.h"

#include "TestSupport.h"

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <QPalette>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct Host final : QWidget, ScreenHost {
    QString message, testText;
    QWidget* screenParent() override { return this; }
    void setMessageText(const QString& text) override { message = text; }
    void setScreenSizeTwips(int, int) override {}
    void setTestText(const QString& text) override { testText = text; }
};

struct ScreenFixture : ::testing::Test {
    QTemporaryDir dir;
    Host host;
    DiagnosticScreen screen{host};
    test::ErrorCollector errors;
    QLocale saved;

    ScreenFixture() { QLocale::setDefault(QLocale::c()); }
    ~ScreenFixture() override { QLocale::setDefault(saved); }

    bool load(const QByteArray& text)
    {
        ScreenLoad load = loadScreenFile(test::writeFile(dir.filePath(QStringLiteral("screen.cfg")), text), 2, true);
        screen.build(std::move(load.definition));
        return load.loaded;
    }
    const ScreenDefinition& definition() const { return screen.definition(); }
    void feed(std::initializer_list<std::uint8_t> bytes)
    {
        DiagnosticBuffer b{};
        std::size_t i = 0;
        for (std::uint8_t v : bytes)
            b[i++] = v;
        screen.processDiagnosticMessages(static_cast<std::uint8_t>(i), b);
    }
    QString text(int control) const { return dynamic_cast<DynTextBox*>(screen.control(control))->text(); }
    std::int32_t colour(int control) const { return dynamic_cast<DynShape*>(screen.control(control))->backColorValue(); }
};

TEST_F(ScreenFixture, LampsFollowTheirBits)
{
    ASSERT_TRUE(load("BIT, Any of two, 100, 100, 1000, 255, 16, 1, &H06, DE, LG\n"
                     "BIT, Wide key, 400, 100, 1000, 255, 4660, 2, &H80, BL, LR\n"
                     "BIT, Never, 700, 100, 1000, 255, 70000, 1, 255, BL, LR\n"));
    EXPECT_EQ(screen.controlCount(), 6) << "a lamp and its label each";
    EXPECT_EQ(definition().control(1)->value(Property::Left).toInt(), 500) << "the label 400 to the right";
    EXPECT_EQ(colour(0), 0xFFFFFF) << "the toolkit's colour until the first frame";
    const std::pair<std::uint8_t, std::int32_t> cases[] = {{0x02, 0x00FF00}, {0x04, 0x00FF00}, {0x06, 0x00FF00}, {0x01, 0x808080}};
    for (auto [byte, expected] : cases) {
        feed({16, byte});
        EXPECT_EQ(colour(0), expected) << int(byte);
    }
    feed({0x12, 0x34, 0x80});
    EXPECT_EQ(colour(2), 0x0000FF);
    feed({0x12, 0x35, 0x80});
    EXPECT_EQ(colour(2), 0x0000FF) << "another key changes nothing";
    feed({0xFF, 0xFF, 0xFF});
    EXPECT_EQ(colour(4), 0xFFFFFF) << "a number above 65535 never matches";
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(ScreenFixture, ValueBoxesScaleAndFormat)
{
    ASSERT_TRUE(load("BWLTEXT, -, 100, 100, 1000, 285, 16, B, 1, 0.5, -40, D, 0\n"
                     "BWLTEXT, -, 400, 100, 1000, 285, 16, B, 1, 0.5, -40, D, 0.00\n"
                     "BWLTEXT, -, 700, 100, 1000, 285, 16, B, 1, 0.1, 0, D, ;;;\n"
                     "BWLTEXT, -, 1000, 100, 1000, 285, 16, B, 1, 1, 0, H, 0\n"
                     "BFTEXT, -, 1300, 100, 1000, 285, 16, 2, 3, 6, 1, 0, D, 0\n"
                     "SBFTEXT, -, 1600, 100, 1000, 285, 16, 3, 3, 4, 1, 0, D, 0\n"));
    EXPECT_EQ(text(0), QStringLiteral("-"));
    EXPECT_EQ(host.testText, QStringLiteral("123")) << "the last pattern tried";
    feed({16, 100, 0x0A, 0xC8});
    EXPECT_EQ(text(0), QStringLiteral("10"));
    EXPECT_EQ(text(1), QStringLiteral("10.00"));
    EXPECT_EQ(text(2), QStringLiteral("")) << "a pattern of empty sections shows no digits";
    EXPECT_EQ(text(3), QStringLiteral("64"));
    EXPECT_EQ(text(4), QStringLiteral("43")) << "0b101011 from byte 2 bits 3-0 and byte 3 bits 7-6";
    EXPECT_EQ(text(5), QStringLiteral("-8"));
}

TEST_F(ScreenFixture, FailuresInDecodingStopThatFrameOnly)
{
    ASSERT_TRUE(load("BWLTEXT, -, 100, 100, 1000, 285, 16, B, 1, 1, 0, D, 0\n"
                     "BFTEXT, -, 400, 100, 1000, 285, 16, 7, 0, 10, 1, 0, D, 0\n"
                     "BFTEXT, -, 700, 100, 1000, 285, 16, 1, 7, 8, 1, 0, D, 0\n"
                     "BWLTEXT, -, 1000, 100, 1000, 285, 17, L, 1, 1, 0, H, 0\n"
                     "BWLTEXT, -, 1300, 100, 1000, 285, 17, B, 5, 1, 0, D, 0\n"));
    feed({16, 1, 2});
    EXPECT_EQ(text(0), QStringLiteral("1"));
    EXPECT_EQ(text(2), QStringLiteral("-")) << "after the failing field nothing more from this frame";
    feed({16, 1, 2});
    EXPECT_EQ(text(2), QStringLiteral("-")) << "the failing field stops every frame before it";
    ASSERT_EQ(errors.messages.size(), 2);
    EXPECT_EQ(errors.messages[0],
              QStringLiteral("An unexpected error 9'Subscript out of range' occured within ProcessDiagnosticMessages"));
    feed({17, 0xFF, 0xFF, 0xFF, 0xFF, 7});
    EXPECT_EQ(text(3), QStringLiteral("0"));
    EXPECT_EQ(text(4), QStringLiteral("7")) << "the hexadecimal error does not stop the frame";
    ASSERT_EQ(errors.messages.size(), 3);
    EXPECT_EQ(errors.messages[2], QStringLiteral("An unexpected error occured within ProcessDiagnosticMessages with Hex "
                                                 "value greater than 0x7FFF,FFFF"));
}

TEST_F(ScreenFixture, RecordsOfFailedCommandsNeverReachAnotherControl)
{
    ASSERT_TRUE(load("LABEL, First, 100, 100, 1000, 255\n"
                     "BIT, Bad byte, 400, 100, 1000, 255, 16, 300, 1, DE, LG\n"
                     "BWLTEXT, -, 700, 100, 1000, 285, 16x, B, 1, 1, 0, D, 0\n"
                     "BIT, Left text, 1000, abc, 1000, 255, 16, 1, 1, DE, LG\n"));
    // Which records are unused is the golden file indicators'; here, at work:
    ASSERT_EQ(screen.controlCount(), 2) << "the label, and the lamp; no label for it";
    feed({16, 0xFF});
    EXPECT_EQ(colour(1), 0x00FF00) << "the lamp works without its label";
    EXPECT_EQ(definition().control(0)->value(Property::Caption).toString(), QStringLiteral("First"));
}

// Colours out of range, for a lamp as for .BACKCOLOR: the golden file refused-values.

TEST_F(ScreenFixture, AFramesColoursAreItsOwn)
{
    ASSERT_TRUE(load("FRAME, Inputs, 100, 100, 4000, 2000\n"
                     ".FORECOLOR, DG\n"
                     ".BACKCOLOR, LY\n"
                     "LABEL, Inside, 400, 120, 1500, 255\n"
                     "BWLTEXT, -, 800, 120, 1200, 285, 16, B, 1, 1, 0, D, 0\n"));
    ASSERT_EQ(screen.controlCount(), 3);
    QWidget* frame = screen.control(0)->widget();
    QWidget* label = screen.control(1)->widget();
    QWidget* box = screen.control(2)->widget();
    ASSERT_EQ(label->parentWidget(), frame);
    ASSERT_EQ(box->parentWidget(), frame);
    const QPalette plain = QApplication::palette(label);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), plain.color(QPalette::WindowText)) << "not the frame's green";
    EXPECT_EQ(box->palette().color(QPalette::Base), QApplication::palette(box).color(QPalette::Base))
        << "a value box is not filled with the frame's yellow";
    EXPECT_EQ(definition().control(0)->value(Property::ForeColor).toInt(), 0x008000);
    EXPECT_EQ(definition().control(0)->value(Property::BackColor).toInt(), 0x00FFFF);
    // The frame itself shows its colour, beside and below what it holds.
    host.resize(2000, 2000);
    frame->show();
    const QImage image = frame->grab().toImage();
    // (The style shades a group box's inside a little.)
    const QColor inside = image.pixelColor(image.width() - 30, image.height() - 30);
    EXPECT_TRUE(inside.red() > 230 && inside.green() > 230 && inside.blue() < 30) << inside.name().toStdString();
}

// A yellow tab container of five pages, three tabs to a row.
const QByteArray kFivePages = "TAB, Pump, 300, 120, 6000, 3000\n.BACKCOLOR, LY\n.TABSPERROW, 3\n"
                              "TAB, Valves\nTAB, Heater\nTAB, Fan control\nTAB, Alarms\n";

TEST_F(ScreenFixture, ATabContainersPagesShowItsBackColour)
{
    ASSERT_TRUE(load(kFivePages));
    auto* tabs = dynamic_cast<DynTabContainer*>(screen.control(0));
    ASSERT_NE(tabs, nullptr);
    const QImage image = tabs->grab().toImage();
    const int top = tabs->tabStrip().bottom() + 4;
    for (const QPoint at : {QPoint(4, top), QPoint(image.width() / 2, (top + image.height()) / 2),
                            QPoint(image.width() - 5, image.height() - 5)}) {
        EXPECT_EQ(image.pixelColor(at).name(), QStringLiteral("#ffff00")) << at.x() << "," << at.y();
    }
}

TEST_F(ScreenFixture, TabsBeyondTabsPerRowWrapOntoRowsAndEachAnswersTheMouse)
{
    ASSERT_TRUE(load(kFivePages));
    auto* tabs = dynamic_cast<DynTabContainer*>(screen.control(0));
    ASSERT_NE(tabs, nullptr);
    auto* rows = tabs->findChild<TabRows*>();
    ASSERT_TRUE(rows && rows->isVisibleTo(tabs));
    EXPECT_EQ(tabs->tabRowCount(), 2);
    EXPECT_EQ(pixelsToTwips(rows->rowHeight(), rows->logicalDpiY()), ScreenChrome::kTabStripHeight)
        << "a row as high as a single row of tabs";
    EXPECT_EQ(tabs->tabStrip().height(), 2 * rows->rowHeight());
    EXPECT_EQ(rows->tabRect(3).top(), rows->tabRect(4).top());
    EXPECT_LT(rows->tabRect(3).bottom(), rows->tabRect(0).top()) << "Fan control and Alarms behind the first row";

    QTest::mouseClick(rows, Qt::LeftButton, {}, rows->tabRect(4).center());
    EXPECT_EQ(tabs->currentPage(), 4);
    EXPECT_TRUE(tabs->page(4)->isVisibleTo(tabs));
    EXPECT_FALSE(tabs->page(0)->isVisibleTo(tabs));
    EXPECT_EQ(rows->tabRect(4).bottom(), rows->height() - 1) << "the chosen row moves next to the page";
    QTest::keyClick(rows, Qt::Key_Up);
    EXPECT_EQ(tabs->currentPage(), 1) << "the tab above Alarms";
}

TEST_F(ScreenFixture, LeavingDiagnosticModeEmptiesTheScreen)
{
    const QByteArray file = "TAB, Pump, 3600, 120, 6000, 2500\n"
                            "BIT, Lamp, 400, 100, 1000, 255, 16, 1, 1, DE, LG\n"
                            "TAB, Valves\n"
                            "BWLTEXT, -, 400, 100, 1000, 285, 16, B, 2, 1, 0, D, 0\n";
    ASSERT_TRUE(load(file));
    auto* tabs = dynamic_cast<DynTabContainer*>(screen.control(0));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentPage(), 0) << "the screen opens on its first page";
    EXPECT_TRUE(screen.control(1)->widget()->isVisibleTo(&host));
    EXPECT_FALSE(screen.control(3)->widget()->isVisibleTo(&host)) << "on the page not shown";
    EXPECT_EQ(tabs->pageOf(screen.control(3)->widget()), 1);

    screen.deleteControls();
    EXPECT_EQ(screen.controlCount(), 0);
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
    EXPECT_FALSE(definition().bitListInUse);
    feed({16, 0xFF, 0xFF});  // nothing left to update, nothing reported
    EXPECT_TRUE(errors.messages.isEmpty());

    ASSERT_TRUE(load(file));
    EXPECT_EQ(screen.control(0)->widget()->objectName(), QStringLiteral("Control_002_000"));
    EXPECT_EQ(definition().bits.size(), 1u) << "the tables start afresh";
    feed({16, 0xFF, 42});
    EXPECT_EQ(text(3), QStringLiteral("42"));
}

TEST_F(ScreenFixture, AHostileFileEndsInWarningsAndTheNextFileWorks)
{
    test::writeFile(dir.filePath(QStringLiteral("groups.grp")),
                    "STARTGROUP, Self\r\nGROUP, Self, PARAM1\r\nLABEL, PARAM1, 1, 2, 3, 4\r\nENDGROUP\r\n");
    QByteArray file = "LABEL, " + QByteArray(10000, 'W') + ", 100, 100, 1000, 255\r\n";
    file += QByteArray("LABEL, N\0L, 100, 400, 1000, 255\r\n", 33);
    file += "LABEL, caf\xE9 \xFF\xFE, 100, 700, 1000, 255\r\n";
    file += "BWLTEXT, -, 400, 100, 1000, 285, 16, B, 1, 1, 0, D, 0\r\n";
    file += "GROUP, Self, x\r\n";
    file += QByteArray(5000, '\x01') + "\r\n";
    file += "BIT, " + QByteArray(3000, ',') + "\r\n";
    ASSERT_TRUE(load(file));
    EXPECT_FALSE(errors.messages.isEmpty()) << "the self-invoking group and the broken lines are reported";
    EXPECT_GE(screen.controlCount(), 4);
    for (int i = 0; i < 200; ++i)
        feed({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i * 13)});

    screen.deleteControls();
    errors.messages.clear();
    ASSERT_TRUE(load("BWLTEXT, -, 400, 100, 1000, 285, 16, B, 1, 1, 0, D, 0\n"));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('\n')).toStdString();
    feed({16, 42});
    EXPECT_EQ(text(0), QStringLiteral("42"));
}

TEST(ScreenBuilderTest, ATakenNumberIsNeverMadeAgain)
{
    test::ErrorCollector errors;
    ScreenBuilder builder(2);
    QStringList label = {QStringLiteral("LABEL"), QStringLiteral("First"), QStringLiteral("100"), QStringLiteral("100"),
                         QStringLiteral("1000"), QStringLiteral("255")};
    builder.createLabelControl(label, QStringLiteral("LABEL, First, 100, 100, 1000, 255"));
    builder.createNewControl(0, ControlKind::TextBox);
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("An unexpected error 380'Invalid property value' occured within CreateNewControl"));
    ASSERT_NE(builder.definition().control(0), nullptr);
    EXPECT_EQ(builder.definition().control(0)->kind(), ControlKind::Label);
    EXPECT_EQ(builder.definition().control(0)->value(Property::Caption).toString(), QStringLiteral("First"));
    builder.createNewControl(-1, ControlKind::Label);
    builder.createNewControl(1, ControlKind::Label);
    EXPECT_EQ(errors.messages.size(), 3) << "no number, no control";
    EXPECT_EQ(builder.definition().controlCount(), 1);
}

TEST(ControlPropertiesTest, OneTableOfNamesKindsAndLimits)
{
    ControlDefinition label(ControlKind::Label, QStringLiteral("x"), -1, -1);
    EXPECT_THROW(label.set(Property::Tabs, 2), Failure);
    EXPECT_THROW(label.set(Property::Width, -1), Failure);
    EXPECT_THROW(label.set(Property::BackColor, 0x1000000), Failure);
    EXPECT_THROW(label.set(Property::Alignment, 3), Failure);
    EXPECT_THROW(label.set(Property::AutoSize, QStringLiteral("maybe")), Failure);
    EXPECT_THROW(label.set(Property::Top, 3e9), Failure) << "beyond 32 bits";
    label.set(Property::AutoSize, QStringLiteral("FALSE"));
    label.set(Property::Top, 1439.6);
    EXPECT_EQ(label.value(Property::Top), QVariant(1440)) << "twips are whole";
    EXPECT_EQ(label.value(Property::AutoSize), QVariant(false));
    EXPECT_FALSE(label.isSet(Property::Left));

    ControlDefinition tabs(ControlKind::TabContainer, QStringLiteral("t"), -1, -1);
    EXPECT_THROW(tabs.set(Property::Tab, 1), Failure) << "one page until Tabs says more";
    tabs.set(Property::Caption, QStringLiteral("Pump"));
    tabs.set(Property::Tabs, 3);
    tabs.set(Property::Tab, 2);
    tabs.set(Property::Caption, QStringLiteral("Valves"));
    EXPECT_EQ(tabs.pageCaptions(), QStringList({QStringLiteral("Pump"), QStringLiteral("Tab 1"), QStringLiteral("Valves")}));
    EXPECT_EQ(tabs.value(Property::Caption).toString(), QStringLiteral("Valves")) << "the caption of the page shown";

    // Only the lines of the language set a property by name (in any case: the
    // golden file properties).
    EXPECT_FALSE(propertyOfLineCommand(QStringLiteral(".CAPTION")));
    EXPECT_FALSE(propertyOfLineCommand(QStringLiteral(".TOP")));
    EXPECT_FALSE(propertyOfLineCommand(QStringLiteral("BACKCOLOR")));
}

TEST(DynControlTest, EveryKindIsMadeHiddenAndPlacedInTwips)
{
    QWidget host;
    for (ControlKind kind : {ControlKind::Label, ControlKind::Frame, ControlKind::TabContainer, ControlKind::Shape,
                             ControlKind::TextBox}) {
        std::unique_ptr<DynControl> c(DynControl::create(kind, QStringLiteral("x"), &host));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->kind(), kind);
        EXPECT_FALSE(c->widget()->isVisibleTo(&host)) << "made hidden";
        ControlDefinition definition(kind, QStringLiteral("x"), -1, -1);
        definition.set(Property::Top, 1440);
        definition.set(Property::Visible, true);
        for (int p = 0; p < kPropertyCount; ++p) {
            const auto property = static_cast<Property>(p);
            if (kindHas(kind, property)) {
                EXPECT_TRUE(definition.value(property).isValid()) << propertyName(property).toStdString();
            }
        }
        c->applyDefinition(definition);
        EXPECT_EQ(c->widget()->y(), twipsToPixels(1440, c->widget()->logicalDpiY()));
        EXPECT_TRUE(c->widget()->isVisibleTo(&host));
    }
}

}  // namespace
