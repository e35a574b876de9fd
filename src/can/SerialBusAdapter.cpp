#include "can/SerialBusAdapter.h"

#include "can/AcceptanceFilter.h"
#include "can/AdapterRecord.h"
#include "core/Clock.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>

namespace tellvane {

Q_LOGGING_CATEGORY(lcSerialBus, "tellvane.can.serialbus")

namespace {

// The one thread of the process in which CAN devices live. It is made on first
// use and stopped when the application object goes.
class DeviceThread {
public:
    static DeviceThread& instance()
    {
        if (!s_instance) {
            s_instance = new DeviceThread;
            qAddPostRoutine(&DeviceThread::stop);
        }
        return *s_instance;
    }

    void run(const std::function<void()>& function)
    {
        if (QThread::currentThread() == &m_thread) {
            function();
            return;
        }
        QMetaObject::invokeMethod(m_anchor, function, Qt::BlockingQueuedConnection);
    }

private:
    DeviceThread()
    {
        m_thread.setObjectName(QStringLiteral("CAN devices"));
        m_anchor = new QObject;
        m_anchor->moveToThread(&m_thread);
        m_thread.start();
    }

    ~DeviceThread()
    {
        m_thread.quit();
        m_thread.wait();
        delete m_anchor;
    }

    static void stop()
    {
        delete s_instance;
        s_instance = nullptr;
    }

    static inline DeviceThread* s_instance = nullptr;
    QThread m_thread;
    QObject* m_anchor = nullptr;
};

std::uint8_t flagsOfStatus(QCanBusDevice::CanBusStatus status)
{
    switch (status) {
    case QCanBusDevice::CanBusStatus::Warning:
        return errorflag::kRxWarning | errorflag::kTxWarning;
    case QCanBusDevice::CanBusStatus::Error:
        return errorflag::kRxPassive | errorflag::kTxPassive;
    case QCanBusDevice::CanBusStatus::BusOff:
        return errorflag::kBusOff;
    default:
        return 0;
    }
}

// An error frame's controller state, in the layout SocketCAN gives it (byte 1).
std::uint8_t flagsOfErrorFrame(const QCanBusFrame& frame)
{
    std::uint8_t flags = 0;
    const QCanBusFrame::FrameErrors errors = frame.error();
    if (errors & QCanBusFrame::BusOffError)
        flags |= errorflag::kBusOff;
    if ((errors & QCanBusFrame::ControllerError) && frame.payload().size() > 1) {
        const auto state = static_cast<std::uint8_t>(frame.payload().at(1));
        if (state & 0x01)
            flags |= errorflag::kBuffer0;
        if (state & 0x04)
            flags |= errorflag::kRxWarning;
        if (state & 0x08)
            flags |= errorflag::kTxWarning;
        if (state & 0x10)
            flags |= errorflag::kRxPassive;
        if (state & 0x20)
            flags |= errorflag::kTxPassive;
    }
    return flags;
}

}  // namespace

struct SerialBusAdapter::Shared {
    struct Entry {
        std::uint32_t id = 0;
        std::uint8_t length = 0;
        std::uint8_t data[8] = {};
        std::uint32_t ticks = 0;
    };

    mutable QMutex mutex;
    QWaitCondition arrived;  // woken when frames join the queue
    std::deque<Entry> queue;
    AcceptanceFilter filter;
    bool overflowed = false;
    std::uint8_t flags = 0;  // raised by error frames and overflows until written
    std::uint64_t dropped = 0;
    QString lastError;
    std::atomic<int> state{QCanBusDevice::UnconnectedState};
};

// The device's side, in the device thread.
class SerialBusAdapter::Worker final : public QObject {
public:
    Worker(DeviceMaker maker, Options options, std::shared_ptr<Shared> shared, Clock& clock)
        : m_maker(std::move(maker)), m_options(options), m_shared(std::move(shared)), m_clock(clock)
    {
    }

    ~Worker() override { dropDevice(); }

