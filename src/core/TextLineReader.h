#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tellvane {

// Reads a text file line by line without holding it whole: lines end in
// CR LF, LF or CR; a last line without an ending counts, an ending at the end
// of the file makes no empty line after it. Bytes are read one for one.
class TextLineReader {
public:
    // False when the file cannot be opened; error() then tells why.
    bool open(const QString& fileName);
    // Reads from an open device instead (owned by the caller, kept open
    // while reading).
    void open(QIODevice& device);
    bool atEnd();
    // The next line without its ending.
    QByteArray readLine();
    // The same, but no more than limit characters of it are kept: a longer
    // line comes back with limit + 1 characters and the rest of it unread, so
    // that a line without end cannot take the memory.
    QByteArray readLine(qsizetype limit);
    // The file's error; NoError when reading from a device without one.
    QFileDevice::FileError error() const { return m_device == &m_file ? m_file.error() : QFileDevice::NoError; }

private:
    bool fill();

    QFile m_file;
    QIODevice* m_device = &m_file;
    QByteArray m_buffer;  // kept between reads, so a long file is not one allocation a chunk
    qsizetype m_position = 0;
    bool m_pendingLf = false;  // a CR ended the last line; an LF right after it belongs to it
};

}  // namespace tellvane
