#include "adapters/SerialBusAdapter.h"

#include "adapters/DeviceThread.h"
#include "can/AcceptanceFilter.h"
#include "can/CanMessage.h"
#include "core/Clock.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace tellvane {

Q_LOGGING_CATEGORY(lcSerialBus, "tellvane.can.serialbus")

namespace {

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

// What the device side tells the adapter outside the queue.
struct SerialBusAdapter::Shared {
    mutable QMutex mutex;  // guards lastError
    QString lastError;
    std::atomic<int> state{QCanBusDevice::UnconnectedState};
};

// The device's side, in the device thread.
class SerialBusAdapter::Worker final : public QObject, public PendingHandOver {
public:
    Worker(SerialBusAdapter& adapter, DeviceMaker maker, Options options, std::shared_ptr<Shared> shared,
           Clock& clock)
        : m_adapter(adapter), m_maker(std::move(maker)), m_options(options), m_shared(std::move(shared)),
          m_clock(clock)
    {
    }

    ~Worker() override
    {
        DeviceThread::instance().forget(this);
        dropDevice();
    }

    std::int16_t connectDevice()
    {
        if (!m_device) {
            QString error;
            m_device = m_maker ? m_maker(&error) : nullptr;
            if (!m_device) {
                noteError(error.isEmpty() ? QStringLiteral("no such CAN device") : error);
                return kAdapterMissing;
            }
            connect(m_device.get(), &QCanBusDevice::framesReceived, this,
                    [this] { DeviceThread::instance().handOverLater(this); });
            connect(m_device.get(), &QCanBusDevice::stateChanged, this,
                    [this](QCanBusDevice::CanBusDeviceState state) { m_shared->state = state; });
            connect(m_device.get(), &QCanBusDevice::errorOccurred, this, [this](QCanBusDevice::CanBusError) {
                if (m_device)
                    noteError(m_device->errorString());
            });
            configureDevice();
        }
        if (m_device->state() == QCanBusDevice::UnconnectedState && m_options.servesOthers && m_options.servesOthers())
            DeviceThread::instance().stayAwake();
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
    static constexpr int kClosingMs = 500;

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
        if (m_device->state() != QCanBusDevice::UnconnectedState) {
            m_device->disconnectDevice();
            // A device that closes gracefully (a socket writing out the frames
            // it still holds, as virtualcan's does) is given a moment for it:
            // the last frames a command sent must not be lost at its end.
            if (m_device->state() != QCanBusDevice::UnconnectedState) {
                QEventLoop closing;
                QTimer::singleShot(kClosingMs, &closing, &QEventLoop::quit);
                QObject::connect(m_device.get(), &QCanBusDevice::stateChanged, &closing, [&closing](QCanBusDevice::CanBusDeviceState state) {
                    if (state == QCanBusDevice::UnconnectedState)
                        closing.quit();
                });
                closing.exec();
            }
        }
        m_device.reset();
        m_shared->state = QCanBusDevice::UnconnectedState;
    }

    void noteError(const QString& error)
    {
        qCInfo(lcSerialBus) << "CAN device:" << error;
        QMutexLocker lock(&m_shared->mutex);
        m_shared->lastError = error;
    }

    // What the device read this turn, in one hand-over.
    void handOver() override
    {
        if (!m_device)
            return;
        const QList<QCanBusFrame> frames = m_device->readAllFrames();
        const std::int64_t arrivalUs = m_clock.nowMicroseconds();
        Intake intake(m_adapter);
        for (const QCanBusFrame& frame : frames)
            take(intake, frame, arrivalUs);
    }

    static void take(Intake& intake, const QCanBusFrame& frame, std::int64_t arrivalUs)
    {
        if (frame.frameType() == QCanBusFrame::ErrorFrame) {
            intake.raiseErrorFlags(flagsOfErrorFrame(frame));
            return;
        }
        if (frame.frameType() != QCanBusFrame::DataFrame || frame.hasLocalEcho() || frame.payload().size() > 8)
            return;
        // The frame's own time stamp, else the time of arrival.
        const QCanBusFrame::TimeStamp stamp = frame.timeStamp();
        std::int64_t us = stamp.seconds() * 1000000 + stamp.microSeconds();
        if (us == 0)
            us = arrivalUs;
        const QByteArray payload = frame.payload();
        intake.message(frame.frameId(), static_cast<std::uint8_t>(payload.size()),
                       reinterpret_cast<const std::uint8_t*>(payload.constData()), us, !frame.hasExtendedFrameFormat());
    }

    SerialBusAdapter& m_adapter;  // outlives the worker, which it deletes
    DeviceMaker m_maker;
    Options m_options;
    std::shared_ptr<Shared> m_shared;
    Clock& m_clock;
    std::unique_ptr<QCanBusDevice> m_device;
};

SerialBusAdapter::SerialBusAdapter(QString name, DeviceMaker maker, Options options, Clock& clock)
    : QueuedAdapter(Arrivals::InOtherThread), m_name(std::move(name)), m_options(options), m_clock(clock),
      m_maker(std::move(maker)), m_shared(std::make_shared<Shared>())
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
            m_worker = new Worker(*this, std::move(m_maker), m_options, m_shared, m_clock);
        call(*m_worker);
    });
}