    std::int16_t connectDevice()
    {
        if (!m_device) {
            QString error;
            m_device = m_maker ? m_maker(&error) : nullptr;
            if (!m_device) {
                noteError(error.isEmpty() ? QStringLiteral("no such CAN device") : error);
                return kAdapterMissing;
            }
            connect(m_device.get(), &QCanBusDevice::framesReceived, this, &Worker::takeFrames);
            connect(m_device.get(), &QCanBusDevice::stateChanged, this,
                    [this](QCanBusDevice::CanBusDeviceState state) { m_shared->state = state; });
            connect(m_device.get(), &QCanBusDevice::errorOccurred, this, [this](QCanBusDevice::CanBusError) {
                if (m_device)
                    noteError(m_device->errorString());
            });
            configureDevice();
        }
        if (m_device->state() == QCanBusDevice::UnconnectedState && !m_device->connectDevice()) {
            noteError(m_device->errorString());
            dropDevice();
            return kAdapterMissing;
        }
        if (m_device->state() == QCanBusDevice::ConnectingState && m_options.connectWaitMs > 0) {
            QEventLoop wait;
            QTimer timeout;
            timeout.setSingleShot(true);
            connect(&timeout, &QTimer::timeout, &wait, &QEventLoop::quit);
            connect(m_device.get(), &QCanBusDevice::stateChanged, &wait, &QEventLoop::quit);
            timeout.start(m_options.connectWaitMs);
            wait.exec();
        }
        m_shared->state = m_device->state();
        switch (m_device->state()) {
        case QCanBusDevice::ConnectedState:
            return 1;
        case QCanBusDevice::UnconnectedState:
            noteError(m_device->errorString());
            dropDevice();
            return kAdapterMissing;
        default:
            return kNoConnection;
        }
    }

    bool write(const QCanBusFrame& frame)
    {
        return m_device && m_device->state() == QCanBusDevice::ConnectedState && m_device->writeFrame(frame);
    }

    std::uint8_t statusFlags()
    {
        if (!m_device || m_device->state() != QCanBusDevice::ConnectedState || !m_device->hasBusStatus())
            return 0;
        return flagsOfStatus(m_device->busStatus());
    }

    void setBitRate()
    {
        if (m_device && m_options.setsBitRate
            && m_device->configurationParameter(QCanBusDevice::BitRateKey).toInt() != kBitRate)
            m_device->setConfigurationParameter(QCanBusDevice::BitRateKey, kBitRate);
    }

    void setDeviceFilters(const QList<QCanBusDevice::Filter>& filters)
    {
        if (!m_device || !m_options.filtersInDevice)
            return;
        const QVariant current = m_device->configurationParameter(QCanBusDevice::RawFilterKey);
        if (current.isValid() && current.value<QList<QCanBusDevice::Filter>>() == filters)
            return;
        m_device->setConfigurationParameter(QCanBusDevice::RawFilterKey, QVariant::fromValue(filters));
    }

    QString info() const
    {
        if (!m_device)
            return {};
        const QCanBusDeviceInfo info = m_device->deviceInfo();
        return info.description().isEmpty() ? info.name() : info.name() + QStringLiteral(" - ") + info.description();
    }

private:
    static constexpr int kBitRate = 250000;

    void configureDevice()
    {
        if (m_options.setsBitRate)
            m_device->setConfigurationParameter(QCanBusDevice::BitRateKey, kBitRate);
        if (m_options.filtersInDevice) {
            m_device->setConfigurationParameter(
                QCanBusDevice::ErrorFilterKey,
                QVariant::fromValue(QCanBusFrame::FrameErrors(QCanBusFrame::ControllerError | QCanBusFrame::BusOffError)));
        }
    }

    void dropDevice()
    {
        if (!m_device)
            return;
        m_device->disconnect(this);
        if (m_device->state() != QCanBusDevice::UnconnectedState)
            m_device->disconnectDevice();
        m_device.reset();
        m_shared->state = QCanBusDevice::UnconnectedState;
    }

