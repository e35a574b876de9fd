#pragma once

#include "logs/LogText.h"
#include "logs/TraceLog.h"

#include <QStringList>

#include <cstdint>

namespace tellvane {

// The frame's message line as formatMessageLine() writes it, at the time
// given (its identifier as sent), the same 45 characters made on bytes: the
// pace of a long conversion. True when the time field holds the time to the
// microsecond (times from 100 s on keep fewer decimals).
bool appendMessageLine(logtext::LineText& out, const TraceFrame& frame, std::int64_t timeUs);

class MessageLineWriter final : public TraceLogWriter {
public:
    QString refusal(const TraceFrame& frame) const override;
    // How many 11-bit identifiers became 29-bit ones, how many times the
    // time field could not hold to the microsecond, and how many it could not
    // hold at all (cut to its largest).
    QStringList notes() const override;

protected:
    void begin(QByteArray&, const TraceFrame* first) override;
    void append(QByteArray& out, const TraceFrame& frame) override;

private:
    std::int64_t m_originUs = 0;
    std::int64_t m_standardIds = 0;
    std::int64_t m_roundedTimes = 0;
    std::int64_t m_cutTimes = 0;
};

}  // namespace tellvane
