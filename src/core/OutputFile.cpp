#include "core/OutputFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tellvane {

QString systemErrorText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

bool lockForWriting(QFile& file)
{
#ifdef Q_OS_UNIX
    if (::flock(file.handle(), LOCK_EX | LOCK_NB) != 0)
        return false;
#else
    Q_UNUSED(file);
#endif
    return true;
}

QString createOwnFile(QFile& file, const QString& name, QChar separator, int& errorNumber)
{
    const QFileInfo info(name);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = name.left(name.size() - suffix.size());
    for (int n = 1; n <= 99; ++n) {
        const QString candidate = n == 1 ? name : stem + separator + QString::number(n) + suffix;
        file.setFileName(candidate);
        errno = 0;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            // Made here, but another program may open it before the lock is taken.
            if (lockForWriting(file))
                return candidate;
            errorNumber = errno;
            file.close();
            continue;
        }
        errorNumber = errno;
        if (errorNumber != EEXIST)
            return {};
    }
    errorNumber = EEXIST;
    return {};
}

bool sameFile(const QString& a, const QString& b)
{
#ifdef Q_OS_UNIX
    struct stat first{};
    struct stat second{};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 && ::stat(QFile::encodeName(b).constData(), &second) == 0
           && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#else
    const QFileInfo first(a);
    return first.exists() && first.canonicalFilePath() == QFileInfo(b).canonicalFilePath();
#endif
}

OutputFile::~OutputFile()
{
    cancel();
}

void OutputFile::fail(int errorNumber, const QString& otherwise)
{
    if (m_failure.isEmpty())
        m_failure = errorNumber != 0 ? systemErrorText(errorNumber) : otherwise;
}

bool OutputFile::openFile(const QString& fileName)
{
    cancel();
    m_failure.clear();
    const QFileInfo info(fileName);
    if (info.isDir()) {
        fail(EISDIR, {});
        return false;
    }
    QFileDevice* file = nullptr;
    if (info.exists() && !info.isFile()) {
        // Nothing to rename over a device or a pipe.
        m_direct = std::make_unique<QFile>(fileName);
        file = m_direct.get();
    } else {
        m_save = std::make_unique<QSaveFile>(fileName);
        file = m_save.get();
    }
    errno = 0;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(errno, file->errorString());
        m_save.reset();
        m_direct.reset();
        return false;
    }
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool OutputFile::openDescriptor(int descriptor)
{
    cancel();
    m_failure.clear();
#ifdef Q_OS_UNIX
    m_descriptor = descriptor;
#else
    m_direct = std::make_unique<QFile>();
    if (!m_direct->open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        fail(0, m_direct->errorString());
        m_direct.reset();
        return false;
    }
#endif
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 OutputFile::writeData(const char* data, qint64 size)
{
    if (failed())
        return -1;  // a file with a hole in it is no good either
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0) {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_descriptor, data + done, static_cast<size_t>(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fail(n < 0 ? errno : ENOSPC, {});
                return -1;
            }
            done += n;
        }
        return size;
    }
#endif
    QFileDevice* file = m_save ? static_cast<QFileDevice*>(m_save.get()) : m_direct.get();
    if (!file)
        return -1;
    errno = 0;
    const qint64 written = file->write(data, size);
    if (written != size) {
        fail(errno, file->errorString());
        return -1;
    }
    return written;
}

bool OutputFile::commit()
{
    if (!isOpen())
        return !failed();
    if (m_save) {
        if (failed()) {
            m_save->cancelWriting();
        } else {
            errno = 0;
            if (!m_save->commit())
                fail(errno, m_save->errorString());
        }
        m_save.reset();
    } else if (m_direct) {
        errno = 0;
        if (!m_direct->flush())
            fail(errno, m_direct->errorString());
        m_direct->close();
        m_direct.reset();
    }
    m_descriptor = -1;
    QIODevice::close();
    return !failed();
}

void OutputFile::cancel()
{
    if (m_save)
        m_save->cancelWriting();
    m_save.reset();  // a cancelled save file leaves nothing behind
    m_direct.reset();
    m_descriptor = -1;
    if (isOpen())
        QIODevice::close();
}

}  // namespace tellvane
