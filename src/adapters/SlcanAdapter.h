#pragma once

#include "adapters/SlcanProtocol.h"
#include "can/QueuedAdapter.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace tellvane {

class Clock;

// A serial port as the slcan adapter uses it: QSerialPort in the program, a
// scripted one in the tests. It lives in the device thread and tells its
// listener there when bytes arrive and when the port is lost (unplugged).
class SerialLine {
public:
    struct Listener {
        std::function<void()> readable;
        std::function<void(const QString& reason)> lost;
    };

    virtual ~SerialLine() = default;

    // False with the reason when the port cannot be opened.
    virtual bool open(QString* error) = 0;
    // Writes out what is still pending first.
    virtual void close() = 0;
    // False when the bytes were not all taken.
    virtual bool write(const QByteArray& bytes) = 0;
    // What arrived since the last read.
    virtual QByteArray readAvailable() = 0;

    void setListener(Listener listener) { m_listener = std::move(listener); }

protected:
    void notifyReadable() const
    {
        if (m_listener.readable)
            m_listener.readable();
    }
    void notifyLost(const QString& reason) const
    {
        if (m_listener.lost)
            m_listener.lost(reason);
    }

private:
    Listener m_listener;
};

// The adapter calls on a USB adapter that speaks the serial-line CAN protocol
// (slcan: CANable, USBtin, Lawicel CANUSB and the like) on a serial port.
//
// The port lives in the thread of the CAN devices (DeviceThread), not in the
// window thread: a full bus brings 1,908 frames and some 60 kB a second, the
// kernel keeps only a few kilobytes of a serial port's input, and the window
// thread may be held for long stretches (a board's dialogue waits in
// waitForRecords, a drain yields to windows). In the device thread the bytes
// are read and parsed as they come, in batches of a turn, and what they bring
// is queued in QueuedAdapter's buffer as a USB adapter's own buffer keeps it.
//
// Mapping of the calls:
// - resetInterface opens the port (115200 8N1; the USB adapters ignore the
//   rate), then writes "C" (in case the channel was left open), "S5"
//   (250 kbit/s), "Z1" (time stamps) and "O", without waiting for answers: an
//   adapter that refuses time stamps (BEL) has its frames stamped on arrival.
//   A port that cannot be opened gives -4; the queue is emptied and the
//   filters opened.
// - sendCanMess writes a "t" or "T" line (bit 31 of the identifier asks for
//   a 29-bit frame): 1 when the port took it, 0 when it did not or the length
//   is above 8, -4 without a port.
// - received frames: the adapter's time stamp (milliseconds, starting again
//   every minute) carried on from the previous frame's and tied to the
//   arrival time after a silence of a minute or more; without one, the time
//   of arrival. Remote frames, answers and lines that are no frame are counted
//   and left out.
// - register 45: each read sends "F"; the last "Fxx" answer gives the error
//   warning (0x06) and error passive (0x18) bits. Overruns in the adapter
//   raise the overflow bit of buffer 0 until the register is written. The
//   protocol has no bus-off bit.
// - a port that is lost (ResourceError: unplugged) makes every call answer as
//   without an adapter (-4, nothing to read); it is opened again, at most once
//   a second, by the calls that need it (the link's status poll among them,
//   so a monitor that only listens gets it back), by resetInterface at once.
class SlcanAdapter final : public QueuedAdapter {
public:
    static constexpr int kReconnectIntervalMs = 1000;
    static constexpr int kBitRate = 250000;

    // Makes the port, in the device thread.
    using LineMaker = std::function<std::unique_ptr<SerialLine>()>;

    SlcanAdapter(QString portName, LineMaker maker, Clock& clock);
    ~SlcanAdapter() override;

    SlcanAdapter(const SlcanAdapter&) = delete;
    SlcanAdapter& operator=(const SlcanAdapter&) = delete;

    // QSerialPort on the named port ("/dev/ttyACM0", "COM3").
    static LineMaker serialPort(const QString& portName);

    // What the adapter sent since the port was last opened, line by line.
    slcan::Counters counters() const;
    // The last reason the port could not be opened or was lost.
    QString lastError() const;

    std::int16_t resetInterface() override;
    // Without a port these try to open it (at most once a second).
    std::int16_t clearCanMess() override;
    std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) override;
    std::int16_t setCanBaud(std::int32_t rateCode) override;
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                             const std::uint8_t* data) override;

    QString name() const override { return m_name; }

protected:
    bool present() const override;
    std::uint8_t liveErrorFlags() override;
    void waitForNext(Clock& clock, std::int64_t untilUs) override;
    QString info() override { return m_name; }

private:
    class Worker;
    struct Shared;

    // Opens the port when it is not; rate-limited unless forced.
    std::int16_t ensureOpen(bool force);
    void inDevice(const std::function<void(Worker&)>& call);

    QString m_name;
    Clock& m_clock;
    LineMaker m_maker;  // handed to the device side when it starts
    std::shared_ptr<Shared> m_shared;
    Worker* m_worker = nullptr;  // lives in the device thread
    std::int64_t m_lastOpenUs = 0;
    bool m_openTried = false;
};

}  // namespace tellvane
