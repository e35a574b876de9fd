#pragma once

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The serial-line CAN protocol (Lawicel) of the cheap USB adapters: the lines
// the program writes to the adapter's serial port and the reading of what comes
// back. Bytes and values only, no port: the adapter backend owns the port.
namespace tellvane::slcan {

// The longest line the adapter can send, without its '\r': 'T', 8 digits of
// identifier, the length digit, 16 data digits and a 4-digit time stamp.
inline constexpr std::size_t kLongestLine = 1 + 8 + 1 + 16 + 4;
// The longest line the program sends for a frame, with its '\r'.
inline constexpr std::size_t kLongestFrameLine = 1 + 8 + 1 + 16 + 1;
// The time stamp counts milliseconds from 0 to 59999 and starts again.
inline constexpr int kTimeStampPeriodMs = 60000;

// The commands, each a whole line with its '\r'.
inline constexpr std::string_view kOpen = "O\r";            // onto the bus
inline constexpr std::string_view kClose = "C\r";           // off the bus
inline constexpr std::string_view kReadStatus = "F\r";      // answered by "Fxx\r"
inline constexpr std::string_view kTimeStampsOn = "Z1\r";   // frames then carry a time stamp
inline constexpr std::string_view kTimeStampsOff = "Z0\r";
inline constexpr std::string_view kReadVersion = "V\r";     // answered by "Vhhss\r"
inline constexpr std::string_view kReadSerialNumber = "N\r";  // answered by "Nxxxx\r"

// The bit rate's code for the "Sn" command: 0 for 10 kbit/s up to 8 for
// 1 Mbit/s (10k, 20k, 50k, 100k, 125k, 250k, 500k, 800k, 1M); nothing for a
// rate the adapters do not know.
std::optional<int> bitrateCode(int bitsPerSecond);
// The whole "Sn\r" line for the rate; empty for a rate without a code.
QByteArray bitrateLine(int bitsPerSecond);

// The bits of the flag byte in the answer "Fxx" to kReadStatus.
namespace status {
inline constexpr std::uint8_t kReceiveFifoFull = 0x01;
inline constexpr std::uint8_t kTransmitFifoFull = 0x02;
inline constexpr std::uint8_t kErrorWarning = 0x04;
inline constexpr std::uint8_t kDataOverrun = 0x08;
// 0x10 is not used.
inline constexpr std::uint8_t kErrorPassive = 0x20;
inline constexpr std::uint8_t kArbitrationLost = 0x40;
inline constexpr std::uint8_t kBusError = 0x80;
}  // namespace status

// One data frame, to send or as received.
struct Frame {
    std::uint32_t id = 0;  // 11 bits, or 29 when extended
    bool extended = false;
    std::uint8_t length = 0;  // 0 to 8
    std::array<std::uint8_t, 8> data{};
    // The adapter's milliseconds (0 to 59999) when the received line carried a
    // time stamp, -1 when it did not. Not sent.
    int timeStampMs = -1;

    bool operator==(const Frame&) const = default;
};

// The line that sends the frame ("tiiiLdd..\r" or "TiiiiiiiiLdd..\r", upper
// case hex) into out, which holds kLongestFrameLine bytes; answers the count
// written, 0 (nothing written) when the identifier does not fit its 11 or 29
// bits or the length is above 8.
std::size_t encodeFrame(const Frame& frame, std::span<char, kLongestFrameLine> out);
// The same as a byte array; empty when the frame cannot be sent.
QByteArray frameLine(const Frame& frame);

// What one line from the adapter was.
enum class ItemKind : std::uint8_t {
    Frame,         // "t"/"T": a received data frame, in Item::frame
    RemoteFrame,   // "r"/"R": a received remote frame; Item::frame has its identifier and length
    Status,        // "Fxx": the flag byte in Item::status (status::k...)
    Ok,            // an empty line: the answer to a command
    Transmitted,   // "z"/"Z": the answer to a frame sent with "t"/"T"
    Error,         // BEL (0x07): the adapter refused the command
    Version,       // "Vhhss": the four characters in Item::text
    SerialNumber,  // "Nxxxx": the four characters in Item::text
};

struct Item {
    ItemKind kind = ItemKind::Ok;
    Frame frame;                // Frame, RemoteFrame
    std::uint8_t status = 0;    // Status
    std::array<char, 4> text{};  // Version, SerialNumber
};

// How many lines of each kind the reader has seen since it was made or reset.
struct Counters {
    std::uint64_t frames = 0;
    std::uint64_t remoteFrames = 0;
    std::uint64_t garbageLines = 0;
    std::uint64_t errors = 0;  // BEL answers
    std::uint64_t oks = 0;     // empty lines and "z"/"Z"
    std::uint64_t statuses = 0;
    std::uint64_t others = 0;  // version and serial number answers

