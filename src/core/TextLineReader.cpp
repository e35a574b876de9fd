#include "core/TextLineReader.h"

#include <algorithm>
#include <cstring>

namespace tellvane {

namespace {

std::string_view viewOf(const QByteArray& bytes) { return {bytes.constData(), static_cast<std::size_t>(bytes.size())}; }

// Why a file that starts so is no text to read; empty when it may be.
QString refusalOf(std::string_view start)
{
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF"))
        return QStringLiteral("it is UTF-16 text; save it as UTF-8 or ASCII to read it");
    if (start.substr(0, start.find_first_of("\r\n")).find('\0') != std::string_view::npos)
        return QStringLiteral("its first line holds NUL bytes: UTF-16 text, or no text at all; save a log as UTF-8 "
                              "or ASCII to read it");
    return QString();
}

}  // namespace

void TextLineReader::reset()
{
    m_at = m_size = 0;
    m_lf = -1;
    m_number = 0;
    m_readTo = 0;
    m_afterCr = m_failed = m_started = m_tooLong = m_paused = m_skipping = false;
    m_long.clear();
    m_refusal.clear();
}

bool TextLineReader::open(const QString& fileName, Start start)
{
    m_file.close();  // a file read before, or this one to be read again
    m_file.setFileName(fileName);
    m_device = &m_file;
    reset();
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    if (open(m_file, start))
        return true;
    m_file.close();
    return false;
}

bool TextLineReader::open(QIODevice& device, Start start)
{
    m_device = &device;
    reset();
    if (start == Start::AsIs)
        return true;
    // Only a look at the start: the reading itself keeps to its blocks.
    const QByteArray head = device.peek(start == Start::TextOnly ? 4096 : 3);
    const std::string_view view = viewOf(head);
    if (view.starts_with("\xEF\xBB\xBF"))
        m_readTo = device.read(3).size();
    else if (start == Start::TextOnly)
        m_refusal = refusalOf(view);
    return m_refusal.isEmpty();
}

QString TextLineReader::errorString() const { return m_refusal.isEmpty() ? m_device->errorString() : m_refusal; }

QFileDevice::FileError TextLineReader::error() const
{
    const auto* file = qobject_cast<const QFileDevice*>(m_device);
    return file ? file->error() : QFileDevice::NoError;
}

bool TextLineReader::seek(qint64 offset, bool afterCr)
{
    const std::int64_t number = m_number;
    const QString refusal = m_refusal;
    reset();
    m_number = number;
    m_refusal = refusal;
    m_afterCr = afterCr;
    m_readTo = offset;
    return m_device->seek(offset);
}

bool TextLineReader::fill()
{
    if (m_end >= 0 && m_readTo >= m_end) {
        m_size = m_at = 0;
        return false;
    }
    if (m_allowed == 0) {
        m_paused = true;
        return false;
    }
    if (m_check && *m_check && !(*m_check)()) {
        m_size = m_at = 0;
        return false;
    }
    qint64 want = m_allowed > 0 ? std::min(m_blockBytes, m_allowed) : m_blockBytes;
    if (m_end >= 0)
        want = std::min(want, m_end - m_readTo);
    m_block.resize(static_cast<qsizetype>(m_blockBytes));
    qint64 got = m_device->read(m_block.data(), want);
    if (got < 0) {
        m_failed = true;
        got = 0;
    }
    if (m_allowed > 0)
        m_allowed -= got;
    m_readTo += got;
    m_size = static_cast<qsizetype>(got);
    m_at = 0;
    m_lf = -1;
    return got > 0;
}

bool TextLineReader::next(std::string_view& line, bool& tooLong)
{
    if (!m_started) {
        m_tooLong = false;
        m_long.clear();
    }
    tooLong = false;
    for (;;) {
        if (m_at >= m_size && !fill()) {
            if (m_paused || !m_started)
                return false;
            m_started = false;
            ++m_number;
            tooLong = m_tooLong;
            line = viewOf(m_long);
            return true;
        }
        if (m_afterCr) {
            m_afterCr = false;
            if (m_block.at(m_at) == '\n') {
                ++m_at;
                continue;
            }
        }
        const char* const block = m_block.constData();
        const char* begin = block + m_at;
        const char* end = block + m_size;
        // The next LF is looked for once and kept: in a file of CR line ends
        // a search for it on every line would run to the block's end each time.
        if (m_lf < m_at) {
            const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
            m_lf = lf ? static_cast<const char*>(lf) - block : m_size;
        }
        const char* stop = block + m_lf;
        if (const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(stop - begin)))
            stop = static_cast<const char*>(cr);
        const qsizetype length = stop - begin;
        if (m_skipping) {
            m_skipping = stop == end;
            m_at = m_skipping ? m_size : m_at + length + 1;
            m_afterCr = !m_skipping && *stop == '\r';
            continue;
        }
        if (!m_tooLong) {
            const qsizetype held = m_started ? m_long.size() : 0;
            if (held + length > m_limit) {
                m_tooLong = true;
                m_long.append(begin, m_limit - held);
                if (m_cut == Cut::StopsThere) {
                    m_at += m_limit - held;
                    m_skipping = true;
                    m_started = false;
                    ++m_number;
                    tooLong = true;
                    line = viewOf(m_long);
                    return true;
                }
            } else if (m_started || stop == end) {
                m_long.append(begin, length);
            }
        }
        if (stop == end) {
            m_started = m_started || length > 0;
            m_at = m_size;
            continue;
        }
        m_at += length + 1;
        m_afterCr = *stop == '\r';
        ++m_number;
        tooLong = m_tooLong;
        line = m_tooLong || m_started ? viewOf(m_long) : std::string_view(begin, static_cast<std::size_t>(length));
        m_started = false;
        return true;
    }
}

bool TextLineReader::atEnd()
{
    if (m_skipping)
        return false;
    for (;;) {
        if (m_at >= m_size && !fill())
            return !m_started;
        if (!m_afterCr)
            return false;
        m_afterCr = false;
        if (m_block.at(m_at) != '\n')
            return false;
        ++m_at;
    }
}

QByteArray TextLineReader::readLine() { return readLine(std::numeric_limits<qsizetype>::max() / 2 - 1); }

QByteArray TextLineReader::readLine(qsizetype limit)
{
    setLineLimit(limit + 1, Cut::StopsThere);
    std::string_view line;
    bool tooLong = false;
    if (!next(line, tooLong))
        return QByteArray();
    return QByteArray(line.data(), static_cast<qsizetype>(line.size()));
}

}  // namespace tellvane
