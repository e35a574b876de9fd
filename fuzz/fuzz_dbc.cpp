// DBC files come from anywhere: any bytes give a database and the lines left
// out, each with its number and why, never a crash; the counts stay within
// their bounds, every message read is found by its identifier, and frames of
// every length decode to at most the message's signals.

#include "FuzzSupport.h"

#include "signals/SignalDatabase.h"

#include <cmath>
#include <cstdint>

using namespace tellvane;
using namespace tellvane::dbc;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::vector<Report> reports;
    const Database db = Database::read(text, QStringLiteral("fuzz.dbc"), reports);
    const int lines = static_cast<int>(text.count('\n')) + 1;
    FUZZ_CHECK(reports.size() <= static_cast<std::size_t>(Database::kMaxReports) + 1);
    for (const Report& report : reports) {
        FUZZ_CHECK(report.file == QStringLiteral("fuzz.dbc"));
        FUZZ_CHECK(report.line >= 1 && report.line <= lines);
        FUZZ_CHECK(!report.text.isEmpty());
    }
    FUZZ_CHECK(db.messages().size() <= static_cast<std::size_t>(Database::kMaxMessages));

    TraceFrame frame;
    for (std::size_t i = 0; i < frame.data.size(); ++i)
        frame.data[i] = size > i ? data[size - 1 - i] : 0;
    std::vector<DecodedSignal> out;
    for (const Message& message : db.messages()) {
        FUZZ_CHECK(message.signalList.size() <= static_cast<std::size_t>(Database::kMaxSignalsPerMessage));
        for (const Signal& signal : message.signalList) {
            FUZZ_CHECK(signal.length >= 1 && signal.length <= 64);
            FUZZ_CHECK(signal.valueTexts.size() <= static_cast<std::size_t>(Database::kMaxValueTexts));
            FUZZ_CHECK(signal.muxRangeBegin + signal.muxRangeCount <= static_cast<int>(message.muxRanges.size()));
            FUZZ_CHECK(signal.selector < static_cast<int>(message.signalList.size()));
        }
        if (message.id <= (message.extended ? 0x1FFFFFFFu : 0x7FFu))
            FUZZ_CHECK(db.find(message.id, message.extended) != nullptr);
        frame.id = message.id;
        frame.flags = message.extended ? TraceFrame::Extended : 0;
        for (std::uint8_t length : {std::uint8_t{0}, std::uint8_t{3}, std::uint8_t{8}}) {
            frame.length = length;
            FUZZ_CHECK(decode(message, frame, out) <= message.signalList.size());
            for (const DecodedSignal& s : out) {
                s.signal->valueText(s.bits);
                (void)signalKey(message, *s.signal, frame.id);
            }
        }
    }
    return 0;
}