namespace {
// Whether a virtualcan device on this interface will serve the bus itself:
// its port on this computer, and nobody listening there yet.
bool virtualBusUnserved(const QString& interfaceName)
{
    // As the plugin reads the interface: without a host, this computer; without a port, 35468.
    const QUrl url(interfaceName);
    const QHostAddress address =
        url.host().isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(url.host());
    if (!address.isLoopback())
        return false;
    QTcpSocket probe;
    probe.connectToHost(address, static_cast<quint16>(url.port(35468)));
    const bool answered = probe.waitForConnected(250);
    const bool refused = !answered && probe.error() == QAbstractSocket::ConnectionRefusedError;
    probe.abort();
    return refused;
}
}  // namespace

SerialBusAdapter::Options SerialBusAdapter::optionsForPlugin(const QString& plugin, const QString& interfaceName)
{
    Options options;
    if (plugin == QLatin1String("virtualcan"))
        options.servesOthers = [interfaceName] { return virtualBusUnserved(interfaceName); };
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

bool SerialBusAdapter::connected() const
{
    return m_shared->state == QCanBusDevice::ConnectedState;
}

std::int16_t SerialBusAdapter::ensureConnected(bool force)
{
    if (connected())
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
    const AcceptanceFilter f = QueuedAdapter::filters();
    for (int n = 0; n < AcceptanceFilter::kFilterCount; ++n) {
        QCanBusDevice::Filter filter;
        filter.frameIdMask = f.mask(n < 2 ? 0 : 1);
        filter.frameId = f.filter(n) & filter.frameIdMask;
        filter.type = QCanBusFrame::DataFrame;
        filter.format = QCanBusDevice::Filter::MatchBaseAndExtendedFormat;
        if (!filters.contains(filter))
            filters.append(filter);
    }
    inDevice([&](Worker& worker) { worker.setDeviceFilters(filters); });
}

std::int16_t SerialBusAdapter::resetInterface()
{
    const std::int16_t result = ensureConnected(true);
    resetQueue();
    if (result == 1)
        handFiltersToDevice();
    return result;
}

std::int16_t SerialBusAdapter::clearCanMess()
{
    if (!connected())
        return ensureConnected(false);
    return QueuedAdapter::clearCanMess();
}

std::int16_t SerialBusAdapter::setCanBaud(std::int32_t rateCode)
{
    if (!connected())
        return ensureConnected(false);
    if (rateCode != kBaud250k)
        return 0;
    inDevice([&](Worker& worker) { worker.setBitRate(); });
    return 1;
}

void SerialBusAdapter::filtersChanged()
{
    if (connected())
        handFiltersToDevice();
}

std::int16_t SerialBusAdapter::sendCanMess(std::uint32_t id, std::uint8_t /*mode*/, std::uint8_t length,
                                           const std::uint8_t* data)
{
    const std::int16_t connection = ensureConnected(false);
    if (connection != 1)
        return connection;
    if (length > 8)
        return kSendFailed;
    // Bit 31 marks an extended frame, as the vendor's library takes it.
    const bool extended = (id & can::kExtendedFrame) != 0;
    QCanBusFrame frame(id & (extended ? AcceptanceFilter::kIdBits : 0x7FFu),
                       QByteArray(reinterpret_cast<const char*>(data), data ? length : 0));
    frame.setExtendedFrameFormat(extended);
    bool written = false;
    inDevice([&](Worker& worker) { written = worker.write(frame); });
    return written ? 1 : kSendFailed;
}

void SerialBusAdapter::waitForNext(Clock& clock, std::int64_t untilUs)
{
    const std::int64_t now = clock.nowMicroseconds();
    if (untilUs <= now)
        return;
    QElapsedTimer waited;
    waited.start();
    {
        const DeviceThread::Prompt awake(DeviceThread::instance(), DeviceThread::Prompt::Wait);
        if (waitForHandOver(std::chrono::microseconds(untilUs - now)))
            return;
    }
    // The device thread runs on the real clock; a clock of the caller's own
    // (a test's) passes the time that really went by.
    clock.sleepUntilUs(std::min<std::int64_t>(untilUs, now + waited.nsecsElapsed() / 1000));
}

std::uint8_t SerialBusAdapter::liveErrorFlags()
{
    std::uint8_t live = 0;
    inDevice([&](Worker& worker) { live = worker.statusFlags(); });
    return live;
}

std::int16_t SerialBusAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    if (!connected())
        return kAdapterMissing;
    return QueuedAdapter::readReg(reg, count, buffer);
}

std::int16_t SerialBusAdapter::writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer)
{
    if (!connected())
        return kAdapterMissing;
    return QueuedAdapter::writeReg(reg, count, buffer);
}

QString SerialBusAdapter::info()
{
    QString text;
    inDevice([&](Worker& worker) { text = worker.info(); });
    return text.isEmpty() ? m_name : text;
}

}  // namespace tellvane
