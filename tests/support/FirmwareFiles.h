#pragma once

#include "core/SRecord.h"
#include "sim/SimBootLoader.h"

#include <QByteArray>

#include <cstdint>

namespace tellvane::test {

// A firmware file of S1 records with 16 data bytes each (a header record
// first, an S9 record last, CR LF endings), and the image it loads.
struct Firmware {
    QByteArray text;
    SimBootLoader::Image image;
};

inline Firmware firmware(int dataLines, std::uint32_t base = 0x4000, const char* header = "APP V9.99")
{
    Firmware f;
    f.text += makeSRecord('0', 0, header) + "\r\n";
    for (int i = 0; i < dataLines; ++i) {
        QByteArray data;
        for (int b = 0; b < 16; ++b)
            data.append(static_cast<char>((i * 16 + b) * 7 + 3));
        const std::uint32_t address = base + static_cast<std::uint32_t>(i) * 16;
        f.text += makeSRecord('1', address, data) + "\r\n";
        for (int b = 0; b < 16; ++b)
            f.image[address + static_cast<std::uint32_t>(b)] = static_cast<std::uint8_t>(data.at(b));
    }
    f.text += makeSRecord('9', base, QByteArray()) + "\r\n";
    return f;
}

}  // namespace tellvane::test
