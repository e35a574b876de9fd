#include "cli/CliSupport.h"

#include "adapters/AdapterFactory.h"
#include "core/OutputFile.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <csignal>

#include <unistd.h>

namespace tellvane::cli {

namespace {
std::atomic<int> g_signal{0};
std::atomic<bool> g_endIfStuck{false};

extern "C" void onStuck(int)
{
    _exit(128 + g_signal.load());
}

extern "C" void onStopSignal(int signal)
{
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, signal)) {
        if (g_endIfStuck)
            _exit(128 + g_signal.load());
        return;
    }
    if (g_endIfStuck)
        alarm(kStuckSeconds);
}
}  // namespace

void installStopSignals(bool endIfStuck)
{
    g_endIfStuck = endIfStuck;
    if (endIfStuck)
        std::signal(SIGALRM, onStuck);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopRequested()
{
    return g_signal != 0;
}

int stoppedExitCode()
{
    const int signal = g_signal;
    return signal == 0 ? 0 : 128 + signal;
}

ReadProgress::ReadProgress(QTextStream& err, QString file) : m_err(err), m_file(std::move(file))
{
    m_since.start();
}

bool ReadProgress::check(std::int64_t bytes, std::int64_t frames)
{
    if (m_since.elapsed() >= kProgressSeconds * 1000) {
        m_err << m_file << ": read " << bytes / 1000000 << " MB, " << frames << " frames" << Qt::endl;
        m_since.restart();
    }
    return !stopRequested();
}

int refuse(const QString& usage, QTextStream& err, const QStringList& reasons)
{
    err << usage << Qt::endl;
    for (const QString& reason : reasons) {
        if (!reason.isEmpty())
            err << "tellvane-cli: " << reason << Qt::endl;
    }
    return 2;
}

QString outputFailure(QTextStream& out)
{
    if (const auto* file = dynamic_cast<const OutputFile*>(out.device()); file && file->failed())
        return file->failure();
    if (out.status() == QTextStream::WriteFailed)
        return out.device() ? out.device()->errorString() : QStringLiteral("the output cannot be written");
    return {};
}

int checkedExit(QTextStream& out, QTextStream& err, int code)
{
    out.flush();
    const QString failure = outputFailure(out);
    if (failure.isEmpty())
        return code;
    err << "tellvane-cli: cannot write to the standard output: " << failure << Qt::endl;
    return std::max(code, 1);
}

QCommandLineOption adapterOption()
{
    return {QStringLiteral("adapter"),
            QStringLiteral("The CAN adapter: %1.").arg(adapterNames().join(QStringLiteral(", "))),
            QStringLiteral("NAME")};
}

std::unique_ptr<Adapter> openAdapter(const QString& name, Clock& clock, QTextStream& err, QString* error)
{
    AdapterChoice choice = createAdapter(name, AdapterEnvironment{clock, QCoreApplication::applicationDirPath()});
    if (!choice.adapter) {
        err << "tellvane-cli: " << choice.error << Qt::endl;
        if (error)
            *error = choice.error;
        return nullptr;
    }
    for (const QString& warning : choice.warnings)
        err << warning << Qt::endl;
    return std::move(choice.adapter);
}

QString interfaceStateText(InterfaceState state)
{
    switch (state) {
    case InterfaceState::Ok:
        return QStringLiteral("OK");
    case InterfaceState::AdapterMissing:
        return QStringLiteral("Interface Missing");
    case InterfaceState::NoConnection:
        return QStringLiteral("No CAN Connection");
    case InterfaceState::SendFailed:
        return QStringLiteral("Error Sending Data");
    case InterfaceState::NotChecked:
        break;
    }
    return QStringLiteral("not checked");
}

void ConsoleStatus::showInterfaceState(InterfaceState state)
{
    if (state == m_state)
        return;
    m_state = state;
    m_out << "Interface: " << interfaceStateText(state) << Qt::endl;
}

void ConsoleStatus::showErrorFlags(std::uint8_t flags)
{
    if (flags == m_flags)
        return;
    m_flags = flags;
    static const char* const kNames[] = {nullptr,      "Rx Warning", "Tx Warning", "Rx Passive",
                                         "Tx Passive", "Bus Off",    "Buffer 0",   "Buffer 1"};
    QStringList names;
    for (int bit = 1; bit < 8; ++bit) {
        if (flags & (1u << bit))
            names.append(QString::fromLatin1(kNames[bit]));
    }
    m_out << "Controller: " << (flags == 0 ? QStringLiteral("OK") : names.join(QStringLiteral(", "))) << Qt::endl;
}

void ConsoleStatus::showBufferOverflow(bool overflowed)
{
    if (overflowed && !m_overflowed)
        m_out << "The adapter's receive buffer overflowed: messages were lost" << Qt::endl;
    m_overflowed = overflowed;
}

}  // namespace tellvane::cli
