#include "monitor/LogReader.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace tellvane {

namespace {

constexpr qint64 kScanBlock = 1 << 20;
constexpr qint64 kReadBlock = 4096;

}  // namespace

bool LogReader::open(const QString& fileName)
{
    if (!start(fileName))
        return false;
    Scan scanned = Scan::More;
    while (scanned == Scan::More)
        scanned = scan(kScanBlock);
    return scanned == Scan::Done;
}

bool LogReader::start(const QString& fileName)
{
    close();
    m_file.setFileName(fileName);
    const QFileInfo info(fileName);
    m_notRegular = info.exists() && !info.isFile() && !info.isDir();
    if (m_notRegular) {
        m_failure = FailureCode::BadFileNameOrNumber;
        return false;
    }
    if (info.isDir() || !m_file.open(QIODevice::ReadOnly)) {
        m_failure = info.exists() ? FailureCode::PermissionDenied : FailureCode::FileNotFound;
        return false;
    }
    m_size = m_file.size();
    m_checkpoints.assign(1, Place{});
    // A UTF-8 byte-order mark before the first record is no part of it.
    m_lines.open(m_file, TextLineReader::Start::SkipByteOrderMark);
    m_lines.setBlockBytes(kScanBlock);
    m_lines.setLineLimit(kMaxRecordChars);
    m_lines.setEnd(m_size);
    m_offset = m_lines.bytesRead();
    m_checkpoints.front().offset = m_offset;
    m_next.offset = m_offset;
    return true;
}

void LogReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_scanned = false;
    m_number = 1;
    m_offset = m_size = 0;
    m_count = 0;
    m_checkpoints.clear();
    m_next = Place{};
}

LogReader::Scan LogReader::scan(qint64 bytes)
{
    if (!m_file.isOpen())
        return Scan::Failed;
    if (m_scanned)
        return Scan::Done;
    constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
    m_lines.allow(std::max<qint64>(bytes, 1));
    std::string_view line;
    bool tooLong = false;
    while (m_number <= kMaxCount && m_lines.next(line, tooLong)) {
        m_count = static_cast<std::int32_t>(m_number);
        ++m_number;
        if ((m_number - 1) % kCheckpointEvery == 0)
            m_checkpoints.push_back(Place{m_number, m_lines.offset(), m_lines.afterCr()});
    }
    m_offset = m_lines.bytesRead();
    if (m_lines.failed() || m_file.error() != QFileDevice::NoError) {
        m_failure = FailureCode::DeviceIoError;
        close();
        return Scan::Failed;
    }
    if (m_lines.paused() && m_number <= kMaxCount)
        return Scan::More;
    if (m_number <= kMaxCount)
        m_size = m_offset;  // it may have become shorter meanwhile
    m_scanned = true;
    return Scan::Done;
}

QString LogReader::record(std::int64_t number)
{
    if (!isOpen() || number < 1 || number > m_count)
        return QString();
    // From the checkpoint before it, or on from the last record read.
    Place at = m_checkpoints[static_cast<std::size_t>((number - 1) / kCheckpointEvery)];
    if (m_next.number <= number && m_next.number > at.number)
        at = m_next;
    // To the end of the file as it is now, a record at a time.
    m_lines.setEnd(-1);
    m_lines.allow(-1);
    m_lines.setBlockBytes(kReadBlock);
    if (!m_lines.seek(at.offset, at.afterCr))
        throw Failure(FailureCode::DeviceIoError);
    std::string_view line;
    bool tooLong = false;
    for (;; ++at.number) {
        if (!m_lines.next(line, tooLong)) {
            if (m_lines.failed() || m_file.error() != QFileDevice::NoError)
                throw Failure(FailureCode::DeviceIoError);
            // Beyond the last record: nothing follows it.
            m_next = Place{number + 1, m_lines.offset(), false};
            return QString();
        }
        if (at.number == number) {
            m_next = Place{number + 1, m_lines.offset(), m_lines.afterCr()};
            return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
        }
    }
}

}  // namespace tellvane
