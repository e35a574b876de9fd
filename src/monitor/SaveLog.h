#pragma once

#include <QFile>
#include <QString>

namespace tellvane {

class Failure;

// The save log of the run: message lines appended with CR LF. Writes are
// buffered and flushed by the owner once per batch of messages.
class SaveLog {
public:
    enum class State { Closed, Open, Failed };

    void setFileName(const QString& fileName) { m_fileName = fileName; }
    QString fileName() const { return m_fileName; }
    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }

    // Opens for appending (creating the file, and its folder when missing).
    // Nothing happens when already open. On failure the log stays failed, so
    // lines are dropped until it is closed and opened again, and
    // Failure(PathNotFound / PermissionDenied / DiskFull / BadFileNameOrNumber) is thrown.
    void open();
    // Flushes and closes; a failed flush is thrown after the file is closed.
    void close();
    // Appends one line and CR LF. Throws Failure(DiskFull / DeviceIoError) when
    // the file cannot take it.
    void writeLine(const QString& line);
    // Writes the buffered lines to the disk.
    void flush();
    // The system's reason for the failure thrown last ("No space left on
    // device"), or the failure's own description when there is none.
    QString failureText(const Failure& failure) const;

private:
    [[noreturn]] void failWrite();

    QString m_fileName;
    QFile m_file;
    State m_state = State::Closed;
    int m_errorNumber = 0;  // errno of the failure thrown last
};

}  // namespace tellvane
