#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <vector>

class QEvent;

namespace tellvane {
class Clock;
}

namespace tellvane::test {

// The program's own timers, run on the fake clock: a timer fires once the fake
// time since it was first seen running reaches its interval. Their ticks in
// real time are held back, so that a slow build (the sanitizers) sees the same
// session as a fast one. Installed on the application, it also counts the
// events delivered, which tells a settling loop when nothing is left to do.
class ProgramTimers final : public QObject {
public:
    explicit ProgramTimers(Clock& clock);
    ~ProgramTimers() override;

    // A timer of the program (once, however often it is named); one that goes
    // with its window is no longer watched.
    void watch(const QTimer& timer);

    // Notes the timers that started or stopped since the last look.
    void observe();
    // Sends each due timer its timer event, as the event loop would; true when one fired.
    bool fireDue();

    // Events delivered so far (any object); unchanged over a turn of the loop when it had nothing to do.
    std::uint64_t eventsSeen() const { return m_events; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Watched {
        QPointer<QTimer> timer;  // null once a window that owned it is gone
        std::optional<std::int64_t> sinceUs;  // fake time it was first seen running
        int timerId = 0;
    };

    Clock& m_clock;
    std::vector<Watched> m_watched;
    std::vector<const QEvent*> m_sending;  // the timer events this object delivers
    std::uint64_t m_events = 0;
};

}  // namespace tellvane::test
