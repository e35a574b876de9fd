#include "adapters/DeviceThread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>

namespace tellvane {

DeviceThread& DeviceThread::instance()
{
    if (!s_instance) {
        s_instance = new DeviceThread;
        qAddPostRoutine(&DeviceThread::stop);
    }
    return *s_instance;
}

DeviceThread::Prompt::Prompt(DeviceThread& thread, Kind kind) : m_thread(thread), m_kind(kind)
{
    const std::lock_guard lock(m_thread.m_mutex);
    ++m_thread.m_prompts;
    m_thread.m_wake.notify_one();
}

DeviceThread::Prompt::~Prompt()
{
    const std::lock_guard lock(m_thread.m_mutex);
    --m_thread.m_prompts;
    if (m_kind == Wait)
        m_thread.m_lastWaitEnd = std::chrono::steady_clock::now();
}

void DeviceThread::run(const std::function<void()>& function)
{
    if (QThread::currentThread() == &m_thread) {
        function();
        handOverPending();
        return;
    }
    const Prompt prompt(*this, Prompt::Call);
    QMetaObject::invokeMethod(
        m_anchor,
        [&] {
            function();
            handOverPending();
        },
        Qt::BlockingQueuedConnection);
}

void DeviceThread::handOverLater(PendingHandOver* pending)
{
    if (std::find(m_pending.begin(), m_pending.end(), pending) == m_pending.end())
        m_pending.push_back(pending);
}

void DeviceThread::forget(PendingHandOver* pending)
{
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), pending), m_pending.end());
}

DeviceThread::DeviceThread()
{
    m_thread.setObjectName(QStringLiteral("CAN devices"));
    m_anchor = new QObject;
    m_anchor->moveToThread(&m_thread);
    // Runs in the new thread, whose event dispatcher exists by then.
    QObject::connect(
        &m_thread, &QThread::started, m_anchor,
        [this] {
            QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, m_anchor,
                             [this] { turnEnded(); });
        },
        Qt::DirectConnection);
    m_thread.start();
}

DeviceThread::~DeviceThread()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_one();
    }
    m_thread.quit();
    m_thread.wait();
    delete m_anchor;
}

void DeviceThread::stop()
{
    delete s_instance;
    s_instance = nullptr;
}

void DeviceThread::handOverPending()
{
    // A hand-over may note another; each is taken once.
    while (!m_pending.empty()) {
        PendingHandOver* pending = m_pending.front();
        m_pending.erase(m_pending.begin());
        pending->handOver();
    }
}

bool DeviceThread::mayRest()
{
    const std::lock_guard lock(m_mutex);
    return m_prompts == 0 && !m_stopping && std::chrono::steady_clock::now() - m_lastWaitEnd >= kAwakeAfterWait;
}

void DeviceThread::turnEnded()
{
    handOverPending();
    if (m_neverRest || !mayRest())
        return;
    // What the turn left to write (a send, frames a virtualcan server passes
    // on to other processes) goes out before the rest, not after.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    for (int pass = 0; pass < 4 && dispatcher->processEvents(QEventLoop::AllEvents); ++pass) {
    }
    handOverPending();
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, kRest, [this] { return m_prompts > 0 || m_stopping; });
}

}  // namespace tellvane
