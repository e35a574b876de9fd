#pragma once

#include "logs/LineTraceReader.h"

#include <string_view>

namespace tellvane {

class CsvReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;
};

}  // namespace tellvane
