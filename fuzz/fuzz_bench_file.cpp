// The simulated bench file is written by hand by users: any text must give a
// bench (possibly empty) and one warning per unusable line, never a crash, and
// every board it accepts must be within the ranges the boards can send, and a
// bit rate it accepts within the bus's range and read back as written.

#include "FuzzSupport.h"

#include "sim/BenchFile.h"

#include <cstdint>

using namespace tellvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const BenchSpec spec = parseBench(text, QStringLiteral("fuzz"));
    for (const SimBoardSpec& board : spec.boards) {
        FUZZ_CHECK(board.address >= 0 && board.address <= 255);
        FUZZ_CHECK(board.boardType >= 0 && board.boardType <= 4095);
        FUZZ_CHECK(board.serial <= 0x3FFFFFFFu);
        FUZZ_CHECK(board.pCode <= 99999999u);
        FUZZ_CHECK(board.quietAfterLines == -1 || (board.quietAfterLines >= 1 && board.quietAfterLines <= 1000000));
    }
    for (const BenchSpec::Traffic& t : spec.traffic) {
        FUZZ_CHECK(t.frame.id <= 0x1FFFFFFFu);
        FUZZ_CHECK(t.frame.length <= 8);
        FUZZ_CHECK(t.periodMs >= 1);
    }
    FUZZ_CHECK(spec.bitRate == 0
               || (spec.bitRate >= BenchSpec::kMinBitRate && spec.bitRate <= BenchSpec::kMaxBitRate));
    if (spec.bitRate != 0) {
        const BenchSpec again = parseBench(QStringLiteral("bitrate %1\n").arg(spec.bitRate), QStringLiteral("fuzz"));
        FUZZ_CHECK(again.bitRate == spec.bitRate && again.warnings.isEmpty());
    }
    const qsizetype lines = text.count(QLatin1Char('\n')) + 1;
    FUZZ_CHECK(spec.warnings.size() <= lines);
    return 0;
}
