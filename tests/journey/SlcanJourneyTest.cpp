// The slcan adapter chosen from the Adapter menu, with the boards of a
// tellvane-cli bench on the other end: two slcan adapters back to back are a
// bus (one's "T" line is the other's received frame), so the test joins two
// pseudo-terminals' masters both ways and gives the bench one slave, the
// program the other. The bench runs in real time: fake time keeps pace with
// it, every wait bounded.

#include "Session.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace tellvane;
using namespace tellvane::test;

namespace {

constexpr int kRealWaitMs = 30000;

// Two pseudo-terminals whose masters pass on what either slave writes to the
// other slave. The slaves stay open here too: raw (no echo before a port opens
// them), and no hang-up on a master while a port is closed.
class Crossover {
public:
    Crossover()
    {
        for (End& end : m_ends) {
            char name[64] = {};
            termios raw{};
            ::cfmakeraw(&raw);
            ::cfsetspeed(&raw, B115200);
            if (::openpty(&end.master, &end.slave, name, &raw, nullptr) == 0)
                end.name = QString::fromLocal8Bit(name);
        }
        m_thread = std::thread([this] {
            pollfd fds[2] = {{m_ends[0].master, POLLIN, 0}, {m_ends[1].master, POLLIN, 0}};
            char buffer[4096];
            while (!m_stop) {
                const bool ready = ::poll(fds, 2, 50) > 0;
                for (int from = 0; ready && from < 2; ++from) {
                    const ssize_t size = fds[from].revents & POLLIN ? ::read(fds[from].fd, buffer, sizeof buffer) : 0;
                    for (ssize_t at = 0, written = 0; at < size && written >= 0; at += written)
                        written = ::write(fds[1 - from].fd, buffer + at, static_cast<std::size_t>(size - at));
                }
            }
        });
    }
    ~Crossover()
    {
        m_stop = true;
        m_thread.join();
        for (const End& end : m_ends) {
            ::close(end.master);
            ::close(end.slave);
        }
    }
    QString port(int end) const { return m_ends[end].name; }

private:
    struct End {
        int master = -1;
        int slave = -1;
        QString name;
    };
    End m_ends[2];
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct SlcanJourney : Session {
    QString benchText() const override { return QStringLiteral("# no boards here: they are on the other end\n"); }
    void SetUp() override { h = std::make_unique<JourneyHarness>(benchText()); }

    // Until done() or kRealWaitMs of real time: fake time passes as real time does, 25 ms at a time.
    bool keepPace(const std::function<bool()>& done)
    {
        QElapsedTimer real;
        real.start();
        for (qint64 passed = 0; !done(); passed += 25) {
            if (real.elapsed() > kRealWaitMs)
                return false;
            while (passed > real.elapsed())
                QTest::qWait(5);
            h->pass(25);
        }
        return true;
    }
};

TEST_F(SlcanJourney, ChosenFromTheAdapterMenuItFindsTheBoardsOfABenchOnTheOtherEnd)
{
    ASSERT_TRUE(h->boardWindows().isEmpty());
    Crossover cable;
    ASSERT_FALSE(cable.port(0).isEmpty() || cable.port(1).isEmpty()) << "no pseudo-terminals";
    QProcess bench;
    bench.setProcessChannelMode(QProcess::MergedChannels);
    bench.start(QStringLiteral(TELLVANE_CLI), {QStringLiteral("bench"), QStringLiteral("--adapter"),
                                               QStringLiteral("slcan:") + cable.port(0), QStringLiteral("--seconds"),
                                               QStringLiteral("120")});
    QByteArray said;
    QDeadlineTimer start(kRealWaitMs);
    while (!said.contains("ready\n") && !start.hasExpired() && bench.state() != QProcess::NotRunning) {
        bench.waitForReadyRead(100);
        said += bench.readAll();
    }
    ASSERT_TRUE(said.contains("ready\n")) << said.toStdString();

    const QString port = QStringLiteral("slcan:") + cable.port(1);
    h->adapterList.append({QStringLiteral("slcan ") + cable.port(1), port, AdapterEntry::Group::SerialPort});
    ASSERT_TRUE(h->chooseFromMenu("Adapter", QStringLiteral("Adapter:") + port));
    EXPECT_TRUE(keepPace([&] { return pump() && valve() && h->boardWindow(kHeater); }))
        << "the bench's three boards announce themselves and answer the P-code request over the serial line";
    EXPECT_EQ(h->app->adapter().name(), port);
    EXPECT_EQ(h->bench(), nullptr);

    QSignalSpy finished(&h->main(), &MainWindow::finished);
    ASSERT_TRUE(h->chooseFromMenu("File", QStringLiteral("Exit")));
    EXPECT_EQ(finished.count(), 1);
    h->endProgram();  // the adapter closes its channel ("C") and the port
    ::kill(static_cast<pid_t>(bench.processId()), SIGINT);
    ASSERT_TRUE(bench.waitForFinished(kRealWaitMs)) << "the bench did not end";
    said += bench.readAll();
    EXPECT_EQ(bench.exitCode(), 0) << said.toStdString();
    EXPECT_FALSE(said.contains(", 0 received")) << said.toStdString();
}

}  // namespace
