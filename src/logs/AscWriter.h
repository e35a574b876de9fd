#pragma once

#include "logs/TraceLog.h"

#include <QDateTime>

#include <cstdint>

namespace tellvane {

class AscWriter final : public TraceLogWriter {
public:
    void setRecordingStart(const QDateTime& timeZero) override { m_timeZero = timeZero; }

protected:
    void begin(QByteArray& out, const TraceFrame* first) override;
    void append(QByteArray& out, const TraceFrame& frame) override;
    void end(QByteArray& out) override;

private:
    QDateTime m_timeZero;
    std::int64_t m_originUs = 0;
};

}  // namespace tellvane
