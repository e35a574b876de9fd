// tellvane-cli on an slcan adapter played by python-can, over a pair of
// pseudo-terminals (tests/adapters/slcan_peer.py): frames both ways, 11 and
// 29 bits, 0 to 8 bytes, byte for byte.

#include "TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace tellvane::test;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// The python-can side, from the name of the program's port to what it printed.
class Peer {
public:
    explicit Peer(const QStringList& arguments)
    {
        const QString script = QStringLiteral(TELLVANE_SOURCE_DIR "/tests/adapters/slcan_peer.py");
        m_process.start(kPython, QStringList{script} + arguments);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(-1)) {
        }
        adapter = QStringLiteral("slcan:") + QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    // The frames it received, once the program is done.
    QStringList finish()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(-1);
        EXPECT_EQ(m_process.exitCode(), 0) << m_process.readAllStandardError().toStdString();
        return QString::fromLocal8Bit(m_process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QString adapter;

private:
    QProcess m_process;
};

TEST(SlcanPeer, PythonCanAndTellvaneCliExchangeFramesByteForByte)
{
    const Finished python = runProcess(kPython, {QStringLiteral("-c"), QStringLiteral("import can, serial")});
    ASSERT_EQ(python.exitCode, 0) << "python-can is missing: apt-get install python3-can python3-serial";
    QStringList frames;
    for (int length = 0; length <= 8; ++length) {
        QByteArray data;
        for (int i = 0; i < length; ++i)
            data += static_cast<char>(0x0F + 0x1F * i + length);
        const QString hex = QString::fromLatin1(data.toHex().toUpper());
        frames << QStringLiteral("%1#").arg(0x100 + 0x71 * length, 3, 16, QLatin1Char('0')).toUpper() + hex
               << QStringLiteral("%1#").arg(0x18EF00F9 + 0x00110100 * length, 8, 16, QLatin1Char('0')).toUpper() + hex;
    }

    Peer sender(QStringList{QStringLiteral("send")} + frames);
    // --seconds: frames lost end it as a failure, not a hang.
    const Finished monitor = runProcess(
        TELLVANE_CLI, QStringLiteral("monitor --format candump --filter rx --seconds 120 --count %1 --adapter %2")
                          .arg(frames.size())
                          .arg(sender.adapter)
                          .split(QLatin1Char(' ')));
    sender.finish();
    EXPECT_EQ(monitor.exitCode, 0) << monitor.err.toStdString();
    QStringList received;
    for (const QString& line : monitor.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        received << line.section(QLatin1Char(' '), 2);  // "(seconds) can0 ID#DATA"
    EXPECT_EQ(received, frames) << monitor.out.toStdString();

    Peer receiver({QStringLiteral("receive")});
    const Finished send = runProcess(TELLVANE_CLI, QStringList{QStringLiteral("send"), QStringLiteral("--adapter")}
                                                       << receiver.adapter << frames);
    EXPECT_EQ(send.exitCode, 0) << send.err.toStdString();
    EXPECT_EQ(receiver.finish(), frames);
}

}  // namespace