    void noteError(const QString& error)
    {
        qCInfo(lcSerialBus) << "CAN device:" << error;
        QMutexLocker lock(&m_shared->mutex);
        m_shared->lastError = error;
    }

    void takeFrames()
    {
        if (!m_device)
            return;
        const QList<QCanBusFrame> frames = m_device->readAllFrames();
        const std::int64_t arrivalUs = m_clock.nowMicroseconds();
        QMutexLocker lock(&m_shared->mutex);
        const std::size_t before = m_shared->queue.size();
        for (const QCanBusFrame& frame : frames)
            take(frame, arrivalUs);
        if (m_shared->queue.size() != before)
            m_shared->arrived.wakeAll();
    }

    void take(const QCanBusFrame& frame, std::int64_t arrivalUs)
    {
        Shared& s = *m_shared;
        if (frame.frameType() == QCanBusFrame::ErrorFrame) {
            s.flags |= flagsOfErrorFrame(frame);
            return;
        }
        if (frame.frameType() != QCanBusFrame::DataFrame || frame.hasLocalEcho() || frame.payload().size() > 8)
            return;
        const auto buffer = s.filter.acceptingBuffer(frame.frameId());
        if (!buffer)
            return;
        if (s.queue.size() >= kQueueCapacity) {
            ++s.dropped;
            s.overflowed = true;
            s.flags |= AcceptanceFilter::overflowFlag(*buffer);
            return;
        }
        Shared::Entry entry;
        entry.id = frame.frameId() & AcceptanceFilter::kIdBits;
        const QByteArray payload = frame.payload();
        entry.length = static_cast<std::uint8_t>(payload.size());
        std::memcpy(entry.data, payload.constData(), entry.length);
        const QCanBusFrame::TimeStamp stamp = frame.timeStamp();
        std::int64_t us = stamp.seconds() * 1000000 + stamp.microSeconds();
        if (us == 0)
            us = arrivalUs;
        entry.ticks = static_cast<std::uint32_t>(us / 8) & record::kTimeStampMask;
        s.queue.push_back(entry);
    }

    DeviceMaker m_maker;
    Options m_options;
    std::shared_ptr<Shared> m_shared;
    Clock& m_clock;
    std::unique_ptr<QCanBusDevice> m_device;
};

SerialBusAdapter::SerialBusAdapter(QString name, DeviceMaker maker, Options options, Clock& clock)
    : m_name(std::move(name)), m_options(options), m_clock(clock), m_maker(std::move(maker)),
      m_shared(std::make_shared<Shared>())
{
}

SerialBusAdapter::~SerialBusAdapter()
{
    if (Worker* worker = m_worker)
        DeviceThread::instance().run([worker] { delete worker; });
}

void SerialBusAdapter::inDevice(const std::function<void(Worker&)>& call)
{
    // The device side starts with the first call that needs it, so that an
    // adapter made but never used costs no thread.
    DeviceThread::instance().run([&] {
        if (!m_worker)
            m_worker = new Worker(std::move(m_maker), m_options, m_shared, m_clock);
        call(*m_worker);
    });
}

SerialBusAdapter::Options SerialBusAdapter::optionsForPlugin(const QString& plugin)
{
    Options options;
    // SocketCAN takes its bit rate from "ip link" and filters in the kernel;
    // virtualcan has no bit rate; the adapters behind the other plugins take one.
    options.filtersInDevice = plugin == QLatin1String("socketcan");
    options.setsBitRate = plugin != QLatin1String("socketcan") && plugin != QLatin1String("virtualcan");
    return options;
}

SerialBusAdapter::DeviceMaker SerialBusAdapter::pluginDevice(const QString& plugin, const QString& interfaceName)
{
    return [plugin, interfaceName](QString* error) {
        QString reason;
        std::unique_ptr<QCanBusDevice> device(QCanBus::instance()->createDevice(plugin, interfaceName, &reason));
        if (!device && error)
            *error = reason.isEmpty() ? QStringLiteral("no CAN device %1:%2").arg(plugin, interfaceName) : reason;
        return device;
    };
}

void SerialBusAdapter::runInDeviceThread(const std::function<void()>& function)
{
    DeviceThread::instance().run(function);
}

QString SerialBusAdapter::lastError() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->lastError;
}

