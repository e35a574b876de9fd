#pragma once

#include <QByteArray>

#include <cstdint>

namespace tellvane {

// One Motorola S-record line, as a board's boot loader reads it:
//   S1 13 0000 285F245F2212226A000424290008237C 2A
//   type, byte count (address + data + checksum), address (2, 3 or 4 bytes
//   for types 1/9, 2/8, 3/7), data, checksum (ones' complement of the sum of
//   count, address and data bytes).
struct SRecord {
    bool valid = false;   // shape, hex digits, byte count and checksum all right
    char type = 0;        // '0' to '9'
    std::uint32_t address = 0;
    QByteArray data;
};

SRecord parseSRecord(const QByteArray& line);

// A record line from its parts (tests and the simulated boards' own files).
QByteArray makeSRecord(char type, std::uint32_t address, const QByteArray& data);

}  // namespace tellvane
