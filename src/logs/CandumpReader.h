#pragma once

#include "logs/LineTraceReader.h"

#include <string_view>

namespace tellvane {

// A candump line is read in two ways, and the reader takes the first that can.
namespace candump {
// A line as candump writes it, "(1700000000.123456) can0 18FEF121#0102 T", in
// one pass: up to twelve whole digits and six decimals in the time, a data or
// an error frame, at most " T" or " R" after it. False for anything else, a
// remote frame too; the frame is then left half filled.
bool readPlainLine(std::string_view line, TraceFrame& frame);
// Any line, word by word, and what is wrong with one that is no frame. Every
// line that readPlainLine() reads, this reads alike.
LineTraceReader::Line readLine(std::string_view line, TraceFrame& frame, QString& why);
}  // namespace candump

class CandumpReader final : public LineTraceReader {
protected:
    Line parse(std::string_view line, TraceFrame& frame, QString& why) override;
};

}  // namespace tellvane
