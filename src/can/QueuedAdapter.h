#pragma once

#include "can/AcceptanceFilter.h"
#include "can/Adapter.h"

#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace tellvane {

class Clock;

// An adapter that keeps the received messages itself, as a USB adapter keeps
// them in its own buffer: the base of the simulated bench and of Qt's CAN bus
// plugins. A backend opens the bus, sends, and hands over what arrives; the
// rest of the calls are answered here.
//
// What arrives goes through the two receive masks and six acceptance filters
// into a queue of 1500 records. On a full queue the newest frames are dropped,
// the records that follow carry the overflow status (until the queue is
// emptied) and register 45 shows the overflowed buffer's bit (until written).
// Time stamps are 24-bit counts of 8 us ticks.
class QueuedAdapter : public Adapter {
public:
    static constexpr std::size_t kQueueCapacity = 1500;
    // The answer of a call that needs the bus while the adapter is not on one.
    static constexpr std::int16_t kNoConnection = -1;

    // Where frames are handed over: in the thread that calls the adapter, or
    // in one of their own, in which case the queue is guarded by a lock and a
    // hand-over wakes a waiting caller.
    enum class Arrivals { InCallingThread, InOtherThread };

    // Frames lost to a full queue since the adapter was made.
    std::uint64_t dropped() const;
    std::size_t queued() const;
    // Register 45 as the queue keeps it, without what the backend adds live.
    std::uint8_t errorFlags() const;
    // Which receive buffer (0 or 1) accepts an identifier; none when filtered out.
    std::optional<int> acceptingBuffer(std::uint32_t id) const;

    std::int16_t clearCanMess() override;
    std::int16_t recCanMess(std::uint32_t mask, std::uint8_t selector) override;
    std::int16_t setFilters(std::uint8_t filter, std::uint32_t value) override;
    std::int16_t enableTs() override;
    std::int16_t disableTs() override;
    std::int16_t getCanMess(Record& record) override;
    std::int16_t getNumCanMess() override;
    std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) override;
    std::int16_t writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer) override;
    std::int16_t getInfo(char* buffer, std::int32_t size) override;
    // Returns at once when a record is queued; else the backend waits for
    // whatever may bring the next one.
    void waitForRecords(Clock& clock, std::int64_t untilUs) final;

protected:
    explicit QueuedAdapter(Arrivals arrivals);

    // Holds the queue while a backend hands over what arrived; a caller
    // waiting for records wakes when the hand-over ends.
    class Intake {
    public:
        explicit Intake(QueuedAdapter& adapter);
        ~Intake();
        Intake(const Intake&) = delete;
        Intake& operator=(const Intake&) = delete;

        // A message: queued when the filters accept it and there is room.
        void message(std::uint32_t id, std::uint8_t length, const std::uint8_t* data, std::int64_t atUs,
                     bool standard = false);
        void raiseErrorFlags(std::uint8_t flags);

    private:
        QueuedAdapter& m_adapter;
        QMutexLocker<QMutex> m_lock;
        std::size_t m_before;
    };

    // Empties the queue, forgets the overflow (register 45's buffer bits too)
    // and opens the filters, as an adapter reset does.
    void resetQueue();
    void raiseErrorFlags(std::uint8_t flags);
    AcceptanceFilter filters() const;
    bool hasRecords() const;
    // With arrivals in another thread: true at once when a record is queued;
    // else waits for the next hand-over or the timeout, and answers false.
    bool waitForHandOver(std::chrono::microseconds timeout);

    // False while no adapter is plugged in: the calls then answer as the
    // vendor's library does without one (kAdapterMissing; nothing to read).
    virtual bool present() const { return true; }
    // Brings the queue up to the present before it is read.
    virtual void catchUp() {}
    // The register's bits the backend knows of only when asked.
    virtual std::uint8_t liveErrorFlags() { return 0; }
    // Called after a mask or filter changed.
    virtual void filtersChanged() {}
    // Called with nothing queued: waits for whatever may bring a record.
    virtual void waitForNext(Clock& clock, std::int64_t untilUs) = 0;
    // The free text of getInfo.
    virtual QString info() = 0;

private:
    struct Entry {
        std::uint32_t id = 0;
        std::uint8_t length = 0;
        std::uint8_t data[8] = {};
        std::int64_t atUs = 0;
        bool standard = false;  // an 11-bit identifier
    };

    // Changes a mask or filter under the lock: 1 when taken (the backend then
    // hears of it), 0 when refused.
    template <typename Change>
    std::int16_t changeFilters(const Change& change);
    // Null when every call comes from one thread.
    QMutex* guard() const { return m_guarded ? &m_mutex : nullptr; }

    const bool m_guarded;
    mutable QMutex m_mutex;
    QWaitCondition m_arrived;
    std::deque<Entry> m_queue;
    AcceptanceFilter m_filter;
    bool m_overflowed = false;
    std::uint8_t m_flags = 0;
    std::uint64_t m_dropped = 0;
    bool m_timeStamps = false;  // the calling thread's alone
};

}  // namespace tellvane
