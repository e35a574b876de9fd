#pragma once

#include "can/LinkInterfaces.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace tellvane {

class CanLink;

// The monitor's status panel as data: which interface tag and which
// error-flag tags are shown, "Buffer = 1500", and the messages in the adapter's
// buffer. The link writes it for every message, so the window hears of
// changes once per turn of the event loop, not once per message.
class MonitorStatus : public QObject, public LinkStatusView {
    Q_OBJECT

public:
    static constexpr int kErrorTimerMs = 2000;

    explicit MonitorStatus(CanLink& link, QObject* parent = nullptr);

    void showInterfaceState(InterfaceState state) override;
    void showErrorFlags(std::uint8_t flags) override;
    void showBufferOverflow(bool overflowed) override;
    void showMessagesInBuffer(int count) override;
    void enableErrorTimer() override;

    InterfaceState interfaceState() const { return m_state; }
    // InterfaceErrLabel index 0 to 3.
    bool interfaceLabelVisible(int index) const;
    // ErrLabelOK, and ErrLabel1 to ErrLabel7 by the bit they show.
    bool errorOkVisible() const { return m_flags.has_value() && *m_flags == 0; }
    bool errorBitVisible(int bit) const { return m_flags.has_value() && (*m_flags & (1u << bit)) != 0; }
    // ErrLabel8, "Buffer = 1500".
    bool bufferOverflowVisible() const { return m_overflow; }
    QString messagesInBuffer() const { return m_messagesInBuffer; }

    const QTimer& errorTimer() const { return m_errorTimer; }
    // CANErrorTimer: stop and clear the controller's error-flag register.
    void errorTimerTick();
    // A click on "Buffer = 1500": configure the adapter again, hide the tag.
    void bufferOverflowClicked();

    // Announces pending changes now (tests and the window's first paint).
    void flush();

signals:
    void changed();

private:
    void touch();

    CanLink& m_link;
    InterfaceState m_state = InterfaceState::NotChecked;
    std::optional<std::uint8_t> m_flags;
    bool m_overflow = false;
    QString m_messagesInBuffer;
    QTimer m_errorTimer;
    bool m_pending = false;
};

}  // namespace tellvane
