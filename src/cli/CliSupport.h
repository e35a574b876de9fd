#pragma once

#include "can/Adapter.h"
#include "can/LinkInterfaces.h"
#include "cli/CommandLine.h"
#include "core/Clock.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>

namespace tellvane::cli {

// The lines of every command, for a command line that names none.
inline constexpr char kUsage[] =
    "usage: tellvane-cli check-config FILE [--dump] [--lint]\n"
    "       tellvane-cli bench --adapter NAME [--bench FILE] [--images DIR] [--seconds S]\n"
    "       tellvane-cli monitor --adapter NAME [--save FILE] [--count N] [--seconds S] [--filter EXPR]\n"
    "                            [--format lines|candump|asc|csv] [--dbc FILE...]\n"
    "       tellvane-cli flash --adapter NAME --board ADDRESS --area AREA --file FILE [--no-flash]\n"
    "       tellvane-cli flash --plan PLAN [--adapter NAME] [--report REPORT] [--stop-on-error]\n"
    "       tellvane-cli convert IN OUT   (logs: .txt, .log, .asc, .csv)\n"
    "       tellvane-cli decode --dbc FILE [--dbc FILE...] LOG [--format text|csv]\n"
    "       tellvane-cli replay [--adapter NAME --transmit] FILE [--speed F] [--loop]   (F: 0.1 to 10)\n"
    "       tellvane-cli send --adapter NAME FRAME... [--period MS [--count N]]   (FRAME: 123#DEADBEEF, 18FEF1F9#0140FF)\n"
    "       tellvane-cli send --adapter NAME --list FILE\n"
    "Numbers are decimal or hexadecimal after 0x (033 is 33): ADDRESS 0 to 253, N 1 to 2147483647,\n"
    "S 1 to 31536000, MS 1 to 3600000. AREA is 0, 1, 2, 3 or boot, sys, pcode, config.";

Command checkConfigCommand();
Command benchCommand();
Command monitorCommand();
Command flashCommand();
Command convertCommand();
Command decodeCommand();
Command replayCommand();
Command sendCommand();

// The command's usage, then each reason given on a line of its own; exit code 2.
int refuse(const QString& usage, QTextStream& err, const QStringList& reasons = {});

// Why the console's output (a stream on the standard output) was lost;
// empty while every line reached it.
QString outputFailure(QTextStream& out);
// The exit code of a command once its last lines reached the standard
// output: flushed and checked, as the output of a command whose lines were
// lost is no answer (the reason on err, and an exit code of 1 at least).
int checkedExit(QTextStream& out, QTextStream& err, int code);

// --adapter NAME, which every command on a bus takes.
QCommandLineOption adapterOption();

// The adapter of a name (tellvane-cli's folder holds the vendor library), and
// its warnings on err; null, after the reason on err (and in *error), for a
// name that names none.
std::unique_ptr<Adapter> openAdapter(const QString& name, Clock& clock, QTextStream& err, QString* error = nullptr);

// Ctrl+C and SIGTERM end a command's loop at its next turn. With
// endIfStuck, a command still running kStuckSeconds after the signal (a read
// waiting on a pipe that sends nothing) ends then, with stoppedExitCode(); a
// second signal ends it at once.
inline constexpr unsigned kStuckSeconds = 2;
void installStopSignals(bool endIfStuck = false);
bool stopRequested();
// 128 and the number of the signal that stopped the command (130 for Ctrl+C,
// 143 for SIGTERM); 0 when none did.
int stoppedExitCode();

// What a command that reads a long log prints on err every kProgressSeconds
// of wall time: "FILE: read N MB, M frames".
class ReadProgress {
public:
    static constexpr int kProgressSeconds = 3;
    ReadProgress(QTextStream& err, QString file);
    // For a reader's check: says how far it is when it is time; false once a stop was asked for.
    bool check(std::int64_t bytes, std::int64_t frames);

private:
    QTextStream& m_err;
    QString m_file;
    QElapsedTimer m_since;
};

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

}  // namespace tellvane::cli
