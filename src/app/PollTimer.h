#pragma once

#include "can/LinkInterfaces.h"

#include <QObject>
#include <QTimer>

namespace tellvane {

class CanLink;

// CheckCANStatusTimer: every 25 ms one poll of the link.
class PollTimer : public QObject, public PollControl {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 25;

    explicit PollTimer(CanLink& link, QObject* parent = nullptr);

    void setPollingEnabled(bool enabled) override;
    bool pollingEnabled() const override { return m_timer.isActive(); }
    const QTimer& timer() const { return m_timer; }

private:
    CanLink& m_link;
    QTimer m_timer;
};

}  // namespace tellvane
