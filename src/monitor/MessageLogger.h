#pragma once

#include "can/LinkInterfaces.h"
#include "monitor/SaveLog.h"

#include <QObject>

namespace tellvane {

class LineListModel;
class Failure;

// The monitor's three check boxes, read for every message.
struct MonitorOptions {
    bool displayLive = false;  // "Display Live CAN data"
    bool showAscii = false;    // "Show ASCII data"
    bool saveToFile = false;   // "Save Live CAN data to file"
};

// LogCANMessage: turns every message sent or received into its message line,
// adds it to the monitor list and appends it to the save log as the options say.
class MessageLogger : public QObject, public CanMessageSink {
    Q_OBJECT

public:
    static constexpr std::size_t kListLimit = 10000;

    explicit MessageLogger(LineListModel& list, QObject* parent = nullptr);

    MonitorOptions& options() { return m_options; }
    // In file mode the list belongs to the log file being played: lines of
    // messages sent meanwhile are not added to it.
    void setListAvailable(bool available) { m_listAvailable = available; }
    const MonitorOptions& options() const { return m_options; }
    SaveLog& saveLog() { return m_saveLog; }

    void logCanMessage(const CanMessage& message) override;

    // The save log follows "Save Live CAN data to file".
    void openSaveLogFile();
    void closeSaveLogFile();
    // Writes buffered lines out; runs by itself after each batch of messages.
    void flushSaveLog();

    int lastSaveError() const { return m_lastSaveError; }

signals:
    // The run's save log took another name than the one it was given.
    void saveFileNameChanged(const QString& fileName);

private:
    void reportFileError(const Failure& failure);
    void scheduleFlush();

    LineListModel& m_list;
    MonitorOptions m_options;
    SaveLog m_saveLog;
    QChar m_decimalSeparator;
    int m_lastSaveError = 0;
    bool m_flushScheduled = false;
    bool m_listAvailable = true;
};

}  // namespace tellvane
