// Frame texts come from candump logs and are typed on tellvane-cli send's
// command line: any text is a frame or refused with a reason, with dots or
// without; a frame read, written and read again is the same frame. A frame to
// send is the frame the text reads as with dots, and a data frame only.

#include "FuzzSupport.h"

#include "logs/FrameText.h"
#include "transmit/TransmitRow.h"

#include <cstdint>
#include <string_view>

using namespace tellvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TraceFrame dotted;
    bool readDotted = false;
    for (const frametext::Dots dots : {frametext::Dots::Refused, frametext::Dots::Allowed}) {
        TraceFrame frame;
        QString why;
        const bool read = frametext::read(text, frame, why, dots);
        if (dots == frametext::Dots::Allowed) {
            readDotted = read;
            dotted = frame;
        }
        if (!read) {
            FUZZ_CHECK(!why.isEmpty());
            continue;
        }
        FUZZ_CHECK(frame.length <= 8);
        FUZZ_CHECK(frame.id <= (frame.extended() ? 0x1FFFFFFFu : 0x7FFu));
        const QByteArray written = frametext::write(frame).toLatin1();
        TraceFrame again;
        QString whyAgain;
        FUZZ_CHECK(frametext::read(std::string_view(written.constData(), static_cast<std::size_t>(written.size())), again,
                                   whyAgain));
        FUZZ_CHECK(again == frame);
    }

    TraceFrame sendable;
    QString why;
    if (readSendFrame(text, sendable, why)) {
        FUZZ_CHECK(readDotted && sendable == dotted);
        FUZZ_CHECK(!(sendable.flags & (TraceFrame::Remote | TraceFrame::Error)));
        FUZZ_CHECK(rowOfFrame(sendable).problem().isEmpty());
    } else {
        FUZZ_CHECK(!why.isEmpty());
    }
    return 0;
}
