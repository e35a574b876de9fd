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

private:
    void scrollByOne();

    LineListModel& m_list;
    Dialogs& m_dialogs;
    MessageRouter* m_router = nullptr;
    std::function<std::uint16_t()> m_lineSource;
    std::uint16_t m_line = 1;
    TurnCounter m_turns;
    std::unique_ptr<LogReader> m_reader = std::make_unique<LogReader>();
    QTimer m_stepTimer;
    std::int32_t m_recordCount = 0;
    std::int32_t m_currentRecord = 0;
    int m_selected = -1;
};

}  // namespace tellvane
