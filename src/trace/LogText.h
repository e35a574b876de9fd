#pragma once

// What the log formats share underneath: lines of a file read in blocks, and
// numbers read and written on bytes (no QString per line: a million lines a
// second is the pace).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tellvane::tracetext {

// A file's lines, ended by LF, CR LF or CR. A line longer than the limit is
// passed over to its end and reported as too long, never kept.
class LineSource {
public:
    bool open(const QString& fileName);
    QString errorString() const { return m_file.errorString(); }
    // False at the end or when the file cannot be read on (failed()).
    bool next(std::string_view& line, bool& tooLong);
    std::int64_t lineNumber() const { return m_number; }
    bool failed() const { return m_failed; }

private:
    bool fill();

    QFile m_file;
    QByteArray m_block;
    qsizetype m_at = 0;
    qsizetype m_size = 0;
    QByteArray m_long;  // a line that runs over the end of a block
    std::int64_t m_number = 0;
    bool m_afterCr = false;
    bool m_failed = false;
};

// "12", "12.5", "1700000000.123456", "1e-06", "0.0" as whole microseconds,
// rounded half up; none for anything else, a sign, or more than a few
// hundred thousand years.
std::optional<std::int64_t> secondsToUs(std::string_view text);

int hexDigit(char c);
// All of the text as hexadecimal digits; none when empty, longer than 8 or not hex.
std::optional<std::uint32_t> hexNumber(std::string_view text);
std::optional<std::uint32_t> decimalNumber(std::string_view text);

// Splits off the next word (runs of blanks and tabs between words).
std::string_view nextWord(std::string_view& rest);

// One line being written, on the stack: the writers append it to their
// buffer whole, one copy a line.
struct LineText {
    char text[256];
    int size = 0;
    void put(char c) { text[size++] = c; }
    void put(const char* chars, int count)
    {
        for (int i = 0; i < count; ++i)
            text[size++] = chars[i];
    }
    void pad(int count, char c = ' ')
    {
        while (count-- > 0)
            text[size++] = c;
    }
    void appendTo(QByteArray& out) const { out.append(text, size); }
};

// "1700000000.123456": whole seconds, six decimals.
void appendSeconds(LineText& out, std::int64_t us);
void appendHexByte(LineText& out, std::uint8_t byte);
// Upper-case hex, at least `width` digits.
void appendHex(LineText& out, std::uint32_t value, int width);
void appendDecimal(LineText& out, std::int64_t value);

QString secondsText(std::int64_t us);

}  // namespace tellvane::tracetext
