// The serial-line adapter's bytes come straight off a USB port: any bytes read
// in any chunks give the same items, each whole line at most one item (a BEL
// exactly one, an error), no line longer than the longest valid one gives any,
// and a frame read is sent as the same line, upper case and without its stamp.

#include "FuzzSupport.h"

#include "adapters/SlcanProtocol.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

using namespace tellvane;
using namespace tellvane::slcan;

namespace {

// An item's kind and the fields its kind fills; the others are left from earlier items.
struct Read {
    ItemKind kind;
    Frame frame;
    std::uint8_t status = 0;
    std::array<char, 4> text{};
    bool operator==(const Read&) const = default;
};

Read readOf(const Item& item)
{
    Read read{item.kind, {}};
    if (item.kind == ItemKind::Frame || item.kind == ItemKind::RemoteFrame)
        read.frame = item.frame;
    if (item.kind == ItemKind::Status)
        read.status = item.status;
    if (item.kind == ItemKind::Version || item.kind == ItemKind::SerialNumber)
        read.text = item.text;
    return read;
}

void checkLine(std::string_view line, char end, const std::vector<Read>& items)
{
    while (!line.empty() && line.front() == '\n')
        line.remove_prefix(1);
    if (end == '\a') {
        FUZZ_CHECK(items.size() == 1 && items[0].kind == ItemKind::Error);
        return;
    }
    FUZZ_CHECK(items.size() <= 1);
    if (end != '\r' || line.size() > kLongestLine)
        FUZZ_CHECK(items.empty());
    if (items.empty())
        return;
    const Read& item = items[0];
    FUZZ_CHECK((item.kind == ItemKind::Ok) == line.empty());
    if (item.kind != ItemKind::Frame)
        return;
    const Frame& frame = item.frame;
    FUZZ_CHECK(frame.timeStampMs >= -1 && frame.timeStampMs < kTimeStampPeriodMs);
    const QByteArray sent = frameLine(frame);
    FUZZ_CHECK(!sent.isEmpty() && sent.endsWith('\r'));
    const auto body = static_cast<std::size_t>(sent.size() - 1);
    FUZZ_CHECK(line.size() == body + (frame.timeStampMs >= 0 ? 4 : 0));
    for (std::size_t i = 0; i < body; ++i)
        FUZZ_CHECK(sent[static_cast<qsizetype>(i)] == (i == 0 ? line[0] : std::toupper(static_cast<unsigned char>(line[i]))));
    std::vector<Read> again;
    LineReader reader;
    reader.feed(std::span<const char>(sent.constData(), body + 1), [&](const Item& read) {
        again.push_back(readOf(read));
    });
    Frame unstamped = frame;
    unstamped.timeStampMs = -1;
    FUZZ_CHECK(again.size() == 1 && again[0].kind == ItemKind::Frame && again[0].frame == unstamped);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 40;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    // Line by line, so that each item is known to come from its line.
    LineReader byLine;
    std::vector<Read> all;
    std::size_t start = 0;
    while (start < stream.size()) {
        const std::size_t end = std::min(stream.find_first_of("\r\a", start), stream.size());
        const std::size_t next = std::min(end + 1, stream.size());
        std::vector<Read> items;
        byLine.feed(stream.substr(start, next - start), [&](const Item& item) {
            items.push_back(readOf(item));
        });
        checkLine(stream.substr(start, end - start), end < stream.size() ? stream[end] : '\0', items);
        all.insert(all.end(), items.begin(), items.end());
        start = next;
    }

    // Chunks cutting lines anywhere read the same.
    LineReader chunked;
    std::vector<Read> chunkedItems;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        chunked.feed(stream.substr(at, std::min(chunk, stream.size() - at)), [&](const Item& item) {
            chunkedItems.push_back(readOf(item));
        });
    }
    FUZZ_CHECK(chunkedItems == all);
    FUZZ_CHECK(chunked.counters() == byLine.counters());
    const Counters& c = chunked.counters();
    FUZZ_CHECK(c.frames + c.remoteFrames + c.oks + c.statuses + c.others + c.errors == all.size());
    return 0;
}
