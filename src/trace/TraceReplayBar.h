#pragma once

#include "logs/LogReplay.h"

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tellvane {

class CanLink;
class Clock;
class Dialogs;

// The bus trace's replay: a log played at its recorded timing (speed 0.1 to
// 10, looping, paused, a frame at a time) either into the program, where the
// monitor, the boards' windows and the trace take each frame as received, or
// onto the bus as the tool's own frames, which the technician confirms first.
// Frames keep their times relative to the log's first.
class TraceReplayBar : public QWidget {
    Q_OBJECT

public:
    TraceReplayBar(CanLink& link, Clock& clock, Dialogs& dialogs, QString folder, QWidget* parent = nullptr);
    ~TraceReplayBar() override;

    // A log is open and has not ended (it may be paused).
    bool playing() const;
    bool ontoBus() const { return m_ontoBus; }
    std::int64_t framesPlayed() const { return m_played; }
    // What waits for the next frame's time.
    const QTimer& timer() const { return *m_timer; }

    // Ends the replay where it is; nothing more is played.
    void stop();
    // Bytes of the log read at most per turn of the event loop, from the next log on.
    void setReadSlice(qint64 bytes) { m_replay.setReadSlice(bytes); }

private:
    void build();
    void chooseLog();
    void start(const QString& fileName, bool ontoBus);
    void run();
    void stepOnce();
    void play(const TraceFrame& frame);
    void takeWarnings();
    void showState();

    CanLink& m_link;
    Clock& m_clock;
    Dialogs& m_dialogs;
    QString m_folder;
    LogReplay m_replay;
    bool m_ontoBus = false;
    // Into the program: the time line of this replay, and where on it the
    // frame delivered last lies (the log's time, counted on over the passes).
    std::uint16_t m_line = 0;
    std::int64_t m_pass = 0;
    std::int64_t m_passOffsetUs = 0;
    std::int64_t m_lineUs = 0;
    // A frame is being handed to the program, which may run the event loop
    // meanwhile (a window closed, a button pressed): the player is not to be
    // closed, replaced or polled again under its own feet until it returns.
    bool m_delivering = false;
    bool m_closeAfterDelivery = false;
    // Step met a long stretch of no frames: it goes on at the next turn.
    bool m_stepPending = false;
    std::int64_t m_played = 0;
    std::int64_t m_leftOut = 0;     // remote and error frames, which the program and the tool do not send
    std::int64_t m_sendFailed = 0;
    std::int64_t m_badLines = 0;
    QString m_firstWarning;

    QPushButton* m_open = nullptr;
    QCheckBox* m_ontoBusBox = nullptr;
    QDoubleSpinBox* m_speed = nullptr;
    QCheckBox* m_loop = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_step = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_state = nullptr;
    QTimer* m_timer = nullptr;
};

}  // namespace tellvane
