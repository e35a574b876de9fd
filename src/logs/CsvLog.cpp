// .csv: a header row, then one frame a row as python-can writes them:
//
//   timestamp,arbitration_id,extended,remote,error,dlc,data
//   1700000000.123456,0x18fef121,1,0,0,8,AQIDBAUGBwg=
//
// seconds (python writes as few digits as give the same double back, so also
// "1e-06"), the identifier in hex, three flags of 0 or 1, the length and the
// data in base64. The format knows no direction: frames read as received.

#include "logs/CsvReader.h"
#include "logs/CsvWriter.h"
#include "logs/LogText.h"

#include <algorithm>
#include <array>

namespace tellvane {

using namespace logtext;

namespace {
constexpr char kHeader[] = "timestamp,arbitration_id,extended,remote,error,dlc,data";

std::optional<bool> flag(std::string_view text)
{
    if (text == "1")
        return true;
    if (text == "0")
        return false;
    return std::nullopt;
}
}  // namespace

LineTraceReader::Line CsvReader::parse(std::string_view line, TraceFrame& frame, QString& why)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (line.empty() || line == kHeader)
        return Line::Ignored;
    std::array<std::string_view, 7> field;
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        if (count < field.size())
            field[count] = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        ++count;
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (count != field.size()) {
        why = QStringLiteral("%1 fields where a row has 7 (%2)").arg(count).arg(QLatin1String(kHeader));
        return Line::Bad;
    }
    const std::optional<std::int64_t> us = secondsToUs(field[0]);
    std::string_view idText = field[1];
    if (idText.size() > 2 && idText[0] == '0' && (idText[1] == 'x' || idText[1] == 'X'))
        idText.remove_prefix(2);
    const std::optional<std::uint32_t> id = hexNumber(idText);
    const std::optional<bool> extended = flag(field[2]);
    const std::optional<bool> remote = flag(field[3]);
    const std::optional<bool> error = flag(field[4]);
    const std::optional<std::uint32_t> length = decimalNumber(field[5]);
    if (!us) {
        why = QStringLiteral("the timestamp is no number of seconds");
        return Line::Bad;
    }
    if (!extended || !remote || !error) {
        why = QStringLiteral("extended, remote and error are not each 0 or 1");
        return Line::Bad;
    }
    if (!id || *id > (*extended ? 0x1FFFFFFFu : 0x7FFu)) {
        why = QStringLiteral("the arbitration_id is not a hex identifier of %1 bits").arg(*extended ? 29 : 11);
        return Line::Bad;
    }
    if (!length || *length > 8) {
        why = QStringLiteral("the dlc is not 0 to 8");
        return Line::Bad;
    }
    const QByteArray encoded = QByteArray::fromRawData(field[6].data(), static_cast<qsizetype>(field[6].size()));
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    // A remote frame's dlc is the length it asks for: its row may carry no
    // data, or as many bytes as the dlc says, which no frame on the bus has.
    const qsizetype held = decoded ? decoded.decoded.size() : 0;
    if (!decoded || (held != static_cast<qsizetype>(*length) && !(*remote && held == 0))) {
        why = decoded ? QStringLiteral("the data holds %1 bytes, the dlc says %2").arg(held).arg(*length)
                      : QStringLiteral("the data is not base64");
        return Line::Bad;
    }
    frame.timeUs = *us;
    frame.id = *error && *id == 0 ? kBusErrorClass : *id;
    frame.length = static_cast<std::uint8_t>(*length);
    frame.flags = static_cast<std::uint8_t>((*extended ? TraceFrame::Extended : 0) | (*remote ? TraceFrame::Remote : 0)
                                            | (*error ? TraceFrame::Error : 0));
    if (!*remote)
        std::copy(decoded.decoded.begin(), decoded.decoded.end(), frame.data.begin());
    return Line::Frame;
}

void CsvWriter::begin(QByteArray& out, const TraceFrame*)
{
    out.append(kHeader);
    out.append('\n');
}

namespace {

// Lower-case hex without leading zeros, as python writes hex().
void appendLowerHex(LineText& out, std::uint32_t value)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    int n = 1;
    while (n < 8 && (value >> (4 * n)) != 0)
        ++n;
    for (int i = n - 1; i >= 0; --i, value >>= 4)
        out.text[out.size + i] = kDigits[value & 0x0F];
    out.size += n;
}

// Standard base64 with its "=" padding.
void appendBase64(LineText& out, const std::uint8_t* bytes, int count)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < count; i += 3) {
        const int left = count - i;
        const std::uint32_t group = std::uint32_t{bytes[i]} << 16 | (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0)
                                    | (left > 2 ? bytes[i + 2] : 0);
        out.put(kDigits[group >> 18]);
        out.put(kDigits[(group >> 12) & 0x3F]);
        out.put(left > 1 ? kDigits[(group >> 6) & 0x3F] : '=');
        out.put(left > 2 ? kDigits[group & 0x3F] : '=');
    }
}

}  // namespace

void CsvWriter::append(QByteArray& out, const TraceFrame& frame)
{
    const bool remote = frame.flags & TraceFrame::Remote;
    LineText line;
    appendSeconds(line, frame.timeUs);
    line.put(",0x", 3);
    appendLowerHex(line, frame.id);
    line.put(frame.extended() ? ",1" : ",0", 2);
    line.put(remote ? ",1" : ",0", 2);
    line.put(frame.flags & TraceFrame::Error ? ",1," : ",0,", 3);
    appendDecimal(line, frame.length);
    line.put(',');
    if (!remote)
        appendBase64(line, frame.data.data(), std::min<int>(frame.length, 8));
    line.put('\n');
    line.appendTo(out);
}

}  // namespace tellvane
