#pragma once

#include "logs/TraceLog.h"

#include <cstddef>
#include <functional>

namespace tellvane {

// Writes frames, oldest first, to a log of the kind the file's extension
// names: frameAt(0) to frameAt(count - 1). A frame the format cannot hold
// (a remote frame in message lines, say) is left out and counted as skipped.
// recordingStart: the date and time of time 0, for frames on the session's
// time line (a format with a date in its header writes it).
ConvertResult exportTraceLog(const QString& fileName, std::size_t count,
                             const std::function<const TraceFrame&(std::size_t)>& frameAt,
                             const QDateTime& recordingStart = {});

}  // namespace tellvane
