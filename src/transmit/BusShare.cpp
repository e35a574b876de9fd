#include "transmit/BusShare.h"

#include "can/CanFrameBits.h"

namespace tellvane {

double periodicBusPercent(const std::vector<TransmitRow>& rows, int bitRate)
{
    double bitsPerSecond = 0;
    for (const TransmitRow& row : rows) {
        if (!row.enabled || !row.periodic() || !row.problem().isEmpty())
            continue;
        const int bits = CanFrameBits::frameBits(row.id, row.extended, row.length, row.data.data());
        bitsPerSecond += bits * 1000.0 / row.periodMs;
    }
    return bitRate > 0 ? 100.0 * bitsPerSecond / bitRate : 0.0;
}

QString busShareProblem(const std::vector<TransmitRow>& rows, int bitRate)
{
    const double percent = periodicBusPercent(rows, bitRate);
    if (percent <= kMaxTransmitBusPercent)
        return {};
    return QStringLiteral("The periodic frames would take %1 % of the bus at %2 kbit/s: at most %3 % may be sent.")
        .arg(percent, 0, 'f', 1)
        .arg(bitRate / 1000)
        .arg(kMaxTransmitBusPercent, 0, 'f', 0);
}

}  // namespace tellvane