std::uint64_t SerialBusAdapter::dropped() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->dropped;
}

std::int16_t SerialBusAdapter::ensureConnected(bool force)
{
    if (m_shared->state == QCanBusDevice::ConnectedState)
        return 1;
    const std::int64_t now = m_clock.nowMicroseconds();
    if (!force && m_connectTried && now - m_lastConnectUs < std::int64_t{kReconnectIntervalMs} * 1000)
        return m_lastConnectResult;
    m_connectTried = true;
    m_lastConnectUs = now;
    std::int16_t result = kAdapterMissing;
    inDevice([&](Worker& worker) { result = worker.connectDevice(); });
    m_lastConnectResult = result;
    return result;
}

void SerialBusAdapter::handFiltersToDevice()
{
    if (!m_options.filtersInDevice)
        return;
    QList<QCanBusDevice::Filter> filters;
    {
        QMutexLocker lock(&m_shared->mutex);
        const AcceptanceFilter& f = m_shared->filter;
        for (int n = 0; n < AcceptanceFilter::kFilterCount; ++n) {
            QCanBusDevice::Filter filter;
            filter.frameIdMask = f.mask(n < 2 ? 0 : 1);
            filter.frameId = f.filter(n) & filter.frameIdMask;
            filter.type = QCanBusFrame::DataFrame;
            filter.format = QCanBusDevice::Filter::MatchBaseAndExtendedFormat;
            if (!filters.contains(filter))
                filters.append(filter);
        }
    }
    inDevice([&](Worker& worker) { worker.setDeviceFilters(filters); });
}

std::int16_t SerialBusAdapter::resetInterface()
{
    const std::int16_t result = ensureConnected(true);
    {
        QMutexLocker lock(&m_shared->mutex);
        m_shared->queue.clear();
        m_shared->overflowed = false;
        m_shared->flags &= static_cast<std::uint8_t>(~(errorflag::kBuffer0 | errorflag::kBuffer1));
        m_shared->filter.reset();
    }
    if (result == 1)
        handFiltersToDevice();
    return result;
}

std::int16_t SerialBusAdapter::clearCanMess()
{
    if (m_shared->state != QCanBusDevice::ConnectedState)
        return ensureConnected(false);
    QMutexLocker lock(&m_shared->mutex);
    m_shared->queue.clear();
    m_shared->overflowed = false;
    return 1;
}

std::int16_t SerialBusAdapter::setCanBaud(std::int32_t rateCode)
{
    if (m_shared->state != QCanBusDevice::ConnectedState)
        return ensureConnected(false);
    if (rateCode != kBaud250k)
        return 0;
    inDevice([&](Worker& worker) { worker.setBitRate(); });
    return 1;
}

std::int16_t SerialBusAdapter::recCanMess(std::uint32_t mask, std::uint8_t selector)
{
    return changeFilters([&](AcceptanceFilter& f) { return f.setMask(selector, mask); });
}

std::int16_t SerialBusAdapter::setFilters(std::uint8_t filter, std::uint32_t value)
{
    return changeFilters([&](AcceptanceFilter& f) { return f.setFilter(filter, value); });
}

std::int16_t SerialBusAdapter::changeFilters(const std::function<bool(AcceptanceFilter&)>& change)
{
    bool taken = false;
    {
        QMutexLocker lock(&m_shared->mutex);
        taken = change(m_shared->filter);
    }
    if (!taken)
        return 0;
    if (m_shared->state == QCanBusDevice::ConnectedState)
        handFiltersToDevice();
    return 1;
}