    bool operator==(const Counters&) const = default;
};

// Cuts the bytes from the adapter into lines and reads each. Lines end at
// '\r'; a BEL ends one too and is itself an error answer (so "\a" alone, or
// right after another line, gives one Error item). A '\n' at the start of a
// line is skipped, for adapters that end lines with "\r\n".
//
// Frame lines: 't' + 3 hex digits of identifier (at most 0x7FF), or 'T' + 8
// (at most 0x1FFFFFFF); the length digit 0 to 8; two hex digits per data byte;
// then either nothing or exactly 4 hex digits of time stamp (at most 59999).
// Remote lines ('r'/'R') are the same without data bytes. Hex digits may be
// either case.
//
// Any other line (bad digit, length above 8, data or stamp digits of the wrong
// count, a letter it does not know, more than kLongestLine characters) is
// garbage: counted and skipped up to its '\r' or BEL, so the next line reads
// again. A partial line is kept between feeds, at most kLongestLine bytes; the
// rest of a line that is already too long is dropped as it arrives.
class LineReader {
public:
    // Reads the bytes (any split into chunks, any content) and calls
    // sink(const Item&) for each whole line read, in order. The item is only
    // valid during the call.
    template <typename Sink>
    void feed(std::span<const char> bytes, Sink&& sink)
    {
        Item item;
        while (!bytes.empty()) {
            const std::size_t used = readItem(bytes, item);
            bytes = bytes.subspan(used);
            if (produced_)
                sink(static_cast<const Item&>(item));
        }
    }

    // The step feed() repeats: reads from the bytes up to the end of the next
    // whole line that gives an item (then item holds it and produced() is
    // true) or to the end of the bytes (then the partial line is kept and
    // produced() is false). Answers the count of bytes used, at least 1 when
    // bytes is not empty.
    std::size_t readItem(std::span<const char> bytes, Item& item);
    bool produced() const { return produced_; }

    const Counters& counters() const { return counters_; }
    // Forgets the partial line and the counts (a new session on the port).
    void reset();

private:
    // Reads one whole line (without its end); true with item set when it gives one.
    bool readLine(const char* line, std::size_t size, Item& item);

    std::array<char, kLongestLine> partial_{};
    std::size_t partialSize_ = 0;
    bool overlong_ = false;  // dropping the rest of a line longer than kLongestLine
    bool produced_ = false;
    Counters counters_;
};

// The adapter's time stamp made into a count that only grows: the smallest
// count of milliseconds not below previousMs whose remainder by 60000 is
// stampMs (0 to 59999). previousMs < 0 (no stamp yet) answers stampMs. A stamp
// equal to the previous one's answers previousMs again.
//
// The stamp alone cannot tell a silence of 60 s or longer: after one, the
// count comes out short by whole minutes. The caller ties the count to the
// arrival time when the gap between arrivals says a minute or more has passed
// (in microseconds: the answer times 1000).
std::int64_t unwrapTimeStamp(std::int64_t previousMs, int stampMs);

}  // namespace tellvane::slcan
