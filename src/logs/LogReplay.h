#pragma once

#include "logs/TraceLog.h"
#include "logs/TraceReplay.h"

#include <QString>

#include <memory>
#include <vector>

namespace tellvane {

class CanLink;

// What became of a played frame sent onto the bus.
enum class ReplaySend { Sent, NotSendable, Failed };
// Sends a played frame on the link as the tool's own. The tool sends data
// frames only: a remote or error frame is NotSendable.
ReplaySend sendReplayedFrame(CanLink& link, const TraceFrame& frame);

// A log file played at its recorded timing: the reader its extension names,
// the player, and each frame's time made relative to the first frame of the
// log (of every pass, when looping). The reader's warnings wait for the caller
// to take them; a loop warns of a line in its first pass only.
class LogReplay {
public:
    using Deliver = TraceReplay::Deliver;

    LogReplay(Clock& clock, Deliver deliver) : m_clock(clock), m_deliver(std::move(deliver)) {}

    // False, with errorString(), for an extension of no log format or a file
    // that cannot be opened; the log played before is then gone.
    bool open(const QString& fileName);
    // A window plays only regular files (a pipe or a device may never end)
    // and reads at most this many bytes a turn (see TraceLogReader); set
    // before open(). A command reads pipes, and any stretch at once.
    void setRegularFilesOnly(bool only) { m_regularOnly = only; }
    void setReadSlice(qint64 bytes) { m_readSlice = bytes; }
    bool isOpen() const { return m_player != nullptr; }
    // Ends the replay; the file's name and why it could not be read stay.
    void close();
    QString fileName() const { return m_fileName; }
    // Why the log cannot be opened, or why it could not be read to its end.
    QString errorString() const { return m_reader ? m_reader->errorString() : m_error; }

    // Valid while isOpen().
    TraceReplay& player() { return *m_player; }
    const TraceReplay& player() const { return *m_player; }

    std::vector<TraceLogWarning> takeWarnings();
    // Warnings of the first pass beyond those kept for the caller: only counted.
    std::int64_t droppedWarnings() const
    {
        return m_repeating || !m_reader ? m_dropped : m_reader->droppedWarnings();
    }
    // The reader's check (TraceLogReader::setCheck), for this log and every
    // one opened after it.
    void setCheck(std::function<bool()> check);
    std::int64_t bytesRead() const { return m_reader ? m_reader->bytesRead() : 0; }
    // The log's line of the frame delivered last.
    std::int64_t lineNumber() const { return m_reader ? m_reader->lineNumber() : 0; }

private:
    Clock& m_clock;
    Deliver m_deliver;
    QString m_fileName;
    QString m_error;
    std::unique_ptr<TraceLogReader> m_reader;
    std::unique_ptr<TraceReplay> m_player;
    std::function<bool()> m_check;
    std::vector<TraceLogWarning> m_warnings;  // of passes before this one, not yet taken
    std::int64_t m_firstUs = 0;
    std::int64_t m_dropped = 0;  // of the first pass, once it ended
    bool m_first = true;
    bool m_repeating = false;  // a pass after the first: its warnings were given
    bool m_regularOnly = false;
    qint64 m_readSlice = 0;
};

}  // namespace tellvane
