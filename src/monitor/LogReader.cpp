#include "monitor/LogReader.h"

#include <QFileInfo>

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
    close();
    m_file.setFileName(fileName);
    const QFileInfo info(fileName);
    if (info.isDir() || !m_file.open(QIODevice::ReadOnly)) {
        m_failure = info.exists() ? FailureCode::PermissionDenied : FailureCode::FileNotFound;
        return false;
    }
    if (!scan()) {
        m_failure = FailureCode::DeviceIoError;
        close();
        return false;
    }
    return true;
}

void LogReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_count = 0;
    m_checkpoints.clear();
    m_next = Place{};
}

bool LogReader::scan()
{
    m_count = 0;
    m_checkpoints.assign(1, Place{});
    m_next = Place{};
    std::int64_t number = 1;  // the record being read
    bool open = false;        // it has characters
    bool afterCr = false;
    // A UTF-8 byte-order mark before the first record is no part of it.
    std::int64_t offset = m_file.peek(3) == QByteArrayLiteral("\xEF\xBB\xBF") ? 3 : 0;
    m_file.seek(offset);
    m_checkpoints.front().offset = offset;
    QByteArray block;
    constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();
    while (number <= kMaxCount) {
        block = m_file.read(kScanBlock);
        if (block.isEmpty()) {
            if (m_file.error() != QFileDevice::NoError)
                return false;
            break;
        }
        const char* bytes = block.constData();
        const qsizetype size = block.size();
        for (qsizetype i = 0; i < size; ++i, ++offset) {
            const Byte kind = classify(bytes[i], afterCr);
            if (kind != Byte::LineEnd) {
                open = open || kind == Byte::Text;
                continue;
            }
            m_count = static_cast<std::int32_t>(number);
            open = false;
            ++number;
            if ((number - 1) % kCheckpointEvery == 0)
                m_checkpoints.push_back(Place{number, offset + 1, afterCr});
            if (number > kMaxCount)
                break;
        }
    }
    if (open && number <= kMaxCount)
        m_count = static_cast<std::int32_t>(number);
    return true;
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
