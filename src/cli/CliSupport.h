#pragma once

#include "can/LinkInterfaces.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace tellvane::cli {

// The options of one command: "--name value" pairs and "--flag" switches.
struct Options {
    QMap<QString, QString> values;
    QStringList flags;
    QStringList positional;
    QString error;  // set when the arguments do not fit

    bool has(const QString& name) const { return values.contains(name) || flags.contains(name); }
    QString value(const QString& name) const { return values.value(name); }
    // A whole number (decimal or 0x hexadecimal); none when absent or not a number.
    std::optional<qint64> number(const QString& name) const;
};

Options parseOptions(const QStringList& args, const QStringList& valued, const QStringList& switches);

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