std::int16_t SerialBusAdapter::enableTs()
{
    m_timeStamps = true;
    return 1;
}

std::int16_t SerialBusAdapter::disableTs()
{
    m_timeStamps = false;
    return 1;
}

std::int16_t SerialBusAdapter::getCanMess(Record& record)
{
    Shared::Entry entry;
    bool overflowed = false;
    {
        QMutexLocker lock(&m_shared->mutex);
        if (m_shared->queue.empty())
            return 0;
        entry = m_shared->queue.front();
        m_shared->queue.pop_front();
        overflowed = m_shared->overflowed;
    }
    std::optional<std::uint32_t> ticks;
    if (m_timeStamps)
        ticks = entry.ticks;
    record = encodeRecord(entry.id, entry.length, entry.data, overflowed ? record::kStatusOverflow : 0, ticks);
    return 1;
}

std::int16_t SerialBusAdapter::getNumCanMess()
{
    QMutexLocker lock(&m_shared->mutex);
    return static_cast<std::int16_t>(std::min<std::size_t>(m_shared->queue.size(), 32767));
}

std::int16_t SerialBusAdapter::sendCanMess(std::uint32_t id, std::uint8_t /*mode*/, std::uint8_t length,
                                           const std::uint8_t* data)
{
    const std::int16_t connected = ensureConnected(false);
    if (connected != 1)
        return connected;
    if (length > 8)
        return kSendFailed;
    QCanBusFrame frame(id & AcceptanceFilter::kIdBits,
                       QByteArray(reinterpret_cast<const char*>(data), data ? length : 0));
    frame.setExtendedFrameFormat(true);
    bool written = false;
    inDevice([&](Worker& worker) { written = worker.write(frame); });
    return written ? 1 : kSendFailed;
}

void SerialBusAdapter::waitForRecords(Clock& clock, std::int64_t untilUs)
{
    const std::int64_t now = clock.nowMicroseconds();
    if (untilUs <= now)
        return;
    QElapsedTimer waited;
    waited.start();
    {
        QMutexLocker lock(&m_shared->mutex);
        if (!m_shared->queue.empty())
            return;
        m_shared->arrived.wait(&m_shared->mutex,
                               QDeadlineTimer(std::chrono::microseconds(untilUs - now), Qt::PreciseTimer));
    }
    // The device thread runs on the real clock; a clock of the caller's own
    // (a test's) passes the time that really went by.
    clock.sleepUntilUs(std::min<std::int64_t>(untilUs, now + waited.nsecsElapsed() / 1000));
}

std::int16_t SerialBusAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    if (m_shared->state != QCanBusDevice::ConnectedState)
        return kAdapterMissing;
    if (reg != kErrorFlagRegister || count != 1 || !buffer)
        return 0;
    std::uint8_t live = 0;
    inDevice([&](Worker& worker) { live = worker.statusFlags(); });
    QMutexLocker lock(&m_shared->mutex);
    *buffer = static_cast<std::uint8_t>(m_shared->flags | live);
    return 1;
}

std::int16_t SerialBusAdapter::writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer)
{
    if (m_shared->state != QCanBusDevice::ConnectedState)
        return kAdapterMissing;
    if (reg != kErrorFlagRegister || count != 1 || !buffer)
        return 0;
    QMutexLocker lock(&m_shared->mutex);
    m_shared->flags = *buffer;
    return 1;
}

std::int16_t SerialBusAdapter::getInfo(char* buffer, std::int32_t size)
{
    if (!buffer || size <= 0)
        return 0;
    QString text;
    inDevice([&](Worker& worker) { text = worker.info(); });
    if (text.isEmpty())
        text = m_name;
    const QByteArray bytes = text.toLatin1();
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(size) - 1, static_cast<std::size_t>(bytes.size()));
    std::memcpy(buffer, bytes.constData(), n);
    buffer[n] = '\0';
    return 1;
}

}  // namespace tellvane
