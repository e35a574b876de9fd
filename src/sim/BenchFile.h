#pragma once

#include "sim/SimBoard.h"
#include "sim/SimBus.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tellvane {

class SimAdapter;

// The simulated bench as the user describes it in a small text file, one
// thing per line ("#" starts a comment):
//
//   board ADDRESS TYPE SERIAL PCODE [on|off] [animate] [quiet-after LINES]
//   traffic IDENTIFIER PERIOD_MS [BYTE ...]
//   bitrate BITS_PER_SECOND
//
// "animate" makes a board's diagnostic messages those of its screen, every
// indicator moving (the program gives it the screen). Numbers are decimal or
// 0x hexadecimal; the P-code is its eight digits, style then variant; traffic
// bytes are two hexadecimal digits each; the bit rate is decimal, 10000 to
// 1000000, and makes frames take their time on the wire.
//
// The traffic may ask for no more bits a second than its bus carries: the bit
// rate of the file, else the boards' 250 kbit/s. Traffic that asks for more
// would keep any reader of the bus busy for ever; it is left out with a warning.
struct BenchSpec {
    static constexpr int kMinBitRate = 10000;
    static constexpr int kMaxBitRate = 1000000;
    static constexpr int kBoardsBitRate = 250000;

    struct Traffic {
        SimFrame frame;
        int periodMs = 100;
    };
    std::vector<SimBoardSpec> boards;
    std::vector<Traffic> traffic;
    int bitRate = 0;       // 0: frames arrive the moment they are sent
    // The bits a second the file's traffic lines ask for on the wire, also
    // when they were left out for asking too much.
    std::int64_t trafficBitsPerSecond = 0;
    QStringList warnings;  // one per line that could not be used
};

BenchSpec parseBench(const QString& text, const QString& sourceName);
// The bits a second the traffic takes on the wire: each frame's whole length
// (an extended one when its identifier needs more than 11 bits) times its rate.
std::int64_t trafficBitsPerSecond(const std::vector<BenchSpec::Traffic>& traffic);
// The bench of a preview: one board that animates the screen of a
// configuration file. Its P-code is the file's name where that is a board's
// ("1305-0012.cfg" or "13050012.cfg"), else 9999-9999, so that no board's own
// picture or screen is taken for it.
BenchSpec previewBench(const QString& configFile);
// The file, or the built-in bench with a warning when it cannot be read.
BenchSpec loadBench(const QString& fileName);
// The bench shipped with the program.
QString defaultBenchText();

// Puts the bench's boards and traffic on the adapter's bus, at its bit rate.
void buildBench(SimAdapter& adapter, const BenchSpec& spec);

}  // namespace tellvane
