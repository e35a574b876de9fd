#include "core/SRecord.h"

namespace tellvane {

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int addressBytes(char type)
{
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        return 2;
    case '2':
    case '6':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return -1;
    }
}
}  // namespace

SRecord parseSRecord(const QByteArray& line)
{
    SRecord r;
    if (line.size() < 4 || line.at(0) != 'S' || (line.size() % 2) != 0)
        return r;
    r.type = line.at(1);
    const int width = addressBytes(r.type);
    if (width < 0)
        return r;
    QByteArray bytes;
    for (qsizetype i = 2; i + 1 < line.size(); i += 2) {
        const int hi = hexValue(line.at(i));
        const int lo = hexValue(line.at(i + 1));
        if (hi < 0 || lo < 0)
            return r;
        bytes.append(static_cast<char>(hi * 16 + lo));
    }
    const int count = static_cast<std::uint8_t>(bytes.at(0));
    if (count != bytes.size() - 1 || count < width + 1)
        return r;
    unsigned sum = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i)
        sum += static_cast<std::uint8_t>(bytes.at(i));
    if (static_cast<std::uint8_t>(~sum) != static_cast<std::uint8_t>(bytes.back()))
        return r;
    for (int i = 0; i < width; ++i)
        r.address = (r.address << 8) | static_cast<std::uint8_t>(bytes.at(1 + i));
    r.data = bytes.mid(1 + width, count - width - 1);
    r.valid = true;
    return r;
}

QByteArray makeSRecord(char type, std::uint32_t address, const QByteArray& data)
{
    const int width = addressBytes(type) < 0 ? 2 : addressBytes(type);
    QByteArray bytes;
    bytes.append(static_cast<char>(width + data.size() + 1));
    for (int i = width - 1; i >= 0; --i)
        bytes.append(static_cast<char>((address >> (8 * i)) & 0xFF));
    bytes.append(data);
    unsigned sum = 0;
    for (char b : bytes)
        sum += static_cast<std::uint8_t>(b);
    bytes.append(static_cast<char>(~sum & 0xFF));
    return QByteArray("S") + type + bytes.toHex().toUpper();
}

}  // namespace tellvane
