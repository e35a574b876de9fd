#pragma once

#include "transmit/TransmitRow.h"

#include <QString>

#include <vector>

namespace tellvane {

// The share of the bus that the enabled periodic rows take together, from
// each frame's real length on the wire (stuff bits counted) at the bit rate,
// in percent.
double periodicBusPercent(const std::vector<TransmitRow>& rows, int bitRate = 250'000);

// The most a transmit list may take of the bus: the rest is left to the boards.
inline constexpr double kMaxTransmitBusPercent = 80.0;

// Why the list's periodic rows may not start (more than 80 % of the bus, with
// the figure), or empty.
QString busShareProblem(const std::vector<TransmitRow>& rows, int bitRate = 250'000);

}  // namespace tellvane
