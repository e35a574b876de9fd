#include "monitor/SaveLog.h"

#include "core/Failure.h"
#include "core/OutputFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace tellvane {

void SaveLog::claimFileName(const QString& fileName)
{
    m_fileName = fileName;
    m_claim = Claim::Pending;
}

void SaveLog::open()
{
    if (m_state == State::Open)
        return;
    if (m_fileName.isEmpty()) {
        m_state = State::Failed;
        m_errorNumber = 0;
        throw Failure(FailureCode::BadFileNameOrNumber);
    }
    QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    if (m_claim == Claim::Pending) {
        const QString made = createOwnFile(m_file, m_fileName, QLatin1Char('_'), m_errorNumber);
        if (made.isEmpty())
            fail(FailureCode::BadFileNameOrNumber);
        m_fileName = made;
        m_claim = Claim::Made;
        m_state = State::Open;
        return;
    }
    m_file.setFileName(m_fileName);
    errno = 0;
    // A device (/dev/null) has no end to append at, and no one to share it with.
    const QFileInfo info(m_fileName);
    const bool device = info.exists() && !info.isFile();
    if (!m_file.open(device ? QIODevice::WriteOnly : QIODevice::WriteOnly | QIODevice::Append)) {
        m_errorNumber = errno;
        fail(FailureCode::BadFileNameOrNumber);
    }
    // Lines of two programs in one log would be read as one run.
    if (!device && !lockForWriting(m_file)) {
        m_errorNumber = errno;
        m_file.close();
        fail(FailureCode::BadFileNameOrNumber);
    }
    m_state = State::Open;
}

void SaveLog::fail(FailureCode otherwise)
{
    m_state = State::Failed;
    throw Failure(fileFailureOf(m_errorNumber, otherwise));
}

void SaveLog::close()
{
    const State was = m_state;
    m_state = State::Closed;
    if (was != State::Open || !m_file.isOpen())
        return;
    errno = 0;
    const bool flushed = m_file.flush();
    m_errorNumber = errno;
    m_file.close();
    if (!flushed)
        throw Failure(fileFailureOf(m_errorNumber, FailureCode::DeviceIoError));
}

void SaveLog::writeLine(const QString& line)
{
    if (m_state != State::Open)
        return;
    QByteArray bytes = line.toLatin1();
    bytes.append("\r\n", 2);
    errno = 0;
    if (m_file.write(bytes) != bytes.size())
        failWrite();
}

void SaveLog::flush()
{
    if (m_state != State::Open)
        return;
    errno = 0;
    if (!m_file.flush())
        failWrite();
}

void SaveLog::failWrite()
{
    m_errorNumber = errno;
    throw Failure(fileFailureOf(m_errorNumber, FailureCode::DeviceIoError));
}

QString SaveLog::failureText(const Failure& failure) const
{
    if (m_errorNumber == EWOULDBLOCK)
        return QStringLiteral("another program writes to it");
    return m_errorNumber != 0 ? systemErrorText(m_errorNumber) : failure.description();
}

}  // namespace tellvane
