#pragma once

#include "can/CanMessage.h"

namespace tellvane {

// The text transport's receiving half: acknowledgements and text packets from
// the board in firmware download.
class PacketReceiver {
public:
    virtual ~PacketReceiver() = default;
    virtual void acknowledgementReceived() = 0;
    // A text packet (length 2 or more, or an empty one): stored, then flagged.
    virtual void textPacketReceived(const CanMessage& message) = 0;
};

}  // namespace tellvane
