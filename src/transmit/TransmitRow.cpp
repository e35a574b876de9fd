#include "transmit/TransmitRow.h"

#include "logs/FrameText.h"

namespace tellvane {

TraceFrame TransmitRow::frame() const
{
    TraceFrame frame;
    frame.id = id;
    frame.length = length;
    frame.data = data;
    frame.flags = static_cast<std::uint8_t>(TraceFrame::Sent | (extended ? TraceFrame::Extended : 0));
    return frame;
}

QString TransmitRow::problem() const
{
    if (id > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
        const QString hex = QString::number(id, 16).toUpper();
        return extended ? QStringLiteral("the identifier %1 is above 1FFFFFFF").arg(hex)
                        : QStringLiteral("the standard identifier %1 is above 7FF").arg(hex);
    }
    if (length > 8)
        return QStringLiteral("the length %1 is not 0 to 8").arg(length);
    if (periodMs != 0 && (periodMs < kMinPeriodMs || periodMs > kMaxPeriodMs))
        return QStringLiteral("the period %1 ms is not 1 to 3600000 ms (or 0: once)").arg(periodMs);
    if (count < 0 || count > kMaxCount)
        return QStringLiteral("the count %1 is not 0 (until stopped) to 2147483647").arg(count);
    return {};
}

bool readSendFrame(std::string_view text, TraceFrame& frame, QString& why)
{
    if (text.find("##") != std::string_view::npos) {
        why = QStringLiteral("a CAN FD frame (\"##\"): the tool sends classic frames of 0 to 8 bytes only");
        return false;
    }
    if (const std::size_t hash = text.find('#');
        hash != std::string_view::npos && text.find('_', hash) != std::string_view::npos) {
        why = QStringLiteral("a length code after \"_\": the tool sends 0 to 8 bytes, the length the data has");
        return false;
    }
    if (!frametext::read(text, frame, why, frametext::Dots::Allowed))
        return false;
    if (frame.flags & TraceFrame::Remote) {
        why = QStringLiteral("a remote frame (\"#R\"): the tool sends data frames only");
        return false;
    }
    if (frame.flags & TraceFrame::Error) {
        why = QStringLiteral("an error frame (20000000 set in the identifier): the tool sends data frames only");
        return false;
    }
    return true;
}

TransmitRow rowOfFrame(const TraceFrame& frame, QString name)
{
    TransmitRow row;
    row.name = std::move(name);
    row.id = frame.id;
    row.extended = frame.extended();
    row.length = frame.length > 8 ? 8 : frame.length;
    row.data = frame.data;
    return row;
}

}  // namespace tellvane
