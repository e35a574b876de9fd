#include "stack/BoardDiscovery.h"

#include "can/CanLink.h"
#include "core/Clock.h"
#include "firmware/FlashWords.h"
#include "stack/BusStack.h"

#include <algorithm>

namespace tellvane {

BoardWait awaitBoards(BusStack& bus, Clock& clock, const std::function<bool()>& found,
                      const std::function<bool()>& stop)
{
    CanLink& link = bus.link();
    const std::int64_t start = clock.nowMicroseconds();
    auto waited = [&] { return (clock.nowMicroseconds() - start) / 1000; };
    std::int64_t nextTickUs = start;
    std::int64_t nextAskUs = -1;
    BoardWait result = BoardWait::Found;
    while (link.interfaceState() != InterfaceState::Ok || !found()) {
        if (stop && stop())
            return BoardWait::Stopped;
        if (link.interfaceState() != InterfaceState::Ok && waited() > kLinkWaitMs)
            return BoardWait::LinkDown;
        if (waited() > kLinkWaitMs + kBoardWaitMs) {
            result = BoardWait::TimedOut;
            break;
        }
        const std::int64_t now = clock.nowMicroseconds();
        if (now >= nextTickUs) {
            link.pollTick();
            nextTickUs = now + std::int64_t{kPollIntervalMs} * 1000;
        } else {
            link.checkForIncomingCanMessages();
        }
        const bool up = link.interfaceState() == InterfaceState::Ok;
        if (up && !found() && (nextAskUs < 0 || now >= nextAskUs)) {
            bus.boards().sendAllBoardRequest();
            nextAskUs = now + std::int64_t{kAskAgainMs} * 1000;
        }
        if (!up)
            clock.sleepUntilUs(nextTickUs);
        else if (!found())
            link.waitForArrival(nextTickUs);
    }
    // The boards' P-code replies and the rest of their start-up chatter; the
    // answers to the last request too, so that no announcement comes later
    // and closes the downloader of the board that sent it.
    for (int i = 0; i < 4; ++i) {
        link.pollTick();
        clock.delayMs(kPollIntervalMs);
    }
    return result;
}

class BoardRoster::Handle final : public BoardWindowHandle {
public:
    Board board;

    void initialise(std::int16_t, std::int16_t boardType, std::uint8_t address, std::int32_t serial) override
    {
        board.address = address;
        board.boardType = boardType;
        board.serial = serial;
    }
    QString addressText() const override { return QString::number(board.address); }
    void showPCode(const QString& style, const QString& variant, const QString&) override
    {
        board.pCode = style + variant;
    }
    void loadBoardPicture() override {}
    void moveToTwips(int, int) override {}
    void processDiagnosticMessages(std::uint8_t, const std::array<std::uint8_t, 9>&, LineTime) override {}
};

BoardRoster::BoardRoster() = default;
BoardRoster::~BoardRoster() = default;

BoardWindowHandle* BoardRoster::makeBoardWindow()
{
    m_handles.push_back(std::make_unique<Handle>());
    return m_handles.back().get();
}

std::vector<BoardRoster::Board> BoardRoster::boards() const
{
    std::vector<Board> result;
    result.reserve(m_handles.size());
    for (const auto& handle : m_handles)
        result.push_back(handle->board);
    return result;
}

std::vector<BoardRoster::Board> BoardRoster::withSerial(std::uint32_t serial) const
{
    std::vector<Board> found;
    for (const auto& handle : m_handles) {
        const Board& b = handle->board;
        if (b.address == firmware::kConflictAddress || static_cast<std::uint32_t>(b.serial) != serial)
            continue;
        const auto same = std::find_if(found.begin(), found.end(), [&](const Board& f) { return f.address == b.address; });
        if (same == found.end())
            found.push_back(b);
        else
            *same = b;  // announced again: the latest word counts
    }
    return found;
}

void BoardRoster::detach(BoardDirectory& directory) const
{
    for (int slot = 0; slot < directory.slotCount(); ++slot) {
        for (const auto& handle : m_handles)
            directory.forgetWindow(static_cast<std::int16_t>(slot), handle.get());
    }
}

}  // namespace tellvane
