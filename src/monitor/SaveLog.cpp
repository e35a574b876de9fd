#include "monitor/SaveLog.h"

#include "core/Failure.h"
#include "core/OutputFile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace tellvane {

namespace {
FailureCode openFailureOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FailureCode::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return FailureCode::PermissionDenied;
    case ENOSPC:
        return FailureCode::DiskFull;
    default:
        return FailureCode::BadFileNameOrNumber;
    }
}
}  // namespace

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
    m_file.setFileName(m_fileName);
    errno = 0;
    // A device (/dev/null) has no end to append at.
    const QFileInfo info(m_fileName);
    const bool device = info.exists() && !info.isFile();
    if (!m_file.open(device ? QIODevice::WriteOnly : QIODevice::WriteOnly | QIODevice::Append)) {
        m_errorNumber = errno;
        m_state = State::Failed;
        throw Failure(openFailureOf(m_errorNumber));
    }
    m_state = State::Open;
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
        throw Failure(m_errorNumber == ENOSPC ? FailureCode::DiskFull : FailureCode::DeviceIoError);
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
    throw Failure(m_errorNumber == ENOSPC ? FailureCode::DiskFull : FailureCode::DeviceIoError);
}

QString SaveLog::failureText(const Failure& failure) const
{
    return m_errorNumber != 0 ? systemErrorText(m_errorNumber) : failure.description();
}

}  // namespace tellvane
