#include "adapters/SlcanAdapter.h"

#include "adapters/DeviceThread.h"
#include "can/AcceptanceFilter.h"
#include "can/CanMessage.h"
#include "core/Clock.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPort>

#include <algorithm>
#include <atomic>

namespace tellvane {

Q_LOGGING_CATEGORY(lcSlcan, "tellvane.can.slcan")

namespace {

// QSerialPort keeps what it has not written yet without a limit; an adapter
// that stops reading must not make the program's memory grow. A full bus of
// frames takes a few hundred milliseconds of this.
constexpr qint64 kMostPendingBytes = 64 * 1024;
constexpr int kClosingMs = 500;

class QtSerialLine final : public SerialLine {
public:
    explicit QtSerialLine(const QString& portName)
    {
        m_port.setPortName(portName);
        QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { notifyReadable(); });
        // Told once, after the port's own handling of the error: closing it
        // from inside that handling fails again and again.
        QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port, [this](QSerialPort::SerialPortError error) {
            if (error != QSerialPort::ResourceError || m_lost)
                return;
            m_lost = true;
            QMetaObject::invokeMethod(
                &m_port, [this, reason = m_port.errorString()] { notifyLost(reason); }, Qt::QueuedConnection);
        });
    }

    bool open(QString* error) override
    {
        if (m_port.isOpen())
            return true;
        m_port.setBaudRate(QSerialPort::Baud115200);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        m_lost = false;
        if (!m_port.open(QIODevice::ReadWrite)) {
            if (error)
                *error = m_port.errorString();
            return false;
        }
        // What an earlier session left is of no use to this one.
        m_port.clear(QSerialPort::Input);
        return true;
    }

    void close() override
    {
        if (!m_port.isOpen())
            return;
        if (!m_lost && m_port.bytesToWrite() > 0)
            m_port.waitForBytesWritten(kClosingMs);
        m_port.close();
    }

    bool write(const QByteArray& bytes) override
    {
        if (!m_port.isOpen() || m_port.bytesToWrite() + bytes.size() > kMostPendingBytes)
            return false;
        if (m_port.write(bytes) != bytes.size())
            return false;
        m_port.flush();  // out now, not at the thread's next turn
        return true;
    }

    QByteArray readAvailable() override { return m_port.readAll(); }

private:
    QSerialPort m_port;
    bool m_lost = false;
};

QByteArray asBytes(std::string_view text)
{
    return {text.data(), static_cast<qsizetype>(text.size())};
}

}  // namespace

// What the device side tells the adapter outside the queue.
struct SlcanAdapter::Shared {
    mutable QMutex mutex;  // guards lastError and counters
    QString lastError;
    slcan::Counters counters;
    std::atomic<bool> open{false};
};

// The port's side, in the device thread.
class SlcanAdapter::Worker final : public PendingHandOver {
public:
    Worker(SlcanAdapter& adapter, LineMaker maker, std::shared_ptr<Shared> shared, Clock& clock)
        : m_adapter(adapter), m_maker(std::move(maker)), m_shared(std::move(shared)), m_clock(clock)
    {
    }

