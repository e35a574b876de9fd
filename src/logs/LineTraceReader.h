#pragma once

#include "core/TextLineReader.h"
#include "logs/TraceLog.h"

#include <QString>

#include <cstdint>
#include <string_view>

namespace tellvane {

// The formats read line by line: each says what a line holds.
class LineTraceReader : public TraceLogReader {
public:
    enum class Line { Frame, Ignored, Bad };

    LineTraceReader() { m_source.setCheck(&m_check); }
    bool open(const QString& fileName) override;
    bool next(TraceFrame& frame) override;
    std::int64_t bytesRead() const override { return m_source.bytesRead(); }

protected:
    // Fills the frame, or says why the line is no frame (in why).
    virtual Line parse(std::string_view line, TraceFrame& frame, QString& why) = 0;

private:
    TextLineReader m_source;
};

}  // namespace tellvane
