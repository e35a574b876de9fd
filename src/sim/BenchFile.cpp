#include "sim/BenchFile.h"

#include "can/CanFrameBits.h"
#include "sim/SimAdapter.h"
#include "sim/TrafficNode.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <limits>
#include <optional>

namespace tellvane {

namespace {

const QString kBoardUsage =
    QStringLiteral("a board needs ADDRESS TYPE SERIAL PCODE [on|off] [animate] [quiet-after LINES]");

// Decimal, or hexadecimal after "0x"; base 16 reads bare hexadecimal digits.
// Digits only: no sign, and no "0x" where bare digits are asked for.
std::optional<std::uint64_t> number(const QString& text, int base = 0)
{
    QString digits = text;
    if (base == 0) {
        base = 10;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            digits = digits.mid(2);
            base = 16;
        }
    }
    static const QRegularExpression decimal(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression hexadecimal(QStringLiteral("^[0-9A-Fa-f]+$"));
    if (!(base == 16 ? hexadecimal : decimal).match(digits).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qulonglong v = digits.toULongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    return v;
}

}  // namespace

QString defaultBenchText()
{
    return QStringLiteral(
        "# The simulated bench of the Tellvane diagnostic tool (--adapter sim).\n"
        "# One thing per line; \"#\" starts a comment. Numbers are decimal or 0x hexadecimal.\n"
        "#\n"
        "#   board ADDRESS TYPE SERIAL PCODE [on|off] [animate] [quiet-after LINES]\n"
        "#       a control board: bus address 0-255, board type 0-4095, serial number\n"
        "#       0-1073741823, and its P-code: eight digits, style then variant\n"
        "#       (12010003 is style 1201, variant 0003). \"off\" keeps it off the bus.\n"
        "#       \"animate\" makes it send every message its screen decodes, so that\n"
        "#       every indicator of the screen moves. \"quiet-after LINES\" makes its\n"
        "#       boot loader go dead after LINES lines of a firmware file (for trying\n"
        "#       out failed downloads).\n"
        "#   traffic IDENTIFIER PERIOD_MS [BYTE ...]\n"
        "#       other traffic: a frame with a 29-bit identifier and up to eight\n"
        "#       hexadecimal data bytes, sent every PERIOD_MS milliseconds\n"
        "#   bitrate BITS_PER_SECOND\n"
        "#       frames take their time on the wire at this bit rate, 10000-1000000\n"
        "#       (decimal): they wait while the bus is busy and the one with the\n"
        "#       highest priority goes first. Without this line every frame\n"
        "#       arrives the moment it is sent.\n"
        "\n"
        "board 0x21 1537 7       12010003\n"
        "board 0x22 1538 1042    13050012\n"
        "board 0x23 261  200417  04120101\n"
        "\n"
        "# A board in address conflict: it announces itself from address 254.\n"
        "# Change \"off\" to \"on\" to see its window.\n"
        "board 254  1537 99      12010003 off\n"
        "\n"
        "# Engine data another unit broadcasts on the same bus.\n"
        "traffic 0x18FEF100 500 FF 40 1F FF FF FF FF FF\n"
        "\n"
        "# Remove the \"#\" to run the bus at 250 kbit/s, as the boards' bus does.\n"
        "# bitrate 250000\n");
}

BenchSpec previewBench(const QString& configFile)
{
    static const QRegularExpression boardName(QStringLiteral("^(\\d{4})-?(\\d{4})$"));
    const QString stem = QFileInfo(configFile).completeBaseName();
    const QRegularExpressionMatch match = boardName.match(stem);
    SimBoardSpec board;
    board.address = 0x21;
    board.boardType = 1537;
    board.serial = 1;
    board.pCode = match.hasMatch() ? match.captured(1).toUInt() * 10000 + match.captured(2).toUInt() : 99999999;
    board.animate = true;
    BenchSpec bench;
    bench.boards.push_back(board);
    return bench;
}

namespace {

// The words after a board's P-code, in any order, each at most once; why they
// cannot be read, or nothing.
QString readBoardOptions(const QStringList& words, SimBoardSpec& board)
{
    bool stated = false;
    bool faulted = false;
    QString why;
    for (qsizetype w = 5; w < words.size() && why.isEmpty(); ++w) {
        const QString word = words[w].toLower();
        if (word == QLatin1String("animate") && !board.animate) {
            board.animate = true;
        } else if ((word == QLatin1String("on") || word == QLatin1String("off")) && !stated) {
            board.present = word == QLatin1String("on");
            stated = true;
        } else if (word == QLatin1String("quiet-after") && !faulted) {
            const auto lines = w + 1 < words.size() ? number(words[w + 1]) : std::nullopt;
            if (!lines || *lines < 1 || *lines > 1000000)
                why = QStringLiteral("a board's fault is \"quiet-after LINES\", 1 to 1000000 lines");
            board.quietAfterLines = static_cast<int>(lines.value_or(0));
            faulted = true;
            ++w;
        } else {
            why = QStringLiteral("a board is \"on\" or \"off\", may \"animate\", and may go \"quiet-after LINES\"");
        }
    }
    return why;
}

// A "board" line; none, and why, when it cannot be read.
std::optional<SimBoardSpec> boardOf(const QStringList& words, QString& why)
{
    if (words.size() < 5 || words.size() > 9) {
        why = kBoardUsage;
        return std::nullopt;
    }
    const auto address = number(words[1]);
    const auto type = number(words[2]);
    const auto serial = number(words[3]);
    const auto pCode = number(words[4], 10);
    if (!address || *address > 255)
        why = QStringLiteral("the address must be 0 to 255");
    else if (!type || *type > 4095)
        why = QStringLiteral("the board type must be 0 to 4095");
    else if (!serial || *serial > 0x3FFFFFFF)
        why = QStringLiteral("the serial number must be 0 to 1073741823");
    else if (!pCode || words[4].size() != 8)
        why = QStringLiteral("the P-code must be eight digits");
    if (!why.isEmpty())
        return std::nullopt;
    SimBoardSpec board;
    board.address = static_cast<int>(*address);
    board.boardType = static_cast<int>(*type);
    board.serial = static_cast<std::uint32_t>(*serial);
    board.pCode = static_cast<std::uint32_t>(*pCode);
    why = readBoardOptions(words, board);
    if (!why.isEmpty())
        return std::nullopt;
    return board;
}

// A "traffic" line; none, and why, when it cannot be read.
std::optional<BenchSpec::Traffic> trafficOf(const QStringList& words, QString& why)
{
    if (words.size() < 3 || words.size() > 11) {
        why = QStringLiteral("traffic needs IDENTIFIER PERIOD_MS and up to eight bytes");
        return std::nullopt;
    }
    const auto id = number(words[1]);
    const auto period = number(words[2]);
    if (!id || *id > 0x1FFFFFFF) {
        why = QStringLiteral("the identifier must fit 29 bits");
        return std::nullopt;
    }
    if (!period || *period < 1 || *period > 3600000) {
        why = QStringLiteral("the period must be 1 to 3600000 milliseconds");
        return std::nullopt;
    }
    BenchSpec::Traffic traffic;
    traffic.frame.id = static_cast<std::uint32_t>(*id);
    traffic.periodMs = static_cast<int>(*period);
    for (int b = 3; b < words.size(); ++b) {
        const auto byte = number(words[b], 16);
        if (!byte || words[b].size() != 2) {
            why = QStringLiteral("data bytes are two hexadecimal digits each");
            return std::nullopt;
        }
        traffic.frame.data[traffic.frame.length++] = static_cast<std::uint8_t>(*byte);
    }
    return traffic;
}

// A "bitrate" line; none, and why, when it cannot be read.
std::optional<int> bitRateOf(const QStringList& words, QString& why)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (words.size() != 2 || !digits.match(words[1]).hasMatch()) {
        why = QStringLiteral("bitrate needs one decimal number of bits per second");
        return std::nullopt;
    }
    bool ok = false;
    const int rate = words[1].toInt(&ok, 10);
    if (!ok || rate < BenchSpec::kMinBitRate || rate > BenchSpec::kMaxBitRate) {
        why = QStringLiteral("the bit rate must be 10000 to 1000000");
        return std::nullopt;
    }
    return rate;
}

// Traffic the bus cannot carry is left out, with a warning.
void leaveOutTrafficOverBitRate(BenchSpec& spec, const QString& sourceName)
{
    spec.trafficBitsPerSecond = trafficBitsPerSecond(spec.traffic);
    const int carried = spec.bitRate > 0 ? spec.bitRate : BenchSpec::kBoardsBitRate;
    if (spec.trafficBitsPerSecond > carried) {
        spec.warnings.append(QStringLiteral("A warning occured within the simulated bench %1: the traffic needs %2 "
                                            "bits a second, more than the %3 of the bus; it is left out")
                                 .arg(sourceName)
                                 .arg(spec.trafficBitsPerSecond)
                                 .arg(carried));
        spec.traffic.clear();
    }
}

}  // namespace

BenchSpec parseBench(const QString& text, const QString& sourceName)
{
    BenchSpec spec;
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QRegularExpression blanks(QStringLiteral("\\s+"));
    int bitRateLine = 0;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        const auto hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        const QStringList words = line.simplified().split(blanks, Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        QString why;
        const QString kind = words[0].toLower();
        if (kind == QLatin1String("board")) {
            if (const std::optional<SimBoardSpec> board = boardOf(words, why))
                spec.boards.push_back(*board);
        } else if (kind == QLatin1String("traffic")) {
            if (const std::optional<BenchSpec::Traffic> traffic = trafficOf(words, why))
                spec.traffic.push_back(*traffic);
        } else if (kind == QLatin1String("bitrate")) {
            const std::optional<int> rate = bitRateOf(words, why);
            if (rate && bitRateLine > 0) {
                why = QStringLiteral("the bit rate was given on line %1").arg(bitRateLine);
            } else if (rate) {
                spec.bitRate = *rate;
                bitRateLine = i + 1;
            }
        } else {
            why = QStringLiteral("unknown word \"%1\"").arg(words[0]);
        }
        if (!why.isEmpty()) {
            spec.warnings.append(QStringLiteral("A warning occured within the simulated bench %1, line %2: %3")
                                     .arg(sourceName)
                                     .arg(i + 1)
                                     .arg(why));
        }
    }
    leaveOutTrafficOverBitRate(spec, sourceName);
    return spec;
}

std::int64_t trafficBitsPerSecond(const std::vector<BenchSpec::Traffic>& traffic)
{
    // Each frame's own length on the wire, stuff bits included, as the bus sends it.
    std::int64_t bits = 0;
    for (const BenchSpec::Traffic& t : traffic) {
        const std::int64_t frame =
            CanFrameBits::frameBits(t.frame.id, t.frame.id > 0x7FF, t.frame.length, t.frame.data.data());
        bits += (frame * 1000 + t.periodMs - 1) / t.periodMs;
    }
    return bits;
}

BenchSpec loadBench(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        BenchSpec spec = parseBench(defaultBenchText(), QStringLiteral("built in"));
        spec.warnings.prepend(QStringLiteral("A warning occured within the simulated bench: %1 could not be read, "
                                             "the built-in bench is used")
                                  .arg(fileName));
        return spec;
    }
    // A bench file is a few lines; anything far larger is not one.
    QByteArray bytes = file.read(1 << 20);
    // An editor's UTF-8 byte-order mark is no part of the first line.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return parseBench(QString::fromUtf8(bytes), fileName);
}

void buildBench(SimAdapter& adapter, const BenchSpec& spec)
{
    adapter.bus().setBitRate(spec.bitRate);
    int position = 0;
    for (const SimBoardSpec& board : spec.boards)
        adapter.bus().emplaceNode<SimBoard>(board, position++);
    if (!spec.traffic.empty()) {
        auto& traffic = adapter.bus().emplaceNode<TrafficNode>();
        std::int64_t first = 3000;
        for (const BenchSpec::Traffic& t : spec.traffic) {
            traffic.addStream(t.frame, static_cast<std::int64_t>(t.periodMs) * 1000, first);
            first += 1700;
        }
    }
}

}  // namespace tellvane
