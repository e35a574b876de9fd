#include "logs/FrameText.h"

#include "logs/LogText.h"

#include <algorithm>

namespace tellvane::frametext {

using namespace logtext;

namespace {

constexpr std::uint32_t kErrorFlag = 0x20000000;

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The data after "#": pairs of hex digits, at most eight, each pair perhaps
// after one dot (and one dot at the end) when dots are allowed.
bool readData(std::string_view data, TraceFrame& frame, QString& why, Dots dots)
{
    // The size first, so that the log readers' reasons stay as they were.
    std::size_t digits = data.size();
    if (dots == Dots::Allowed)
        digits -= static_cast<std::size_t>(std::count(data.begin(), data.end(), '.'));
    if (digits % 2 != 0 || digits > 16) {
        why = QStringLiteral("the data is not 0 to 8 bytes of two hex digits");
        return false;
    }
    std::size_t length = 0;
    std::size_t i = 0;
    bool dotted = false;
    while (i < data.size()) {
        if (dots == Dots::Allowed && data[i] == '.' && !dotted) {
            dotted = true;
            ++i;
            continue;
        }
        const int high = hexDigit(data[i]);
        const int low = i + 1 < data.size() ? hexDigit(data[i + 1]) : -1;
        if (high < 0 || low < 0) {
            why = QStringLiteral("data byte %1 is not two hex digits").arg(length + 1);
            return false;
        }
        frame.data[length++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
        dotted = false;
    }
    frame.length = static_cast<std::uint8_t>(length);
    return true;
}

}  // namespace

bool read(std::string_view text, TraceFrame& frame, QString& why, Dots dots)
{
    frame = TraceFrame{};
    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) {
        why = QStringLiteral("no \"#\" between identifier and data");
        return false;
    }
    std::string_view data = text.substr(hash + 1);
    if (!data.empty() && data.front() == '#') {
        why = QStringLiteral("a CAN FD frame (\"##\"), which the trace does not hold");
        return false;
    }
    const std::string_view idText = text.substr(0, hash);
    const std::optional<std::uint32_t> id = hexNumber(idText);
    if (!id || (idText.size() != 3 && idText.size() != 8) || (idText.size() == 3 && *id > 0x7FF)
        || (*id & ~(kErrorFlag | 0x1FFFFFFFu))) {
        why = QStringLiteral("the identifier \"%1\" is neither three hex digits up to 7FF nor eight up to 1FFFFFFF")
                  .arg(latin1(idText));
        return false;
    }
    frame.id = *id & 0x1FFFFFFF;
    frame.flags = static_cast<std::uint8_t>((idText.size() == 8 ? TraceFrame::Extended : 0)
                                            | ((*id & kErrorFlag) ? TraceFrame::Error : 0));

    if (!data.empty() && (data.front() == 'R' || data.front() == 'r')) {
        data.remove_prefix(1);
        const std::optional<std::uint32_t> length = data.empty() ? std::optional<std::uint32_t>(0) : decimalNumber(data);
        if (!length || *length > 8) {
            why = QStringLiteral("a remote frame's length is not 0 to 8");
            return false;
        }
        frame.flags |= TraceFrame::Remote;
        frame.length = static_cast<std::uint8_t>(*length);
        return true;
    }
    return readData(data, frame, why, dots);
}

void append(LineText& line, const TraceFrame& frame)
{
    if (frame.flags & TraceFrame::Error)
        appendHex(line, kErrorFlag | frame.id, 8);
    else
        appendHex(line, frame.id, frame.extended() ? 8 : 3);
    line.put('#');
    if (frame.flags & TraceFrame::Remote) {
        line.put('R');
        if (frame.length > 0)
            appendDecimal(line, frame.length);
    } else {
        for (int i = 0; i < frame.length && i < 8; ++i)
            appendHexByte(line, frame.data[static_cast<std::size_t>(i)]);
    }
}

QString write(const TraceFrame& frame)
{
    LineText line;
    append(line, frame);
    return QString::fromLatin1(line.text, line.size);
}

}  // namespace tellvane::frametext
