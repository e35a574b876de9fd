// Adapter records come from the USB adapter's driver: decodeRecord must take
// any 21 bytes, answering a message or a Failure, and the link's drain must
// show every good record and report every bad one without crashing or hanging,
// also when a yield during the drain runs another drain.

#include "FuzzSupport.h"

#include "can/AdapterRecord.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/Failure.h"
#include "core/LineListModel.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorStatus.h"

#include <QLoggingCategory>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

using namespace tellvane;

namespace {

// Hands out the records of the input one by one, moving the clock on each call
// so that the link's yields fall due.
class InputAdapter final : public test::QuietAdapter {
public:
    InputAdapter(std::vector<Record> records, FakeClock& clock, int msPerCall)
        : m_records(std::move(records)), m_clock(clock), m_msPerCall(msPerCall)
    {
    }

    std::size_t handedOut() const { return m_next; }

    std::int16_t getCanMess(Record& record) override
    {
        m_clock.advanceMs(m_msPerCall);
        if (m_next >= m_records.size())
            return 0;
        record = m_records[m_next++];
        return 1;
    }
    std::int16_t getNumCanMess() override { return static_cast<std::int16_t>(m_records.size() - m_next); }
    QString name() const override { return QStringLiteral("fuzz"); }

private:
    std::vector<Record> m_records;
    FakeClock& m_clock;
    int m_msPerCall;
    std::size_t m_next = 0;
};

// The message a record stands for, read straight from the record's layout;
// none when the record is one decodeRecord must refuse.
std::optional<CanMessage> expectedMessage(const Adapter::Record& r)
{
    const int length = r[1] & 0x0F;
    if (r[3] >= 0x80 || length > 8)
        return std::nullopt;
    CanMessage m;
    m.id = (r[3] << 24) | (r[4] << 16) | (r[5] << 8) | r[6];
    m.length = static_cast<std::uint8_t>(length);
    for (int i = 0; i < length; ++i)
        m.data[static_cast<std::size_t>(i)] = r[static_cast<std::size_t>(7 + i)];
    if (r[0] == length + 10) {
        const std::uint32_t ticks = (std::uint32_t(r[7 + length]) << 16) | (std::uint32_t(r[8 + length]) << 8) | r[9 + length];
        m.time = ticks * 8e-6;
    }
    return m;
}

void checkDecode(const Adapter::Record& r)
{
    const std::optional<CanMessage> expected = expectedMessage(r);
    try {
        const CanMessage m = decodeRecord(r);
        FUZZ_CHECK(expected.has_value());
        FUZZ_CHECK(m.id == expected->id && m.id >= 0);
        FUZZ_CHECK(m.length == expected->length);
        FUZZ_CHECK(m.data == expected->data);
        FUZZ_CHECK(std::abs(m.time - expected->time) < 1e-9);
        // Whatever a record holds, its message has a line.
        FUZZ_CHECK(formatMessageLine(m).size() == messageline::kLength);
    } catch (const Failure& f) {
        FUZZ_CHECK(!expected.has_value());
        FUZZ_CHECK(f.code() == (r[3] >= 0x80 ? FailureCode::Overflow : FailureCode::SubscriptOutOfRange));
    }
}

class RecordingRouter final : public MessageRouter {
public:
    void processCanMessage(const CanMessage& message) override { messages.push_back(message); }
    std::vector<CanMessage> messages;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensureApplication();
    QLoggingCategory::setFilterRules(QStringLiteral("tellvane.*=false"));
    return 0;
}

// Input: one byte of switches, then records of 21 bytes (the last one padded with zeros).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t switches = data[0];
    const bool reenter = (switches & 0x01) != 0;
    const bool showAscii = (switches & 0x02) != 0;
    const int msPerCall = (switches >> 2) & 0x07;
    ++data;
    --size;

    std::vector<Adapter::Record> records;
    for (std::size_t at = 0; at < size; at += Adapter::kRecordSize) {
        Adapter::Record r{};
        std::memcpy(r.data(), data + at, std::min<std::size_t>(Adapter::kRecordSize, size - at));
        checkDecode(r);
        records.push_back(r);
    }

    fuzz::ErrorCollector errors;
    FakeClock clock;
    InputAdapter adapter(records, clock, msPerCall);
    CanLink link(adapter, clock);
    LineListModel list(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit);
    MessageLogger logger(list);
    logger.options().displayLive = true;
    logger.options().showAscii = showAscii;
    MonitorStatus status(link);
    RecordingRouter router;
    link.setStatusView(&status);
    link.setMessageSink(&logger);
    link.setRouter(&router);
    int yields = 0;
    link.setYield([&] {
        ++yields;
        // A poll tick during a drain must leave the drain to the running one.
        link.pollTick();
        if (reenter)
            link.checkForIncomingCanMessages();
    });
    link.setInterfaceStatus(InterfaceState::Ok);
    link.checkForIncomingCanMessages();
    FUZZ_CHECK(!link.draining());

    // Every record taken from the adapter was either shown and routed, in
    // order, or reported; without nested drains the first bad one ends the drain.
    const std::size_t taken = adapter.handedOut();
    std::size_t good = 0;
    int bad = 0;
    std::optional<std::size_t> firstBad;
    for (std::size_t i = 0; i < taken; ++i) {
        const std::optional<CanMessage> expected = expectedMessage(records[i]);
        if (!expected) {
            ++bad;
            if (!firstBad)
                firstBad = i;
            continue;
        }
        FUZZ_CHECK(good < router.messages.size());
        const CanMessage& routed = router.messages[good];
        FUZZ_CHECK(routed.id == expected->id && routed.length == expected->length && routed.data == expected->data);
        const QString item = monitorListItem(formatMessageLine(*expected), showAscii ? asciiText(*expected) : QString());
        FUZZ_CHECK(list.at(good) == item);
        ++good;
    }
    FUZZ_CHECK(router.messages.size() == good);
    FUZZ_CHECK(list.size() == good);
    FUZZ_CHECK(errors.messages.size() == bad);
    if (!reenter)
        FUZZ_CHECK(firstBad ? taken == *firstBad + 1 : taken == records.size());
    else if (!firstBad)
        FUZZ_CHECK(taken == records.size());
    if (taken > 0)
        FUZZ_CHECK(status.bufferOverflowVisible() == recordOverflowFlag(records[taken - 1]));
    FUZZ_CHECK(yields <= static_cast<int>(good));

    QCoreApplication::processEvents();
    return 0;
}
