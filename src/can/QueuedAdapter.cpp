#include "can/QueuedAdapter.h"

#include "can/AdapterRecord.h"
#include "core/Clock.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cstring>

namespace tellvane {

QueuedAdapter::QueuedAdapter(Arrivals arrivals) : m_guarded(arrivals == Arrivals::InOtherThread) {}

QueuedAdapter::Intake::Intake(QueuedAdapter& adapter)
    : m_adapter(adapter), m_lock(adapter.guard()), m_before(adapter.m_queue.size())
{
}

QueuedAdapter::Intake::~Intake()
{
    if (m_adapter.m_guarded && m_adapter.m_queue.size() != m_before)
        m_adapter.m_arrived.wakeAll();
}

void QueuedAdapter::Intake::message(std::uint32_t id, std::uint8_t length, const std::uint8_t* data,
                                    std::int64_t atUs, bool standard)
{
    QueuedAdapter& a = m_adapter;
    const auto buffer = a.m_filter.acceptingBuffer(id);
    if (!buffer)
        return;
    if (a.m_queue.size() >= kQueueCapacity) {
        ++a.m_dropped;
        a.m_overflowed = true;
        a.m_flags |= AcceptanceFilter::overflowFlag(*buffer);
        return;
    }
    Entry& entry = a.m_queue.emplace_back();
    entry.id = id & AcceptanceFilter::kIdBits;
    entry.length = std::min<std::uint8_t>(length, sizeof entry.data);
    if (data && entry.length > 0)
        std::memcpy(entry.data, data, entry.length);
    entry.atUs = atUs;
    entry.standard = standard;
}

void QueuedAdapter::Intake::raiseErrorFlags(std::uint8_t flags)
{
    m_adapter.m_flags |= flags;
}

std::uint64_t QueuedAdapter::dropped() const
{
    QMutexLocker lock(guard());
    return m_dropped;
}

std::size_t QueuedAdapter::queued() const
{
    QMutexLocker lock(guard());
    return m_queue.size();
}

std::uint8_t QueuedAdapter::errorFlags() const
{
    QMutexLocker lock(guard());
    return m_flags;
}

std::optional<int> QueuedAdapter::acceptingBuffer(std::uint32_t id) const
{
    QMutexLocker lock(guard());
    return m_filter.acceptingBuffer(id);
}

AcceptanceFilter QueuedAdapter::filters() const
{
    QMutexLocker lock(guard());
    return m_filter;
}

bool QueuedAdapter::hasRecords() const
{
    return queued() != 0;
}

void QueuedAdapter::raiseErrorFlags(std::uint8_t flags)
{
    QMutexLocker lock(guard());
    m_flags |= flags;
}

void QueuedAdapter::resetQueue()
{
    QMutexLocker lock(guard());
    m_queue.clear();
    m_overflowed = false;
    m_flags &= static_cast<std::uint8_t>(~(errorflag::kBuffer0 | errorflag::kBuffer1));
    m_filter.reset();
}

std::int16_t QueuedAdapter::clearCanMess()
{
    if (!present())
        return kAdapterMissing;
    catchUp();
    QMutexLocker lock(guard());
    m_queue.clear();
    m_overflowed = false;
    return 1;
}

template <typename Change>
std::int16_t QueuedAdapter::changeFilters(const Change& change)
{
    if (!present())
        return kAdapterMissing;
    bool taken = false;
    {
        QMutexLocker lock(guard());
        taken = change(m_filter);
    }
    if (!taken)
        return 0;
    filtersChanged();
    return 1;
}

std::int16_t QueuedAdapter::recCanMess(std::uint32_t mask, std::uint8_t selector)
{
    return changeFilters([&](AcceptanceFilter& f) { return f.setMask(selector, mask); });
}

std::int16_t QueuedAdapter::setFilters(std::uint8_t filter, std::uint32_t value)
{
    return changeFilters([&](AcceptanceFilter& f) { return f.setFilter(filter, value); });
}

std::int16_t QueuedAdapter::enableTs()
{
    m_timeStamps = true;
    return present() ? 1 : kAdapterMissing;
}

std::int16_t QueuedAdapter::disableTs()
{
    m_timeStamps = false;
    return present() ? 1 : kAdapterMissing;
}

std::int16_t QueuedAdapter::getCanMess(Record& record)
{
    if (!present())
        return 0;
    catchUp();
    Entry entry;
    bool overflowed = false;
    {
        QMutexLocker lock(guard());
        if (m_queue.empty())
            return 0;
        entry = m_queue.front();
        m_queue.pop_front();
        overflowed = m_overflowed;
    }
    std::optional<std::uint32_t> ticks;
    if (m_timeStamps)
        ticks = static_cast<std::uint32_t>(entry.atUs / 8);
    record = encodeRecord(entry.id, entry.length, entry.data, overflowed ? record::kStatusOverflow : 0, ticks,
                          entry.standard);
    return 1;
}

std::int16_t QueuedAdapter::getNumCanMess()
{
    if (!present())
        return 0;
    catchUp();
    return static_cast<std::int16_t>(std::min<std::size_t>(queued(), 32767));
}

std::int16_t QueuedAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    if (!present())
        return kAdapterMissing;
    if (reg != kErrorFlagRegister || count != 1 || !buffer)
        return 0;
    catchUp();
    // Asked before the lock is taken: a backend may ask its device thread,
    // which takes the lock to hand frames over.
    const std::uint8_t live = liveErrorFlags();
    QMutexLocker lock(guard());
    *buffer = static_cast<std::uint8_t>(m_flags | live);
    return 1;
}

std::int16_t QueuedAdapter::writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer)
{
    if (!present())
        return kAdapterMissing;
    if (reg != kErrorFlagRegister || count != 1 || !buffer)
        return 0;
    QMutexLocker lock(guard());
    m_flags = *buffer;
    return 1;
}

std::int16_t QueuedAdapter::getInfo(char* buffer, std::int32_t size)
{
    if (!buffer || size <= 0)
        return 0;
    const QByteArray text = info().toLatin1();
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(size) - 1, static_cast<std::size_t>(text.size()));
    std::memcpy(buffer, text.constData(), n);
    buffer[n] = '\0';
    return 1;
}

void QueuedAdapter::waitForRecords(Clock& clock, std::int64_t untilUs)
{
    if (!present())
        return Adapter::waitForRecords(clock, untilUs);
    catchUp();
    if (hasRecords())
        return;
    waitForNext(clock, untilUs);
}

bool QueuedAdapter::waitForHandOver(std::chrono::microseconds timeout)
{
    Q_ASSERT(m_guarded);
    QMutexLocker lock(guard());
    if (!m_queue.empty())
        return true;
    m_arrived.wait(&m_mutex, QDeadlineTimer(timeout, Qt::PreciseTimer));
    return false;
}

}  // namespace tellvane
