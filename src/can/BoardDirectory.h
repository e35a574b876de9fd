#pragma once

#include "can/BoardRecord.h"
#include "can/BoardWindowFactory.h"
#include "can/BoardWindowHandle.h"
#include "can/DownloaderControl.h"
#include "can/LinkInterfaces.h"
#include "can/PacketReceiver.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace tellvane {

class CanLink;
class SettingsStore;

// The boards seen on the bus: BoardTable, AddrToSlot and DownloadBoardAddress,
// the routing of every received (or replayed) message, and the board requests.
class BoardDirectory final : public MessageRouter {
public:
    static constexpr std::int16_t kNone = -1;

    BoardDirectory(CanLink& link, SettingsStore& settings);

    void setWindowFactory(BoardWindowFactory* factory) { m_factory = factory; }
    void setPacketReceiver(PacketReceiver* receiver) { m_packets = receiver; }
    void setDownloaderControl(DownloaderControl* control) { m_downloader = control; }

    // ProcessCANMessage: routes a received or replayed frame to the boards'
    // windows, the P-code reply handling or the text transport.
    void processCanMessage(const CanMessage& message) override;

    // The request to all boards to announce themselves.
    void sendAllBoardRequest();
    // Diagnostic frames on and off, at the board of that address.
    void sendDiagOnRequest(std::uint8_t address);
    void sendDiagOffRequest(std::uint8_t address);

    // The board window's side.
    void setDiagMode(std::int16_t slot, bool on);
    void windowClosed(std::int16_t slot);
    // A window that goes away without closing: its slot no longer points at it.
    void forgetWindow(std::int16_t slot, const BoardWindowHandle* window);

    // Slots in use (the spare at the end not counted).
    int slotCount() const { return static_cast<int>(m_table.size()) - 1; }
    const BoardRecord& slot(int index) const { return m_table.at(static_cast<std::size_t>(index)); }
    std::int16_t addrToSlot(int address) const { return m_addrToSlot.at(static_cast<std::size_t>(address)); }
    // A slot holds the board at this address, its window not closed.
    bool knows(int address) const;

    std::int16_t downloadBoardAddress() const { return m_downloadBoardAddress; }
    void setDownloadBoardAddress(std::int16_t address) { m_downloadBoardAddress = address; }

private:
    // An announcement: a window for a board not yet known (or in address
    // conflict), then a P-code request to it.
    void addNodeToList(const CanMessage& message);
    // A frame of the group to all boards goes to its sender's window while
    // that window is in diagnostic mode.
    void routeDiagnosticMessage(const CanMessage& message);
    // A frame of the bus without a session time (none of the link's) takes now.
    LineTime lineTimeOf(const CanMessage& message) const;
    // A new slot and board window for the board; its window is told who it shows.
    void createNewForm(std::int16_t boardType, std::uint8_t address, std::int32_t serial);
    // Asks the board for its P-code (style and variant).
    void sendPCodeRequest(std::uint8_t address);
    void handlePCodeReply(std::int16_t slot, const CanMessage& message);
    void sendToBoard(const char* operation, std::uint8_t address, std::uint8_t length, const std::uint8_t* data);

    CanLink& m_link;
    SettingsStore& m_settings;
    BoardWindowFactory* m_factory = nullptr;
    PacketReceiver* m_packets = nullptr;
    DownloaderControl* m_downloader = nullptr;
    std::vector<BoardRecord> m_table;
    std::array<std::int16_t, 257> m_addrToSlot{};
    std::int16_t m_downloadBoardAddress = kNone;
};

}  // namespace tellvane
