#pragma once

#include "can/TurnCounter.h"
#include "logs/LineTraceReader.h"

#include <cstdint>
#include <string_view>

namespace tellvane {

class MessageLineReader final : public LineTraceReader {
public:
    bool open(const QString& fileName) override;

protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;

private:
    std::int64_t m_lastTimeUs = 0;
    TurnCounter m_turns;  // the adapter's restarts, from the lines that have a time
};

}  // namespace tellvane
