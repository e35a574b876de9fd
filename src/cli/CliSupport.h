#pragma once

#include "can/LinkInterfaces.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace tellvane::cli {

// Ctrl+C and SIGTERM end a command's loop at its next turn.
void installStopSignals();
bool stopRequested();

// The monitor's caption of an interface state.
QString interfaceStateText(InterfaceState state);

// The link's state on a console: one line per change.
class ConsoleStatus final : public LinkStatusView {
public:
    explicit ConsoleStatus(QTextStream& out) : m_out(out) {}
    void showInterfaceState(InterfaceState state) override;
    void showErrorFlags(std::uint8_t flags) override;
    void showBufferOverflow(bool overflowed) override;
    void showMessagesInBuffer(int) override {}
    void enableErrorTimer() override {}

private:
    QTextStream& m_out;
    InterfaceState m_state = InterfaceState::NotChecked;
    std::uint8_t m_flags = 0;
    bool m_overflowed = false;
};

int benchCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int monitorCommand(const QStringList& args, QTextStream& out, QTextStream& err);
int flashCommand(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace tellvane::cli
