#pragma once

#include "logs/TraceFrame.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

namespace tellvane {

// One line of a transmit list: a data frame, and how often it goes out.
struct TransmitRow {
    static constexpr int kMinPeriodMs = 1;
    static constexpr int kMaxPeriodMs = 3'600'000;  // an hour
    static constexpr std::int64_t kMaxCount = 2'147'483'647;

    QString name = {};
    std::uint32_t id = 0;   // 11 or 29 bits
    bool extended = true;
    std::uint8_t length = 0;  // 0 to 8
    std::array<std::uint8_t, 8> data{};
    int periodMs = 0;         // 0: once, when sent by hand
    std::int64_t count = 0;   // how many a start sends; 0: until stopped
    bool enabled = true;

    bool periodic() const { return periodMs > 0; }
    // The frame as the link sends it (flags Extended and Sent as they apply).
    TraceFrame frame() const;
    // Why the row cannot be sent (identifier out of its range, length, period
    // below 1 ms or above an hour, a count below 0), or empty.
    QString problem() const;
    bool operator==(const TransmitRow&) const = default;
};

// A frame typed to be sent, in the candump form ("18FEF1F9#0140FF", dots
// allowed between the bytes as cansend takes them): a data frame of at most
// eight bytes, or false with the exact reason (remote, error and CAN FD frames
// are refused: the tool sends data frames only).
bool readSendFrame(std::string_view text, TraceFrame& frame, QString& why);

// The row for a frame (a traced one copied into the list): data frames only.
TransmitRow rowOfFrame(const TraceFrame& frame, QString name = {});

}  // namespace tellvane
