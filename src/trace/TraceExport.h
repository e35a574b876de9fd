#pragma once

#include "trace/TraceLog.h"

#include <cstddef>
#include <functional>

namespace tellvane {

// Writes frames, oldest first, to a log of the kind the file's extension
// names: frameAt(0) to frameAt(count - 1). A frame the format cannot hold
// (a remote frame in message lines, say) is left out and counted as skipped.
ConvertResult exportTraceLog(const QString& fileName, std::size_t count,
                             const std::function<const TraceFrame&(std::size_t)>& frameAt);

}  // namespace tellvane
