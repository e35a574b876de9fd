#pragma once

#include "logs/TraceLog.h"

namespace tellvane {

class CandumpWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray&, const TraceFrame*) override {}
    void append(QByteArray& out, const TraceFrame& frame) override;
};

}  // namespace tellvane
