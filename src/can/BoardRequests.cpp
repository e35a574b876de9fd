#include "can/BoardRequests.h"

#include "can/CanLink.h"
#include "core/ErrorReporting.h"

namespace tellvane {

void sendAllBoardRequest(CanLink& link)
{
    try {
        const std::uint8_t data[9] = {0x00, 0xEE, 0x00};
        link.sendLogged(0x18EAFFF9u | can::kExtendedFrame, 3, data);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendAllBoardRequest"));
    }
}

}  // namespace tellvane
