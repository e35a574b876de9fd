#pragma once

#include "logs/LineTraceReader.h"

#include <cstdint>
#include <string_view>

namespace tellvane {

class AscReader final : public LineTraceReader {
public:
    bool open(const QString& fileName) override;

protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;

private:
    int m_base = 16;
    bool m_relative = false;  // each event's time counts from the event before
    std::int64_t m_eventUs = 0;  // the time of the last event, when relative
};

}  // namespace tellvane
