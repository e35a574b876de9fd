#pragma once

#include "logs/TraceFrame.h"

#include <QString>

#include <string_view>

namespace tellvane::logtext {
struct LineText;
}

namespace tellvane::frametext {

// The text of one frame as candump writes it in its logs and cansend takes it
// on its command line, "ID#DATA":
//   123#DEADBEEF        a standard identifier (three hex digits, up to 7FF), four bytes
//   18FEF1F9#0140FF     an extended identifier (eight hex digits, up to 1FFFFFFF)
//   5AA#                no data
//   123#R  123#R3       a remote request, with the length it asks for
//   20000080#0000...    an error frame: candump sets 20000000 in the identifier
//   5A1#11.2233.44      dots between the bytes, as cansend allows (Dots::Allowed)
// A CAN FD frame ("##") is refused, as is anything after the data.
enum class Dots { Refused, Allowed };

// The frame (time 0, on the bus's line, received), or false with why it is
// not one; the texts are those the candump reader gives its broken lines.
bool read(std::string_view text, TraceFrame& frame, QString& why, Dots dots = Dots::Refused);

// The text of a frame: upper-case hex without dots; a remote frame "123#R",
// with its length when it is not 0; an error frame with 20000000 set.
QString write(const TraceFrame& frame);
// The same text at the end of a line being written (the candump writer's).
void append(logtext::LineText& line, const TraceFrame& frame);

}  // namespace tellvane::frametext
