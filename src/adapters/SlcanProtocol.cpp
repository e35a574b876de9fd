#include "adapters/SlcanProtocol.h"

#include <cstring>

namespace tellvane::slcan {

namespace {

constexpr std::array<int, 9> kBitrates = {10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000, 1000000};
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::uint32_t kLargestStandardId = 0x7FF;
constexpr std::uint32_t kLargestExtendedId = 0x1FFFFFFF;
constexpr std::size_t kStampDigits = 4;

// Each byte's value as a hex digit, -1 for any byte that is none: one look-up
// per digit keeps the reader at millions of lines a second.
constexpr std::array<std::int8_t, 256> makeHexValues()
{
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i)
        values[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        values[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
        values[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(10 + i);
    }
    return values;
}
constexpr std::array<std::int8_t, 256> kHexValues = makeHexValues();

// The value of count hex digits at text, or -1 when one is no hex digit.
std::int64_t hexValue(const char* text, std::size_t count)
{
    std::int64_t value = 0;
    int bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = kHexValues[static_cast<unsigned char>(text[i])];
        bad |= digit;
        value = (value << 4) | (digit & 0xF);
    }
    return bad < 0 ? -1 : value;
}

bool isAlphanumeric(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::optional<int> bitrateCode(int bitsPerSecond)
{
    for (std::size_t code = 0; code < kBitrates.size(); ++code) {
        if (kBitrates[code] == bitsPerSecond)
            return static_cast<int>(code);
    }
    return std::nullopt;
}

QByteArray bitrateLine(int bitsPerSecond)
{
    const std::optional<int> code = bitrateCode(bitsPerSecond);
    if (!code)
        return {};
    const char line[] = {'S', static_cast<char>('0' + *code), '\r'};
    return QByteArray(line, sizeof line);
}

std::size_t encodeFrame(const Frame& frame, std::span<char, kLongestFrameLine> out)
{
    if (frame.length > 8 || frame.id > (frame.extended ? kLargestExtendedId : kLargestStandardId))
        return 0;
    char* p = out.data();
    *p++ = frame.extended ? 'T' : 't';
    const int idDigits = frame.extended ? 8 : 3;
    for (int shift = (idDigits - 1) * 4; shift >= 0; shift -= 4)
        *p++ = kHexDigits[(frame.id >> shift) & 0xF];
    *p++ = static_cast<char>('0' + frame.length);
    for (std::size_t i = 0; i < frame.length; ++i) {
        *p++ = kHexDigits[frame.data[i] >> 4];
        *p++ = kHexDigits[frame.data[i] & 0xF];
    }
    *p++ = '\r';
    return static_cast<std::size_t>(p - out.data());
}

QByteArray frameLine(const Frame& frame)
{
    std::array<char, kLongestFrameLine> line{};
    const std::size_t size = encodeFrame(frame, line);
    return QByteArray(line.data(), static_cast<qsizetype>(size));
}

std::size_t LineReader::readItem(std::span<const char> bytes, Item& item)
{
    produced_ = false;
    if (bytes.empty())
        return 0;
    const char* begin = bytes.data();
    const char* end = begin + bytes.size();
    const bool lineStart = partialSize_ == 0 && !overlong_;
    if (lineStart && *begin == '\n')
        return 1;
    const char* p = begin;
    while (p != end && *p != '\r' && *p != '\a')
        ++p;
    const auto size = static_cast<std::size_t>(p - begin);
    if (!overlong_) {
        if (partialSize_ + size > kLongestLine) {
            overlong_ = true;
            partialSize_ = 0;
        } else if (p == end || !lineStart) {
            std::memcpy(partial_.data() + partialSize_, begin, size);
            partialSize_ += size;
        }
    }
    if (p == end)
        return bytes.size();

    const bool bel = *p == '\a';
    if (overlong_) {
        ++counters_.garbageLines;
        produced_ = false;
    } else if (bel) {
        if ((lineStart ? size : partialSize_) > 0)
            ++counters_.garbageLines;
        produced_ = false;
    } else {
        produced_ = lineStart ? readLine(begin, size, item) : readLine(partial_.data(), partialSize_, item);
    }
    if (bel) {
        ++counters_.errors;
        item.kind = ItemKind::Error;
        produced_ = true;
    }
    partialSize_ = 0;
    overlong_ = false;
    return size + 1;
}

bool LineReader::readLine(const char* line, std::size_t size, Item& item)
{
    if (size == 0) {
        ++counters_.oks;
        item.kind = ItemKind::Ok;
        return true;
    }
    const char first = line[0];
    std::size_t idDigits = 3;
    bool remote = false;
    switch (first) {
    case 'T':
        idDigits = 8;
        break;
    case 't':
        break;
    case 'R':
        idDigits = 8;
        remote = true;
        break;
    case 'r':
        remote = true;
        break;
    case 'F': {
        const std::int64_t flags = size == 3 ? hexValue(line + 1, 2) : -1;
        if (flags < 0)
            break;
        ++counters_.statuses;
        item.kind = ItemKind::Status;
        item.status = static_cast<std::uint8_t>(flags);
        return true;
    }
    case 'z':
    case 'Z':
        if (size != 1)
            break;
        ++counters_.oks;
        item.kind = ItemKind::Transmitted;
        return true;
    case 'V':
    case 'N':
        if (size != 5 || !isAlphanumeric(line[1]) || !isAlphanumeric(line[2]) || !isAlphanumeric(line[3])
            || !isAlphanumeric(line[4]))
            break;
        ++counters_.others;
        item.kind = first == 'V' ? ItemKind::Version : ItemKind::SerialNumber;
        std::memcpy(item.text.data(), line + 1, item.text.size());
        return true;
    default:
        break;
    }
    if (first != 't' && first != 'T' && first != 'r' && first != 'R') {
        ++counters_.garbageLines;
        return false;
    }

    // A frame: identifier, length digit, data unless remote, and perhaps a stamp.
    const bool extended = idDigits == 8;
    if (size < 2 + idDigits) {
        ++counters_.garbageLines;
        return false;
    }
    const std::int64_t id = hexValue(line + 1, idDigits);
    const unsigned length = static_cast<unsigned char>(line[1 + idDigits]) - unsigned{'0'};
    const std::size_t dataDigits = remote ? 0 : 2 * std::size_t{length};
    const std::size_t head = 2 + idDigits;
    if (id < 0 || id > std::int64_t{extended ? kLargestExtendedId : kLargestStandardId} || length > 8
        || (size != head + dataDigits && size != head + dataDigits + kStampDigits)) {
        ++counters_.garbageLines;
        return false;
    }
    Frame& frame = item.frame;
    frame.data = {};
    for (std::size_t i = 0; i < dataDigits / 2; ++i) {
        const std::int64_t byte = hexValue(line + head + 2 * i, 2);
        if (byte < 0) {
            ++counters_.garbageLines;
            return false;
        }
        frame.data[i] = static_cast<std::uint8_t>(byte);
    }
    frame.timeStampMs = -1;
    if (size == head + dataDigits + kStampDigits) {
        const std::int64_t stamp = hexValue(line + head + dataDigits, kStampDigits);
        if (stamp < 0 || stamp >= kTimeStampPeriodMs) {
            ++counters_.garbageLines;
            return false;
        }
        frame.timeStampMs = static_cast<int>(stamp);
    }
    frame.id = static_cast<std::uint32_t>(id);
    frame.extended = extended;
    frame.length = static_cast<std::uint8_t>(length);
    if (remote) {
        ++counters_.remoteFrames;
        item.kind = ItemKind::RemoteFrame;
    } else {
        ++counters_.frames;
        item.kind = ItemKind::Frame;
    }
    return true;
}

void LineReader::reset()
{
    partialSize_ = 0;
    overlong_ = false;
    produced_ = false;
    counters_ = {};
}

std::int64_t unwrapTimeStamp(std::int64_t previousMs, int stampMs)
{
    const std::int64_t stamp = ((std::int64_t{stampMs} % kTimeStampPeriodMs) + kTimeStampPeriodMs) % kTimeStampPeriodMs;
    if (previousMs < 0)
        return stamp;
    const std::int64_t ahead = (stamp - previousMs % kTimeStampPeriodMs + kTimeStampPeriodMs) % kTimeStampPeriodMs;
    return previousMs + ahead;
}

}  // namespace tellvane::slcan
