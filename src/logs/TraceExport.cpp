#include "logs/TraceExport.h"

namespace tellvane {

ConvertResult exportTraceLog(const QString& fileName, std::size_t count,
                             const std::function<const TraceFrame&(std::size_t)>& frameAt,
                             const QDateTime& recordingStart)
{
    ConvertResult result;
    const std::unique_ptr<TraceLogWriter> writer = makeTraceLogWriter(traceLogFormatOf(fileName));
    if (!writer) {
        result.error = QStringLiteral("%1 is no log of a known kind (.txt, .log, .asc, .csv)").arg(fileName);
        return result;
    }
    if (!writer->open(fileName)) {
        result.error = QStringLiteral("cannot write %1: %2").arg(fileName, writer->errorString());
        return result;
    }
    if (recordingStart.isValid())
        writer->setRecordingStart(recordingStart);
    for (std::size_t i = 0; i < count; ++i) {
        const TraceFrame& frame = frameAt(i);
        if (!writer->refusal(frame).isEmpty()) {
            ++result.skipped;
            continue;
        }
        if (!writer->write(frame)) {
            result.error = QStringLiteral("cannot write %1: %2").arg(fileName, writer->errorString());
            break;
        }
        ++result.frames;
    }
    result.notes = writer->notes();
    if (!writer->close() && result.error.isEmpty())
        result.error = QStringLiteral("cannot write %1: %2").arg(fileName, writer->errorString());
    return result;
}

}  // namespace tellvane