    ~Worker()
    {
        DeviceThread::instance().forget(this);
        if (m_line && m_shared->open) {
            // The adapter off the bus as the program leaves it; refused, there
            // is nothing more to do about it.
            if (!m_line->write(asBytes(slcan::kClose)))
                qCInfo(lcSlcan) << "slcan port: the closing command was not taken";
            m_line->close();
        }
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Opens the port when it is not, then puts the adapter on the bus afresh.
    std::int16_t open()
    {
        if (!m_line) {
            m_line = m_maker ? m_maker() : nullptr;
            if (!m_line) {
                noteError(QStringLiteral("no serial port"));
                return kAdapterMissing;
            }
            m_line->setListener({[this] { DeviceThread::instance().handOverLater(this); },
                                 [this](const QString& reason) { lost(reason); }});
        }
        if (!m_shared->open) {
            QString error;
            if (!m_line->open(&error)) {
                noteError(error);
                return kAdapterMissing;
            }
            m_shared->open = true;
            m_reader.reset();
            publishCounters();
        }
        m_lastCountMs = -1;  // the adapter's time stamps start again with "O"
        m_status = 0;
        const QByteArray opening[] = {asBytes(slcan::kClose), slcan::bitrateLine(kBitRate),
                                      asBytes(slcan::kTimeStampsOn), asBytes(slcan::kOpen)};
        for (const QByteArray& line : opening) {
            if (!m_line->write(line)) {
                lost(QStringLiteral("the serial port takes no commands"));
                return kAdapterMissing;
            }
        }
        return 1;
    }

    bool write(const QByteArray& line) { return m_shared->open && m_line->write(line); }

    // Asks for the status and answers what the last answer said.
    std::uint8_t statusFlags()
    {
        if (!m_shared->open)
            return 0;
        // Refused, the answer does not come and the last one stands; a lost
        // port is told by its error.
        if (!m_line->write(asBytes(slcan::kReadStatus)))
            qCInfo(lcSlcan) << "slcan port: the status request was not taken";
        std::uint8_t flags = 0;
        if (m_status & slcan::status::kErrorWarning)
            flags |= errorflag::kRxWarning | errorflag::kTxWarning;
        if (m_status & slcan::status::kErrorPassive)
            flags |= errorflag::kRxPassive | errorflag::kTxPassive;
        return flags;
    }

private:
    // How far the arrival of a batch may lag behind the adapter's stamps of it.
    static constexpr std::int64_t kArrivalSpreadMs = 1000;

    void lost(const QString& reason)
    {
        if (!m_shared->open)
            return;
        noteError(reason);
        m_shared->open = false;
        m_line->close();
    }

    void noteError(const QString& error)
    {
        qCInfo(lcSlcan) << "slcan port:" << error;
        QMutexLocker lock(&m_shared->mutex);
        m_shared->lastError = error;
    }

    void publishCounters()
    {
        QMutexLocker lock(&m_shared->mutex);
        m_shared->counters = m_reader.counters();
    }

    // What the port read this turn, in one hand-over.
    void handOver() override
    {
        if (!m_shared->open)
            return;
        const QByteArray bytes = m_line->readAvailable();
        if (bytes.isEmpty())
            return;
        const std::int64_t arrivalUs = m_clock.nowMicroseconds();
        {
            Intake intake(m_adapter);
            m_reader.feed(std::span<const char>(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                          [&](const slcan::Item& item) { take(intake, item, arrivalUs); });
        }
        publishCounters();
    }

    void take(Intake& intake, const slcan::Item& item, std::int64_t arrivalUs)
    {
        if (item.kind == slcan::ItemKind::Status) {
            m_status = item.status;
            if (item.status & (slcan::status::kDataOverrun | slcan::status::kReceiveFifoFull))
                intake.raiseErrorFlags(errorflag::kBuffer0);
            return;
        }
        if (item.kind != slcan::ItemKind::Frame)
            return;
        const slcan::Frame& frame = item.frame;
        const std::int64_t atUs = stampUs(frame.timeStampMs, arrivalUs);
        intake.message(frame.id, frame.length, frame.data.data(), atUs, !frame.extended);
    }

    // The adapter's time on the clock: its milliseconds carried on from the
    // previous frame, counted from where the first stamp arrived. A stamp that
    // would lie after its own arrival moves that start back (the first frame
    // was late), so the time keeps to the quickest arrivals.
    std::int64_t stampUs(int stampMs, std::int64_t arrivalUs)
    {
        if (stampMs < 0)
            return arrivalUs;
        std::int64_t countMs = stampMs;
        if (m_lastCountMs < 0) {
            m_originUs = arrivalUs - countMs * 1000;
        } else {
            std::int64_t fromMs = m_lastCountMs;
            // The stamps repeat every minute: after a silence that long the
            // arrival tells roughly how many minutes went by.
            const std::int64_t silenceMs = (arrivalUs - m_lastArrivalUs) / 1000;
            if (silenceMs >= slcan::kTimeStampPeriodMs - kArrivalSpreadMs)
                fromMs = m_lastCountMs + silenceMs - kArrivalSpreadMs;
            countMs = slcan::unwrapTimeStamp(fromMs, stampMs);
        }
        m_lastCountMs = countMs;
        m_lastArrivalUs = arrivalUs;
        m_originUs = std::min(m_originUs, arrivalUs - countMs * 1000);
        return m_originUs + countMs * 1000;
    }

    SlcanAdapter& m_adapter;  // outlives the worker, which it deletes
    LineMaker m_maker;
    std::shared_ptr<Shared> m_shared;
    Clock& m_clock;
    std::unique_ptr<SerialLine> m_line;
    slcan::LineReader m_reader;
    std::uint8_t m_status = 0;  // the last "Fxx"
    std::int64_t m_lastCountMs = -1;
    std::int64_t m_lastArrivalUs = 0;
    std::int64_t m_originUs = 0;
};

SlcanAdapter::SlcanAdapter(QString portName, LineMaker maker, Clock& clock)
    : QueuedAdapter(Arrivals::InOtherThread), m_name(QStringLiteral("slcan:") + portName), m_clock(clock),
      m_maker(std::move(maker)), m_shared(std::make_shared<Shared>())
{
}

SlcanAdapter::~SlcanAdapter()
{
    if (Worker* worker = m_worker)
        DeviceThread::instance().run([worker] { delete worker; });
}

SlcanAdapter::LineMaker SlcanAdapter::serialPort(const QString& portName)
{
    return [portName] { return std::make_unique<QtSerialLine>(portName); };
}

void SlcanAdapter::inDevice(const std::function<void(Worker&)>& call)
{
    DeviceThread::instance().run([&] {
        if (!m_worker)
            m_worker = new Worker(*this, std::move(m_maker), m_shared, m_clock);
        call(*m_worker);
    });
}

slcan::Counters SlcanAdapter::counters() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->counters;
}

QString SlcanAdapter::lastError() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->lastError;
}

