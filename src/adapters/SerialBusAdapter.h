#pragma once

#include "can/QueuedAdapter.h"

#include <QString>

#include <functional>
#include <memory>

class QCanBusDevice;

namespace tellvane {

class Clock;

// The adapter calls on a Qt CAN bus device (SocketCAN, PEAK, TinyCAN, PassThru,
// virtualcan, ...).
//
// The device lives in a thread of its own, shared by every device of the
// process, so that frames keep arriving while the window thread waits in a
// blocking dialogue, as they do in a USB adapter's own buffer. What the device
// receives is handed over in that thread to the queue of QueuedAdapter, once
// per turn of the thread. While nothing waits on it, the thread rests up to
// 10 ms between turns, so a busy bus costs a wake per batch, not per frame;
// it stays awake while its process waits for records (a board's dialogue)
// and in a process that serves a virtual bus to others.
//
// Mapping of the calls:
// - resetInterface connects the device (a device that cannot be made or
//   opened gives -4; one still connecting gives -1), empties the queue and
//   opens the filters.
// - setCanBaud(250) sets 250000 bit/s where the plugin takes a bit rate; on
//   others (SocketCAN, virtualcan) the rate is set outside the program.
// - the masks and filters always act in the adapter; where the plugin filters
//   itself (SocketCAN) they are handed to it as well.
// - time stamps: the frame's own, else the time of arrival, as a 24-bit count
//   of 8 us ticks. A plugin that stamps a frame when it reads it (virtualcan)
//   gives the frames of one turn one time.
// - register 45: the device's bus status (warning 0x06, error passive 0x18,
//   bus off 0x20), plus what error frames and queue overflows raised since the
//   register was last written.
// - sendCanMess: 1 when the device took the frame, 0 when it refused it, -4
//   when there is no device, -1 while it is not connected. Every identifier
//   goes out as a 29-bit extended frame. A device that is not connected is
//   connected again at most once a second.
class SerialBusAdapter final : public QueuedAdapter {
public:
    static constexpr int kConnectWaitMs = 250;
    static constexpr int kReconnectIntervalMs = 1000;

    // Makes the device, in the device thread; null with a reason when it cannot.
    using DeviceMaker = std::function<std::unique_ptr<QCanBusDevice>(QString* error)>;

    struct Options {
        bool setsBitRate = false;       // the plugin takes BitRateKey
        bool filtersInDevice = false;   // the plugin takes RawFilterKey and ErrorFilterKey
        int connectWaitMs = kConnectWaitMs;  // how long a connection may take before -1
        // Asked in the device thread before each connection: true when the
        // device is about to carry other processes' frames, as the first
        // virtualcan device on a loopback port does (its process serves the
        // bus). The device thread then never rests: their dialogues wait on it.
        std::function<bool()> servesOthers;
    };

    SerialBusAdapter(QString name, DeviceMaker maker, Options options, Clock& clock);
    ~SerialBusAdapter() override;

    SerialBusAdapter(const SerialBusAdapter&) = delete;
    SerialBusAdapter& operator=(const SerialBusAdapter&) = delete;

    // The options that suit a plugin of Qt's SerialBus module and interface.
    static Options optionsForPlugin(const QString& plugin, const QString& interfaceName = QString());
    // A maker for a plugin's interface through QCanBus.
    static DeviceMaker pluginDevice(const QString& plugin, const QString& interfaceName);

    // Runs a function in the thread of the CAN devices and waits for it.
    static void runInDeviceThread(const std::function<void()>& function);

    // The last reason the device could not be made or connected.
    QString lastError() const;

    std::int16_t resetInterface() override;
    // These need the device connected: else the first three try to connect
    // (at most once a second) and the register calls answer -4.
    std::int16_t clearCanMess() override;
    std::int16_t setCanBaud(std::int32_t rateCode) override;
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                             const std::uint8_t* data) override;
    std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) override;
    std::int16_t writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer) override;

    QString name() const override { return m_name; }

protected:
    std::uint8_t liveErrorFlags() override;
    // A change that is taken goes on to the device when it is connected.
    void filtersChanged() override;
    // Sleeps until the device thread queues a frame (or the time is up).
    void waitForNext(Clock& clock, std::int64_t untilUs) override;
    QString info() override;

private:
    class Worker;
    struct Shared;

    bool connected() const;
    // Connects when the device is not; rate-limited unless forced.
    std::int16_t ensureConnected(bool force);
    void handFiltersToDevice();
    // Runs a call on the device side, in the device thread.
    void inDevice(const std::function<void(Worker&)>& call);

    QString m_name;
    Options m_options;
    Clock& m_clock;
    DeviceMaker m_maker;  // handed to the device side when it starts
    std::shared_ptr<Shared> m_shared;
    Worker* m_worker = nullptr;  // lives in the device thread
    std::int16_t m_lastConnectResult = kAdapterMissing;
    std::int64_t m_lastConnectUs = 0;
    bool m_connectTried = false;
};

}  // namespace tellvane
