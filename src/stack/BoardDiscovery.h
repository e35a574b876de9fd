#pragma once

#include "can/BoardDirectory.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tellvane {
class BusStack;
class Clock;
}  // namespace tellvane

namespace tellvane {

// How long the commands give the adapter to come up, and the boards to
// announce themselves after that.
inline constexpr int kLinkWaitMs = 5000;
inline constexpr int kBoardWaitMs = 5000;
inline constexpr int kPollIntervalMs = 25;
// Boards that did not announce themselves when the link came up are asked
// again this often.
inline constexpr int kAskAgainMs = 1000;

enum class BoardWait {
    Found,     // found() answered true with the link up
    LinkDown,  // the adapter did not come up in kLinkWaitMs
    TimedOut,  // the link came up, found() stayed false for kBoardWaitMs more
    Stopped,   // stop() answered true
};

// Brings the bus's link up and asks the boards to announce themselves, as
// soon as the link is up and again every kAskAgainMs, until found() answers
// true. Then lets the boards' P-code replies and the rest of their start-up
// chatter arrive. Polls the link as the program's timer does.
BoardWait awaitBoards(BusStack& bus, Clock& clock, const std::function<bool()>& found,
                      const std::function<bool()>& stop);

// What the console learns of the boards that announce themselves: the
// board windows of the program, reduced to the address, serial number and
// P-code that find a board again wherever it sits on the bus.
class BoardRoster final : public BoardWindowFactory {
public:
    struct Board {
        int address = -1;
        int boardType = 0;
        std::int32_t serial = 0;
        QString pCode;  // eight digits once the board answered the P-code request
    };

    BoardRoster();
    ~BoardRoster() override;

    BoardWindowHandle* makeBoardWindow() override;

    // Every board as it announced itself, in order.
    std::vector<Board> boards() const;
    // The boards with this serial number, one per address (one board,
    // unless boards share a serial number); none at 254, where boards in
    // address conflict answer and none of them can be served.
    std::vector<Board> withSerial(std::uint32_t serial) const;
    // Takes the roster's handles out of the directory's board table, so that
    // the roster may go before the directory.
    void detach(BoardDirectory& directory) const;

private:
    class Handle;
    std::vector<std::unique_ptr<Handle>> m_handles;
};

}  // namespace tellvane
