#include "app/MainWindow.h"
#include "core/Twips.h"
#include "diagnostics/BoardWindow.h"

#include "AppTestSupport.h"
#include "FakeAdapter.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace tellvane;
using test::AppHarness;

namespace {

QList<BoardWindow*> boardWindows(MainWindow& main)
{
    QList<BoardWindow*> out;
    const auto subs = main.mdiArea()->subWindowList();
    for (QMdiSubWindow* sub : subs) {
        if (auto* w = qobject_cast<BoardWindow*>(sub->widget()))
            out.append(w);
    }
    return out;
}

QPushButton* button(QWidget* w, const char* name)
{
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
}

QString text(QWidget* w, const char* name)
{
    auto* box = w->findChild<QLineEdit*>(QString::fromLatin1(name));
    return box ? box->text() : QStringLiteral("<none>");
}

QSize outerPx(QWidget* w, int widthTwips, int heightTwips)
{
    return {twipsToPixels(widthTwips, w->logicalDpiX()), twipsToPixels(heightTwips, w->logicalDpiY())};
}

// A program on the fake adapter, with boards announced by hand.
struct BoardsOnFake : ::testing::Test {
    AppHarness harness{std::make_unique<test::FakeAdapter>()};
    test::FakeAdapter& adapter() { return static_cast<test::FakeAdapter&>(harness.app->adapter()); }

    void SetUp() override
    {
        harness.main().open();
        harness.app->pollTimer().setPollingEnabled(false);
        harness.tick();
    }
    void receive(std::uint32_t id, std::vector<std::uint8_t> data)
    {
        adapter().pushMessage(id, std::move(data));
        harness.tick();
    }
    BoardWindow* announce(int address, bool withPCode = true)
    {
        receive(0x18EFFF00u + static_cast<std::uint32_t>(address), {0xFF, 0, 0x01, 0x80, 0x40, 0, 0, 7});
        if (withPCode)
            receive(0x18EFF900u + static_cast<std::uint32_t>(address), {5, 0x00, 0xBC, 0x61, 0x4E});
        const auto windows = boardWindows(harness.main());
        return windows.isEmpty() ? nullptr : windows.back();
    }
};

TEST_F(BoardsOnFake, WindowShowsTheBoardAtItsFixedLayout)
{
    BoardWindow* w = announce(0x21, false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Board Type 1537"));
    EXPECT_EQ(w->subWindow()->size(), outerPx(w, 7020, 3690));
    EXPECT_EQ(text(w, "AddrText"), QStringLiteral("33"));
    EXPECT_EQ(text(w, "SerialNumText"), QStringLiteral("7"));
    EXPECT_EQ(text(w, "BTypeText"), QString());
    auto* frame = w->findChild<QGroupBox*>(QStringLiteral("Frame1"));
    EXPECT_EQ(frame->title(), QStringLiteral("Board Information"));
    EXPECT_EQ(frame->size(), QSize(twipsToPixels(6495, 96), twipsToPixels(2895, 96)));
    EXPECT_EQ(button(w, "StartDiag")->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_EQ(button(w, "FWDownloadCommand")->text(), QStringLiteral("Enter Firmware Download Mode"));
    EXPECT_FALSE(w->findChild<QLabel*>(QStringLiteral("ErrorNodeLabel"))->isVisibleTo(w));

    receive(0x18EFF921, {5, 0x00, 0xBC, 0x61, 0x4E});
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Board 1234-5678 [33]"));
    EXPECT_EQ(text(w, "BTypeText"), QStringLiteral("1234"));
    EXPECT_EQ(text(w, "PCodeText"), QStringLiteral("5678"));
}

TEST_F(BoardsOnFake, DiagnosticButtonGuards)
{
    BoardWindow* w = announce(0x21, false);
    QPushButton* start = button(w, "StartDiag");
    start->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 1u);
    EXPECT_EQ(harness.dialogs.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(harness.dialogs.boxes[0].text, QStringLiteral("Cannot enter diagnostic mode as there is not a valid PCode value"));

    receive(0x18EFF921, {5, 0x00, 0xBC, 0x61, 0x4E});
    adapter().clearLog();
    start->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 2u);
    EXPECT_EQ(harness.dialogs.boxes[1].text, QStringLiteral("Could not find a matching .CFG file for this board"));
    EXPECT_EQ(start->text(), QStringLiteral("Enter Diagnostic Mode"));
    EXPECT_TRUE(adapter().sent.empty()) << "nothing is sent";
}

// A second board while one has the downloader is a journey.
TEST_F(BoardsOnFake, FirmwareButtonGuards)
{
    BoardWindow* board = announce(0x21);
    harness.app->monitor().switchMode();
    button(board, "FWDownloadCommand")->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 1u);
    EXPECT_EQ(harness.dialogs.boxes[0].text,
              QStringLiteral("System must be in Live CAN mode to enter Firmware Download mode"));
    harness.app->monitor().switchMode();

    // Several boards may answer at the conflict address: no download there.
    BoardWindow* conflict = announce(254, false);
    adapter().clearLog();
    button(conflict, "FWDownloadCommand")->click();
    ASSERT_EQ(harness.dialogs.boxes.size(), 2u);
    EXPECT_EQ(harness.dialogs.boxes[1].text, BoardWindow::kConflictDownloadText);
    EXPECT_EQ(harness.app->boards().downloadBoardAddress(), -1);
    EXPECT_FALSE(harness.app->downloader().isOpen());
    EXPECT_TRUE(adapter().sent.empty());
}

TEST_F(BoardsOnFake, ClosingSavesThePlaceForTheNextWindowOfItsKind)
{
    BoardWindow* w = announce(0x21);
    w->subWindow()->move(90, 60);
    const int slot = w->formIndex();
    w->subWindow()->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(harness.app->boards().slot(slot).nodeAddress, -1);
    EXPECT_EQ(harness.settings.value(QStringLiteral("1234-5678"), QStringLiteral("Left")),
              QString::number(pixelsToTwips(90, 96)));
    EXPECT_EQ(harness.settings.value(QStringLiteral("1234-5678"), QStringLiteral("Top")),
              QString::number(pixelsToTwips(60, 96)));
    EXPECT_TRUE(boardWindows(harness.main()).isEmpty());

    // The board announces itself again: a new window, moved to the saved place by its P-code.
    BoardWindow* again = announce(0x21);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->formIndex(), slot);
    EXPECT_EQ(again->subWindow()->pos(), QPoint(90, 60));

    // A window whose P-code never came saves under "-".
    BoardWindow* unknown = announce(0x30, false);
    unknown->subWindow()->close();
    EXPECT_FALSE(harness.settings.value(QStringLiteral("-"), QStringLiteral("Top")).isEmpty());
}

}  // namespace
