#include "logs/LogText.h"

#include "logs/TraceLog.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace tellvane::tracetext {

namespace {
constexpr qint64 kBlock = 1 << 20;
// A hundred thousand years of microseconds, far within an int64.
constexpr std::uint64_t kMaxUs = 3'155'760'000'000'000'000ull;
using detail::kDigitPairs;

std::uint64_t powerOfTen(int n)
{
    std::uint64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}
}  // namespace

bool LineSource::open(const QString& fileName)
{
    m_file.close();  // a file read before, or this one to be read again
    m_file.setFileName(fileName);
    m_at = m_size = 0;
    m_lf = -1;
    m_number = m_bytes = 0;
    m_afterCr = m_failed = m_started = m_tooLong = m_paused = false;
    m_long.clear();
    m_refusal.clear();
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    // Only a look at the start: the reading itself keeps to its slices.
    const QByteArray head = m_file.peek(4096);
    const std::string_view start(head.constData(), static_cast<std::size_t>(head.size()));
    if (start.starts_with("\xEF\xBB\xBF")) {
        m_bytes = m_file.read(3).size();
    } else if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
        m_refusal = QStringLiteral("it is UTF-16 text; save it as UTF-8 or ASCII to read it");
    } else if (start.substr(0, start.find_first_of("\r\n")).find('\0') != std::string_view::npos) {
        m_refusal = QStringLiteral("its first line holds NUL bytes: UTF-16 text, or no text at all; save a log as UTF-8 "
                                   "or ASCII to read it");
    }
    if (!m_refusal.isEmpty()) {
        m_file.close();
        return false;
    }
    return true;
}

bool LineSource::fill()
{
    if (m_allowed == 0) {
        m_paused = true;
        return false;
    }
    if (m_check && *m_check && !(*m_check)()) {
        m_size = m_at = 0;
        return false;
    }
    m_block.resize(kBlock);
    qint64 got = m_file.read(m_block.data(), m_allowed > 0 ? std::min(kBlock, m_allowed) : kBlock);
    if (got < 0) {
        m_failed = true;
        got = 0;
    }
    if (m_allowed > 0)
        m_allowed -= got;
    m_bytes += got;
    m_size = static_cast<qsizetype>(got);
    m_at = 0;
    m_lf = -1;
    return got > 0;
}

bool LineSource::next(std::string_view& line, bool& tooLong)
{
    constexpr qsizetype kMax = TraceLogReader::kMaxLineBytes;
    if (!m_started) {
        m_tooLong = false;
        m_long.clear();
    }
    bool& started = m_started;
    tooLong = false;
    for (;;) {
        if (m_at >= m_size && !fill()) {
            if (m_paused || !started)
                return false;
            started = false;
            ++m_number;
            tooLong = m_tooLong;
            line = tooLong ? std::string_view() : std::string_view(m_long.constData(), static_cast<std::size_t>(m_long.size()));
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
        if (!m_tooLong) {
            if ((started ? m_long.size() : 0) + length > kMax) {
                m_tooLong = true;
                m_long.clear();
            } else if (started || stop == end) {
                m_long.append(begin, length);
            }
        }
        if (stop == end) {
            started = started || length > 0;
            m_at = m_size;
            continue;
        }
        m_at += length + 1;
        m_afterCr = *stop == '\r';
        ++m_number;
        tooLong = m_tooLong;
        if (tooLong)
            line = std::string_view();
        else if (started)
            line = std::string_view(m_long.constData(), static_cast<std::size_t>(m_long.size()));
        else
            line = std::string_view(begin, static_cast<std::size_t>(length));
        started = false;
        return true;
    }
}

std::optional<std::int64_t> secondsToUs(std::string_view text)
{
    const char* const end = text.data() + text.size();
    std::int64_t plain = 0;
    if (const char* stop = readPlainSeconds(text.data(), end, plain); stop == end && stop != text.data())
        return plain;
    std::uint64_t mantissa = 0;
    int significant = 0;
    int exponent = 0;  // of the mantissa's last digit
    int digits = 0;
    std::size_t i = 0;
    auto takeDigits = [&](bool fraction) {
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
            if (significant < 18) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[i] - '0');
                significant += mantissa != 0;
                exponent -= fraction;
            } else if (!fraction) {
                ++exponent;  // a digit beyond what can count
            }
        }
    };
    takeDigits(false);
    if (i < text.size() && text[i] == '.') {
        ++i;
        takeDigits(true);
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        int value = 0;
        int expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && expDigits < 4; ++i, ++expDigits)
            value = value * 10 + (text[i] - '0');
        if (expDigits == 0)
            return std::nullopt;
        exponent += negative ? -value : value;
    }
    if (i != text.size())
        return std::nullopt;
    const int shift = exponent + 6;
    if (mantissa == 0)
        return 0;
    if (shift >= 0) {
        if (shift > 19 || mantissa > kMaxUs / powerOfTen(shift))
            return std::nullopt;
        return static_cast<std::int64_t>(mantissa * powerOfTen(shift));
    }
    if (-shift > 19)
        return 0;
    const std::uint64_t divisor = powerOfTen(-shift);
    const std::uint64_t whole = mantissa / divisor;
    const std::uint64_t rest = mantissa % divisor;
    return static_cast<std::int64_t>(whole + (rest >= divisor - rest ? 1 : 0));
}

void appendDecimal(LineText& out, std::int64_t value)
{
    const auto result = std::to_chars(out.text + out.size, out.text + sizeof out.text, value);
    out.size = static_cast<int>(result.ptr - out.text);
}

void appendSeconds(LineText& out, std::int64_t us, int width)
{
    // Built from its end: two decimals a step, then the whole seconds.
    char text[32];
    char* p = text + sizeof text;
    const bool negative = us < 0;
    if (negative)
        us = us == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max() : -us;
    std::int64_t whole = us / 1000000;
    std::int64_t fraction = us % 1000000;
    for (int i = 0; i < 3; ++i, fraction /= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs.data() + 2 * (fraction % 100), 2);
    }
    *--p = '.';
    for (; whole >= 100; whole /= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs.data() + 2 * (whole % 100), 2);
    }
    if (whole >= 10) {
        p -= 2;
        std::memcpy(p, kDigitPairs.data() + 2 * whole, 2);
    } else {
        *--p = static_cast<char>('0' + whole);
    }
    if (negative)
        *--p = '-';
    const int size = static_cast<int>(text + sizeof text - p);
    out.pad(width - size);
    out.put(p, size);
}

QString secondsText(std::int64_t us)
{
    LineText text;
    appendSeconds(text, us);
    return QString::fromLatin1(text.text, text.size) + QStringLiteral(" s");
}

}  // namespace tellvane::tracetext
