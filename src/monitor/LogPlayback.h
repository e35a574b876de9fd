#pragma once

#include "can/TurnCounter.h"
#include "monitor/LogReader.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

namespace tellvane {

class Dialogs;
class LineListModel;
class MessageRouter;

// Plays a log file back: fifteen records at a time in the monitor list, one
// step at a time or on the step timer, each stepped line parsed and handed to
// the same routing as a received message.
class LogPlayback : public QObject {
    Q_OBJECT

public:
    static constexpr int kWindowRecords = 15;
    static constexpr int kPlayIntervalMs = 100;
    static constexpr int kFullSpeedIntervalMs = 10;

    LogPlayback(LineListModel& list, Dialogs& dialogs, QObject* parent = nullptr);

    void setRouter(MessageRouter* router) { m_router = router; }
    // Gives each file opened a time line of its own (CanMessage::line); 1 without.
    void setLineSource(std::function<std::uint16_t()> source) { m_lineSource = std::move(source); }

    // Opens a file for reading in place of the one before. A file that cannot
    // be opened is reported, and the one before stays as it was: the list
    // never shows lines of a file other than the one named.
    bool openReadLogFile(const QString& fileName);
    // The same, with the file scanned a slice per turn of the event loop: a
    // first slice at once, then one per tick of the scan timer. False when
    // the file cannot be opened (reported); else openFinished() follows, at
    // once for a small file. A scan in hand is given up first.
    bool beginOpenReadLogFile(const QString& fileName);
    // Gives up the scan in hand: the file before stays as it was.
    void cancelOpen();
    bool opening() const { return m_opening != nullptr; }
    // Bytes a scan reads per turn.
    void setScanSlice(qint64 bytes) { m_scanSlice = bytes; }
    const QTimer& scanTimer() const { return m_scanTimer; }
    void closeReadLogFile();
    bool readFileOpen() const { return m_reader->isOpen(); }

    // start > 0: load the fifteen records from start; start <= 0: scroll by one.
    void readLogFile(std::int16_t start);
    void logFileStep();
    void processLogMessage();

    int selectedIndex() const { return m_selected; }
    void setSelectedIndex(int index);

    std::int32_t recordCount() const { return m_recordCount; }
    std::int32_t currentRecord() const { return m_currentRecord; }

    void play();
    void runFullSpeed();
    void stop();
    const QTimer& stepTimer() const { return m_stepTimer; }

signals:
    void selectionChanged(int index);
    void recordCountChanged(std::int32_t count);
    // A scan went on beyond its first slice, or ended (done of size bytes).
    void openProgress(qint64 done, qint64 size);
    // The scan ended: the file is open in place of the one before, or not
    // (cancelled, or it could not be read; that is reported).
    void openFinished(const QString& fileName, bool opened);

private:
    void scrollByOne();
    void scanSlice();
    // The file scanned is the one read from now on.
    void adopt(std::unique_ptr<LogReader> reader);

    LineListModel& m_list;
    Dialogs& m_dialogs;
    MessageRouter* m_router = nullptr;
    std::function<std::uint16_t()> m_lineSource;
    std::uint16_t m_line = 1;
    TurnCounter m_turns;
    std::unique_ptr<LogReader> m_reader = std::make_unique<LogReader>();
    QTimer m_stepTimer;
    // A big file is scanned a few megabytes a turn.
    static constexpr qint64 kScanSlice = 8 << 20;
    std::unique_ptr<LogReader> m_opening;
    QTimer m_scanTimer;
    qint64 m_scanSlice = kScanSlice;
    std::int32_t m_recordCount = 0;
    std::int32_t m_currentRecord = 0;
    int m_selected = -1;
};

}  // namespace tellvane
