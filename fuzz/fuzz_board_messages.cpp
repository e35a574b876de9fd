// Board replies come from whatever is on the bus: the board directory must take
// any sequence of messages (announcements, P-code replies, diagnostic data,
// text packets) without crashing, keep its tables consistent, and never touch a
// window it was told is closed.

#include "FuzzSupport.h"

#include "can/BoardDirectory.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/SettingsStore.h"

#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

using namespace tellvane;

namespace {

class NullAdapter final : public test::QuietAdapter {
public:
    QString name() const override { return QStringLiteral("null"); }
};

struct Window final : BoardWindowHandle {
    bool closed = false;
    std::uint8_t address = 0;
    void initialise(std::int16_t, std::int16_t, std::uint8_t a, std::int32_t) override { address = a; }
    QString addressText() const override
    {
        FUZZ_CHECK(!closed);
        return QString::number(address);
    }
    void showPCode(const QString& style, const QString& variant, const QString&) override
    {
        FUZZ_CHECK(!closed);
        FUZZ_CHECK(style.size() == 4 && variant.size() == 4);
    }
    void loadBoardPicture() override { FUZZ_CHECK(!closed); }
    void moveToTwips(int top, int left) override
    {
        FUZZ_CHECK(!closed);
        FUZZ_CHECK(top > 0 && left > 0);
    }
    void processDiagnosticMessages(std::uint8_t length, const std::array<std::uint8_t, 9>&, LineTime) override
    {
        FUZZ_CHECK(!closed);
        FUZZ_CHECK(length <= 8);
    }
};

struct Factory final : BoardWindowFactory {
    std::vector<std::unique_ptr<Window>> windows;
    BoardWindowHandle* makeBoardWindow() override
    {
        windows.push_back(std::make_unique<Window>());
        return windows.back().get();
    }
};

struct Packets final : PacketReceiver {
    void acknowledgementReceived() override {}
    void textPacketReceived(const CanMessage& m) override { FUZZ_CHECK(m.length != 1); }
};

void checkSlotOf(const BoardDirectory& boards, int address)
{
    const int slot = boards.addrToSlot(address);
    FUZZ_CHECK(slot == -1 || (slot >= 0 && slot < boards.slotCount()));
}

void checkAllSlots(const BoardDirectory& boards)
{
    for (int a = 0; a < 256; ++a)
        checkSlotOf(boards, a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::ensureApplication();
    fuzz::ErrorCollector errors;
    static QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("fuzz.ini")));
    NullAdapter adapter;
    FakeClock clock;
    CanLink link(adapter, clock);
    BoardDirectory boards(link, settings);
    Factory factory;
    Packets packets;
    boards.setWindowFactory(&factory);
    boards.setPacketReceiver(&packets);

    // Each step takes 12 bytes: an operation, an address, a length and 9 data bytes.
    for (std::size_t at = 0; at + 12 <= size && factory.windows.size() < 512; at += 12) {
        const std::uint8_t op = data[at];
        const std::uint8_t address = data[at + 1];
        CanMessage m;
        m.length = data[at + 2] % 9;
        for (int i = 0; i < 9; ++i)
            m.data[static_cast<std::size_t>(i)] = data[at + 3 + static_cast<std::size_t>(i)];
        for (int i = m.length; i < 9; ++i)
            m.data[static_cast<std::size_t>(i)] = i == 0 ? m.data[0] : 0;
        static const std::uint32_t groups[] = {0x18EFFF00u, 0x18EFF900u, 0x18EFFE00u, 0x18EAFF00u};
        m.id = static_cast<std::int32_t>(groups[op & 3] | address);
        switch (op >> 5) {
        case 0: {
            // Close a window, as the user would.
            const int slot = address % (boards.slotCount() + 1);
            if (slot < boards.slotCount() && boards.slot(slot).window) {
                static_cast<Window*>(boards.slot(slot).window)->closed = true;
                boards.windowClosed(static_cast<std::int16_t>(slot));
            }
            break;
        }
        case 1:
            boards.setDiagMode(static_cast<std::int16_t>(address % (boards.slotCount() + 1)), true);
            break;
        case 2:
            boards.setDownloadBoardAddress(static_cast<std::int16_t>(address));
            break;
        case 3:
            // A stored position for the next board that announces itself. Each
            // write goes to disk, so only one in four of these steps writes.
            if ((op & 0x0C) == 0)
                settings.setValue(QStringLiteral("0000-0000"), QStringLiteral("Left"), QString::number(address * 300));
            else
                boards.processCanMessage(m);
            break;
        default:
            boards.processCanMessage(m);
            break;
        }
        // The tables agree: the address just used maps to a slot that exists,
        // and so does every address, looked at every sixteenth step and at the end.
        checkSlotOf(boards, address);
        if ((at / 12) % 16 == 15)
            checkAllSlots(boards);
    }
    checkAllSlots(boards);
    (void)errors;
    QCoreApplication::processEvents();
    return 0;
}
