#pragma once

#include "can/Adapter.h"
#include "can/BoardDirectory.h"
#include "can/CanLink.h"
#include "can/TextTransport.h"
#include "firmware/FirmwareDownloader.h"

#include <QString>

#include <functional>
#include <memory>

namespace tellvane {

class Clock;
class Dialogs;
class SettingsStore;

// What the stack needs from whoever runs it: the program or tellvane-cli.
struct BusStackEnvironment {
    Clock& clock;
    Dialogs& dialogs;         // the downloader's boxes and its choice of file
    SettingsStore& settings;  // what the boards and the downloader remember
    QString programFolder;
};

// The bus as the program and tellvane-cli both use it: one adapter, the link
// that keeps it alive, the board directory the link routes to, the text
// transport and the firmware downloader, wired to each other. What shows the
// traffic and the state (status view, message sink, downloader view, board
// windows) is the owner's to attach.
class BusStack {
public:
    BusStack(std::unique_ptr<Adapter> adapter, const BusStackEnvironment& environment);
    BusStack(const BusStack&) = delete;
    BusStack& operator=(const BusStack&) = delete;

    Adapter& adapter() { return *m_adapter; }
    const Adapter& adapter() const { return *m_adapter; }
    CanLink& link() { return m_link; }
    BoardDirectory& boards() { return m_boards; }
    TextTransport& transport() { return m_transport; }
    FirmwareDownloader& downloader() { return m_downloader; }

    // Lets window events run during long drains and transfers.
    void setYield(const std::function<void()>& yield);

    // A drain or a download stage is using the adapter: it must stay until they are done.
    bool busy() const { return m_link.draining() || m_downloader.isRunning(); }
    // Puts another adapter in use; the link's next tick probes and configures
    // it as at start-up. Returns the adapter it replaces. Not while busy().
    std::unique_ptr<Adapter> replaceAdapter(std::unique_ptr<Adapter> adapter);

private:
    std::unique_ptr<Adapter> m_adapter;
    CanLink m_link;
    BoardDirectory m_boards;
    TextTransport m_transport;
    FirmwareDownloader m_downloader;
};

}  // namespace tellvane