bool SlcanAdapter::present() const
{
    return m_shared->open;
}

std::int16_t SlcanAdapter::ensureOpen(bool force)
{
    if (!force && present())
        return 1;
    const std::int64_t now = m_clock.nowMicroseconds();
    if (!force && m_openTried && now - m_lastOpenUs < std::int64_t{kReconnectIntervalMs} * 1000)
        return kAdapterMissing;
    m_openTried = true;
    m_lastOpenUs = now;
    std::int16_t result = kAdapterMissing;
    inDevice([&](Worker& worker) { result = worker.open(); });
    return result;
}

std::int16_t SlcanAdapter::resetInterface()
{
    const std::int16_t result = ensureOpen(true);
    resetQueue();
    return result;
}

std::int16_t SlcanAdapter::clearCanMess()
{
    if (!present())
        return ensureOpen(false);
    return QueuedAdapter::clearCanMess();
}

std::int16_t SlcanAdapter::setCanBaud(std::int32_t rateCode)
{
    if (!present())
        return ensureOpen(false);
    // The rate was set when the adapter went on the bus.
    return rateCode == kBaud250k ? 1 : 0;
}

std::int16_t SlcanAdapter::sendCanMess(std::uint32_t id, std::uint8_t /*mode*/, std::uint8_t length,
                                       const std::uint8_t* data)
{
    const std::int16_t open = ensureOpen(false);
    if (open != 1)
        return open;
    if (length > 8)
        return kSendFailed;
    // Bit 31 marks an extended frame, as the vendor's library takes it.
    slcan::Frame frame;
    frame.extended = (id & can::kExtendedFrame) != 0;
    frame.id = id & (frame.extended ? AcceptanceFilter::kIdBits : 0x7FFu);
    frame.length = data ? length : 0;
    std::copy_n(data ? data : frame.data.data(), frame.length, frame.data.begin());
    const QByteArray line = slcan::frameLine(frame);
    bool written = false;
    inDevice([&](Worker& worker) { written = worker.write(line); });
    return written ? 1 : kSendFailed;
}

std::int16_t SlcanAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    // The link's status poll: what opens a port plugged in again while nothing is sent.
    if (!present() && ensureOpen(false) != 1)
        return kAdapterMissing;
    return QueuedAdapter::readReg(reg, count, buffer);
}

std::uint8_t SlcanAdapter::liveErrorFlags()
{
    std::uint8_t live = 0;
    inDevice([&](Worker& worker) { live = worker.statusFlags(); });
    return live;
}

void SlcanAdapter::waitForNext(Clock& clock, std::int64_t untilUs)
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

}  // namespace tellvane
