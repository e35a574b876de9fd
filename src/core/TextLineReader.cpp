#include "core/TextLineReader.h"

#include <limits>

namespace tellvane {

namespace {
constexpr qint64 kChunk = 64 * 1024;
}

bool TextLineReader::open(const QString& fileName)
{
    m_file.setFileName(fileName);
    m_device = &m_file;
    m_buffer.clear();
    m_position = 0;
    m_pendingLf = false;
    return m_file.open(QIODevice::ReadOnly);
}

void TextLineReader::open(QIODevice& device)
{
    m_device = &device;
    m_buffer.clear();
    m_position = 0;
    m_pendingLf = false;
}

bool TextLineReader::fill()
{
    if (m_position < m_buffer.size())
        return true;
    m_buffer.resize(kChunk);
    const qint64 got = m_device->read(m_buffer.data(), kChunk);
    m_buffer.resize(got > 0 ? static_cast<qsizetype>(got) : 0);
    m_position = 0;
    return !m_buffer.isEmpty();
}

bool TextLineReader::atEnd()
{
    if (m_pendingLf && fill() && m_buffer.at(m_position) == '\n') {
        ++m_position;
        m_pendingLf = false;
    }
    return !fill();
}

QByteArray TextLineReader::readLine()
{
    return readLine(std::numeric_limits<qsizetype>::max() - 1);
}

QByteArray TextLineReader::readLine(qsizetype limit)
{
    QByteArray line;
    if (atEnd())
        return line;
    m_pendingLf = false;
    while (fill()) {
        const char c = m_buffer.at(m_position++);
        if (c == '\n')
            return line;
        if (c == '\r') {
            m_pendingLf = true;
            return line;
        }
        line.append(c);
        if (line.size() > limit)
            return line;
    }
    return line;
}

}  // namespace tellvane
