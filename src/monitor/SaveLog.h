#pragma once

#include "core/Failure.h"

#include <QFile>
#include <QString>

namespace tellvane {


// The save log of the run: message lines appended with CR LF. Writes are
// buffered and flushed by the owner once per batch of messages.
class SaveLog {
public:
    enum class State { Closed, Open, Failed };

    // A log to append to, whoever made it.
    void setFileName(const QString& fileName)
    {
        m_fileName = fileName;
        m_claim = Claim::None;
    }
    // The run's own log: the first open makes a file no other program has,
    // under this name or, when that is taken (another instance started in the
    // same second), under the name with _2, _3 ... before ".txt"; fileName()
    // is then the name made, which later opens append to.
    void claimFileName(const QString& fileName);
    QString fileName() const { return m_fileName; }
    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }

    // Opens for appending (creating the file, and its folder when missing),
    // and locks it: a log another program writes to is not opened. Nothing
    // happens when already open. On failure the log stays failed, so lines
    // are dropped until it is closed and opened again, and the Failure of
    // the system's reason (fileFailureOf) is thrown.
    void open();
    // Flushes and closes; a failed flush is thrown after the file is closed.
    void close();
    // Appends one line and CR LF. Throws the Failure of the system's reason
    // (DiskFull, DeviceIoError ...) when the file cannot take it.
    void writeLine(const QString& line);
    // Writes the buffered lines to the disk.
    void flush();
    // The system's reason for the failure thrown last ("No space left on
    // device"), or the failure's own description when there is none.
    QString failureText(const Failure& failure) const;

private:
    [[noreturn]] void failWrite();
    [[noreturn]] void fail(FailureCode otherwise);
    enum class Claim { None, Pending, Made };

    QString m_fileName;
    QFile m_file;
    State m_state = State::Closed;
    Claim m_claim = Claim::None;
    int m_errorNumber = 0;  // errno of the failure thrown last
};

}  // namespace tellvane
