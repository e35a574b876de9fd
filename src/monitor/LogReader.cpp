#include "monitor/LogReader.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace tellvane {

namespace {

constexpr qint64 kScanBlock = 1 << 20;
constexpr qint64 kReadBlock = 4096;

enum class Byte { Text, LineEnd, Skipped };

// One byte of the file: text, the end of a line, or the LF that completes
// a CR LF. afterCr carries the CR from one byte (and one block) to the next.
Byte classify(char c, bool& afterCr)
{
    if (afterCr) {
        afterCr = false;
        if (c == '\n')
            return Byte::Skipped;
    }
    if (c != '\r' && c != '\n')
        return Byte::Text;
    afterCr = c == '\r';
    return Byte::LineEnd;
}

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
    if (m_file.peek(3) == QByteArrayLiteral("\xEF\xBB\xBF")) {
        m_offset = 3;
        m_file.seek(m_offset);
        m_checkpoints.front().offset = m_offset;
        m_next.offset = m_offset;
    }
    return true;
}

void LogReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_scanned = false;
    m_number = 1;
    m_inRecord = m_afterCr = false;
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
    const qint64 stop = std::min(m_size, m_offset + std::max<qint64>(bytes, 1));
    QByteArray block;
    while (m_offset < stop && m_number <= kMaxCount) {
        block = m_file.read(std::min(kScanBlock, stop - m_offset));
        if (block.isEmpty()) {
            if (m_file.error() != QFileDevice::NoError) {
                m_failure = FailureCode::DeviceIoError;
                close();
                return Scan::Failed;
            }
            m_size = m_offset;  // it became shorter meanwhile
            break;
        }
        const char* bytesRead = block.constData();
        const qsizetype size = block.size();
        for (qsizetype i = 0; i < size; ++i, ++m_offset) {
            const Byte kind = classify(bytesRead[i], m_afterCr);
            if (kind != Byte::LineEnd) {
                m_inRecord = m_inRecord || kind == Byte::Text;
                continue;
            }
            m_count = static_cast<std::int32_t>(m_number);
            m_inRecord = false;
            ++m_number;
            if ((m_number - 1) % kCheckpointEvery == 0)
                m_checkpoints.push_back(Place{m_number, m_offset + 1, m_afterCr});
            if (m_number > kMaxCount)
                break;
        }
    }
    if (m_offset < m_size && m_number <= kMaxCount)
        return Scan::More;
    if (m_inRecord && m_number <= kMaxCount)
        m_count = static_cast<std::int32_t>(m_number);
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
    if (!m_file.seek(at.offset))
        throw Failure(FailureCode::DeviceIoError);

    QByteArray text;
    std::int64_t offset = at.offset;
    bool afterCr = at.afterCr;
    for (;;) {
        const QByteArray block = m_file.read(kReadBlock);
        if (block.isEmpty()) {
            if (m_file.error() != QFileDevice::NoError)
                throw Failure(FailureCode::DeviceIoError);
            // The last record has no line end; nothing follows it.
            m_next = Place{number + 1, offset, false};
            return QString::fromLatin1(text);
        }
        for (const char c : block) {
            ++offset;
            const Byte kind = classify(c, afterCr);
            if (kind == Byte::Skipped)
                continue;
            if (kind == Byte::Text) {
                if (at.number == number && text.size() < kMaxRecordChars)
                    text.append(c);
                continue;
            }
            if (at.number == number) {
                m_next = Place{number + 1, offset, afterCr};
                return QString::fromLatin1(text);
            }
            ++at.number;
        }
    }
}

}  // namespace tellvane
