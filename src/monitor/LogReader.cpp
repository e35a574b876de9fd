#include "monitor/LogReader.h"

#include "core/Failure.h"
#include "monitor/MessageLine.h"

#include <limits>

namespace tellvane {

bool LogReader::open(const QString& fileName)
{
    close();
    m_file.setFileName(fileName);
    return m_file.open(QIODevice::ReadOnly);
}

void LogReader::close()
{
    if (m_file.isOpen())
        m_file.close();
}

std::int32_t LogReader::recordCountFor(std::int64_t fileBytes)
{
    if (fileBytes <= 0)
        return 0;
    // 47 is odd, so no length falls exactly halfway.
    const std::int64_t count = (fileBytes + messageline::kRecordBytes / 2) / messageline::kRecordBytes;
    return count > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                             : static_cast<std::int32_t>(count);
}

std::int32_t LogReader::recordCount() const
{
    return isOpen() ? recordCountFor(m_file.size()) : 0;
}

QString LogReader::record(std::int64_t number)
{
    if (!isOpen() || number < 1)
        return QString();
    const std::int64_t offset = (number - 1) * messageline::kRecordBytes;
    if (offset >= m_file.size())
        return QString();
    if (!m_file.seek(offset))
        throw Failure(FailureCode::DeviceIoError);
    const QByteArray bytes = m_file.read(messageline::kRecordBytes);
    if (bytes.isEmpty() && m_file.error() != QFileDevice::NoError)
        throw Failure(FailureCode::DeviceIoError);
    return QString::fromLatin1(bytes);
}

}  // namespace tellvane
