#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>

namespace tellvane {

// Cuts a file (or any device) into lines without holding it whole, for every
// reader of text here: lines end in LF, CR LF or a lone CR; a last line
// without an ending counts, an ending at the end of the file makes no empty
// line after it. Bytes are read one for one, a block at a time.
//
// A line longer than the limit comes back cut to it, marked too long, and the
// rest of it is passed over: a line without end cannot take the memory. The
// reading can go in slices (allow()), stop at a place in the file (setEnd()),
// and start again at a line's start found before (seek()), so that a window
// never waits on a big file.
class TextLineReader {
public:
    // What the start of the file is.
    enum class Start {
        AsIs,               // every byte is the first line's
        SkipByteOrderMark,  // a UTF-8 byte-order mark before the first line is no part of it
        TextOnly,           // that, and a file of UTF-16 text (or no text at all) is refused
    };
    static constexpr qint64 kDefaultBlockBytes = 64 * 1024;

    // False when the file cannot be opened or is refused; errorString() then
    // tells why. Closes a file opened before.
    bool open(const QString& fileName, Start start = Start::AsIs);
    // Reads from an open device instead (owned by the caller, kept open while
    // reading), from where it stands; false only when refused.
    bool open(QIODevice& device, Start start = Start::AsIs);
    QString errorString() const;
    // The file's error; NoError when reading from a device that is no file.
    QFileDevice::FileError error() const;

    // How much is read from the device at a time.
    void setBlockBytes(qint64 bytes) { m_blockBytes = bytes > 0 ? bytes : kDefaultBlockBytes; }
    // What becomes of a line cut to the limit.
    enum class Cut {
        ReadsOn,     // it is given once passed over to its end, so that offset() is the next line's
        StopsThere,  // it is given at once, its rest passed over on the next call: a device
                     // that never ends cannot hold the reading in a line without end
    };
    // The longest line kept whole.
    void setLineLimit(qsizetype limit, Cut cut = Cut::ReadsOn)
    {
        m_limit = limit;
        m_cut = cut;
    }

    // The next line without its ending, valid until the next call; tooLong
    // when it was cut to the limit. False at the end, when paused, or when
    // the device cannot be read on (failed()).
    bool next(std::string_view& line, bool& tooLong);
    // Lines given so far.
    std::int64_t lineNumber() const { return m_number; }
    bool failed() const { return m_failed; }

    // How many more bytes next() may take from the device; once they are
    // taken it gives false with paused() set, and goes on from there when
    // allowed more. Negative: no bound.
    void allow(qint64 bytes)
    {
        m_allowed = bytes;
        m_paused = false;
    }
    bool paused() const { return m_paused; }
    // The reading ends at this offset of the device as at its end (negative:
    // at the end only).
    void setEnd(qint64 offset) { m_end = offset; }
    // Asked before each block is read, when set: false ends the reading
    // there, as at the end of the file. The function must outlive the reader.
    void setCheck(const std::function<bool()>* check) { m_check = check; }

    // The device's offset up to which it has been read.
    qint64 bytesRead() const { return m_readTo; }
    // Where the line after the last one given starts, and whether that line
    // ended in a CR (so that an LF at the offset completes it, no line of its own).
    qint64 offset() const { return m_readTo - (m_size - m_at); }
    bool afterCr() const { return m_afterCr; }
    // Goes on reading from a line's start found before (offset() and afterCr()).
    bool seek(qint64 offset, bool afterCr);

    // Line by line as copies, for the few lines of an S-record file. Not at
    // the end while the rest of a line cut short is still to be passed over.
    bool atEnd();
    QByteArray readLine();
    // No more than limit characters of the line are kept: a longer line comes
    // back cut to limit + 1 characters, the rest of it not yet read (Cut::StopsThere).
    QByteArray readLine(qsizetype limit);

private:
    void reset();
    bool fill();

    QFile m_file;
    QIODevice* m_device = &m_file;
    QByteArray m_block;  // kept between reads, so a long file is not one allocation a block
    qsizetype m_at = 0;
    qsizetype m_size = 0;
    qsizetype m_lf = -1;  // where the block's next LF is (m_size: none), when not before m_at
    QByteArray m_long;    // a line that runs over the end of a block, or one cut to the limit
    qint64 m_blockBytes = kDefaultBlockBytes;
    qsizetype m_limit = std::numeric_limits<qsizetype>::max() / 2;
    Cut m_cut = Cut::ReadsOn;
    bool m_skipping = false;  // the rest of a line that stopped at the limit is passed over
    std::int64_t m_number = 0;
    qint64 m_readTo = 0;
    qint64 m_end = -1;
    const std::function<bool()>* m_check = nullptr;
    bool m_afterCr = false;  // a CR ended the last line; an LF right after it belongs to it
    bool m_failed = false;
    // The line in hand, kept over a pause: it has characters in a block
    // before this one; it is too long.
    bool m_started = false;
    bool m_tooLong = false;
    qint64 m_allowed = -1;
    bool m_paused = false;
    QString m_refusal;  // why the file is no text to read
};

}  // namespace tellvane
