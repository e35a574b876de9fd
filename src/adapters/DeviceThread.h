#pragma once

#include <QThread>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class QObject;

namespace tellvane {

// What a device thread's turn leaves to be handed over to an adapter's queue.
class PendingHandOver {
public:
    virtual void handOver() = 0;

protected:
    ~PendingHandOver() = default;
};

// The one thread of the process in which CAN devices and serial ports live.
// It is made on first use and stopped when the application object goes.
//
// A device reads what arrives frame by frame, and at a full bus waking the
// thread for each frame costs more than everything else the program does with
// it (the poll of the window thread takes what came every 25 ms anyway). So
// the thread rests a little before each wait for more, and what its devices
// read meanwhile is handed over once per turn. It does not rest while a call
// from another thread runs or a caller waits for records, nor for a while
// after a wait: a process in a dialogue with a board (a download, the bench
// answering one) keeps the thread as prompt as if it never rested.
class DeviceThread {
public:
    static constexpr std::chrono::milliseconds kRest{10};
    static constexpr std::chrono::milliseconds kAwakeAfterWait{250};

    static DeviceThread& instance();

    // Keeps the thread awake while it lives; a wait for records keeps it
    // awake for kAwakeAfterWait more.
    class Prompt {
    public:
        enum Kind { Call, Wait };
        Prompt(DeviceThread& thread, Kind kind);
        ~Prompt();
        Prompt(const Prompt&) = delete;
        Prompt& operator=(const Prompt&) = delete;

    private:
        DeviceThread& m_thread;
        Kind m_kind;
    };

    // Runs a function in the thread and waits for it; what it brought in is
    // queued by the time it returns.
    void run(const std::function<void()>& function);

    // In the thread: hand over at the end of this turn.
    void handOverLater(PendingHandOver* pending);
    // In the thread: from now on the thread never rests.
    void stayAwake() { m_neverRest = true; }
    // In the thread: one that goes hands nothing over.
    void forget(PendingHandOver* pending);

private:
    DeviceThread();
    ~DeviceThread();

    static void stop();
    void handOverPending();
    bool mayRest();
    // Before each wait for more: hand over, then rest unless someone needs the thread.
    void turnEnded();

    static inline DeviceThread* s_instance = nullptr;
    QThread m_thread;
    QObject* m_anchor = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_prompts = 0;                       // guarded by m_mutex
    bool m_stopping = false;                 // guarded by m_mutex
    std::chrono::steady_clock::time_point m_lastWaitEnd;  // guarded by m_mutex
    std::vector<PendingHandOver*> m_pending;  // the thread's own
    bool m_neverRest = false;                 // the thread's own
};

}  // namespace tellvane
