#pragma once

#include "logs/TraceFrame.h"

#include <QString>

namespace tellvane::tracetext {

// The texts the trace's tables show, made when a row is drawn.
QString time(std::int64_t timeUs);              // "12.345678" seconds
QString identifier(std::uint32_t id, bool extended);  // "18FEF121", a standard one "123"
QString hex(std::uint32_t value, int digits);     // upper case, at least `digits` digits
QString dataBytes(const std::array<std::uint8_t, 8>& data, int length);  // "01 02 FF"
QString ascii(const std::array<std::uint8_t, 8>& data, int length);      // as the monitor shows it
QString milliseconds(double ms);                 // "100.0"
// "Rx", "Tx", or "Replay 2" for a frame of the second log replayed into the program.
QString direction(bool sent, std::uint16_t line);

}  // namespace tellvane::tracetext
