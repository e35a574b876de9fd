#pragma once

#include "core/Failure.h"
#include "core/TextLineReader.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace tellvane {

// A log file read back record by record. A record is one line: it ends at
// CR LF, at a lone LF or at a lone CR, and a last line without an end is a
// record too. So the 47-byte records this program writes, the 48-byte ones
// older writers made for time stamps of 100 s and more, and files an editor
// saved with LF or CR line ends all read line for line.
//
// Opening scans the file once for its line ends and keeps where every 64th
// record starts; reading a record walks at most 63 lines from there (or one,
// reading on in order). The file itself is never held in memory.
//
// Only a regular file is read, and only as far as it reached when opened: a
// pipe or a device may never end. The scan can go in slices (start(), then
// scan() until it is done), so that a window stays live over a big file.
class LogReader {
public:
    static constexpr std::int32_t kCheckpointEvery = 64;
    // A record's text is cut here: a message line is 45 characters, and a
    // file without line ends must not become one item of its whole length.
    static constexpr qsizetype kMaxRecordChars = 1024;

    enum class Scan { More, Done, Failed };

    // Opens and scans the whole file; closes any file open before. False when
    // the file cannot be opened or read through; then failure() says why.
    bool open(const QString& fileName);
    // Opens the file for a scan in slices; false, with failure(), as open().
    bool start(const QString& fileName);
    // Scans on over at most `bytes` of the file. Failed closes the file.
    Scan scan(qint64 bytes);
    qint64 scannedBytes() const { return m_offset; }
    qint64 sizeBytes() const { return m_size; }
    // Neither a regular file nor a folder: a pipe, a device, a socket.
    bool notRegular() const { return m_notRegular; }

    void close();
    // Open and scanned to its end.
    bool isOpen() const { return m_file.isOpen() && m_scanned; }
    QString fileName() const { return m_file.fileName(); }
    FailureCode failure() const { return m_failure; }

    std::int32_t recordCount() const { return isOpen() ? m_count : 0; }
    // The record's characters without its line end; empty beyond the end.
    // Throws Failure(DeviceIoError) when the file cannot be read.
    QString record(std::int64_t number);

private:
    // Where a record starts. After a lone CR the start is the byte after it,
    // and an LF found there completes that CR instead.
    struct Place {
        std::int64_t number = 1;
        std::int64_t offset = 0;
        bool afterCr = false;
    };

    QFile m_file;
    TextLineReader m_lines;  // over m_file: the scan, then the records
    FailureCode m_failure = FailureCode::FileNotFound;
    bool m_notRegular = false;
    bool m_scanned = false;
    // The scan's place: the record being read, the bytes passed.
    std::int64_t m_number = 1;
    qint64 m_offset = 0;
    qint64 m_size = 0;
    std::int32_t m_count = 0;
    std::vector<Place> m_checkpoints;  // records 1, 65, 129, ...
    Place m_next;                      // the record after the last one read
};

}  // namespace tellvane
