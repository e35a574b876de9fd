#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <vector>

namespace tellvane {

// Tells when the files a screen was read from change on disk, once the
// writing has settled: nothing has changed for kSettleMs, the first file (the
// configuration file) is there and not empty, and the bytes of the files
// differ from those watched. An editor that writes in steps, or that writes a
// new file and puts it in place of the old one, is heard once, after its last
// step; a file that is gone is waited for; a save of the same bytes (or a
// touch) is no change.
class ScreenFileWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 300;

    explicit ScreenFileWatcher(QObject* parent = nullptr);

    // Watches these files, as they are now, in place of any before; none
    // stops watching.
    void watch(const QStringList& files);
    const QStringList& files() const { return m_files; }
    // What waits for the writing to settle.
    const QTimer& settleTimer() const { return m_settle; }

signals:
    // The files differ from when they were watched and have settled.
    void settled();

private:
    struct State {
        bool exists = false;
        qint64 size = -1;
        QDateTime modified;
        QByteArray digest;  // of the bytes, where they were read
        bool sameStamp(const State& o) const { return exists == o.exists && size == o.size && modified == o.modified; }
    };
    // The bytes are read only where asked: the folder's changes are many.
    std::vector<State> states(bool withBytes) const;
    void noteChange();
    void settle();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QStringList m_files;
    std::vector<State> m_seen;  // as they were when watched
};

}  // namespace tellvane
