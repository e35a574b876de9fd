#pragma once

#include "logs/TraceLog.h"

namespace tellvane {

class CsvWriter final : public TraceLogWriter {
protected:
    void begin(QByteArray& out, const TraceFrame*) override;
    void append(QByteArray& out, const TraceFrame& frame) override;
};

}  // namespace tellvane
