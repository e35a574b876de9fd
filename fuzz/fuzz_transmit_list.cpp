// Transmit lists are files a user may edit or receive: any bytes give rows or
// the reason the whole file is refused, never a crash; at most kMaxRows rows,
// each one that can be sent, and a warning for each row left out. The rows
// read, written out again and read back, are the same rows, without a warning.

#include "FuzzSupport.h"

#include "transmit/TransmitList.h"

#include <cstdint>

using namespace tellvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const transmitlist::Loaded loaded = transmitlist::fromJson(json);
    if (!loaded.ok()) {
        FUZZ_CHECK(loaded.rows.empty());
        return 0;
    }
    FUZZ_CHECK(loaded.rows.size() <= static_cast<std::size_t>(transmitlist::kMaxRows));
    FUZZ_CHECK(loaded.warnings.size() <= transmitlist::kMaxRows + 1);
    for (const TransmitRow& row : loaded.rows)
        FUZZ_CHECK(row.problem().isEmpty());
    for (const QString& warning : loaded.warnings)
        FUZZ_CHECK(warning.startsWith(QLatin1String("row")));

    const transmitlist::Loaded again = transmitlist::fromJson(transmitlist::toJson(loaded.rows));
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.warnings.isEmpty());
    FUZZ_CHECK(again.rows == loaded.rows);
    return 0;
}
