#pragma once

namespace tellvane {

class CanLink;

// The request to all boards to announce themselves: identifier 0x18EAFFF9 with
// the parameter group 0x00EE00 (address claim), least significant byte first.
void sendAllBoardRequest(CanLink& link);

}  // namespace tellvane
