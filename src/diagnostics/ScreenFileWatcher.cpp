#include "diagnostics/ScreenFileWatcher.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tellvane {

ScreenFileWatcher::ScreenFileWatcher(QObject* parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &ScreenFileWatcher::settle);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &ScreenFileWatcher::noteChange);
    // A file put in place of another (or made anew) shows in its folder.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ScreenFileWatcher::noteChange);
}

void ScreenFileWatcher::watch(const QStringList& files)
{
    m_settle.stop();
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_files.clear();
    for (const QString& file : files) {
        if (!file.isEmpty())
            m_files.append(QFileInfo(file).absoluteFilePath());
    }
    m_seen = states(true);
    QStringList folders;
    for (const QString& file : std::as_const(m_files)) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
        if (QFileInfo::exists(file))
            m_watcher.addPath(file);
    }
    if (!folders.isEmpty())
        m_watcher.addPaths(folders);
}

std::vector<ScreenFileWatcher::State> ScreenFileWatcher::states(bool withBytes) const
{
    std::vector<State> now;
    now.reserve(static_cast<std::size_t>(m_files.size()));
    for (const QString& file : m_files) {
        const QFileInfo info(file);
        State state = info.exists() ? State{true, info.size(), info.lastModified(), {}} : State{};
        QFile bytes(file);
        if (withBytes && state.exists && bytes.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            if (hash.addData(&bytes))
                state.digest = hash.result();
        }
        now.push_back(std::move(state));
    }
    return now;
}

void ScreenFileWatcher::noteChange()
{
    if (m_files.isEmpty())
        return;
    // A replaced file is a new one to the system: watch it again.
    for (const QString& file : std::as_const(m_files)) {
        if (QFileInfo::exists(file) && !m_watcher.files().contains(file))
            m_watcher.addPath(file);
    }
    const std::vector<State> now = states(false);
    if (!std::equal(now.begin(), now.end(), m_seen.begin(), m_seen.end(),
                    [](const State& a, const State& b) { return a.sameStamp(b); }))
        m_settle.start();  // again from now while the writing goes on
}

void ScreenFileWatcher::settle()
{
    const std::vector<State> now = states(true);
    // Gone, or emptied by an editor that has yet to write it again: the next
    // change is awaited.
    if (!now.front().exists || now.front().size == 0)
        return;
    const bool sameBytes = std::equal(now.begin(), now.end(), m_seen.begin(), m_seen.end(), [](const State& a, const State& b) {
        return a.exists == b.exists && a.digest == b.digest;
    });
    m_seen = now;
    if (!sameBytes)
        emit settled();
}

}  // namespace tellvane
