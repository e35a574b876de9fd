#pragma once

#include <QFile>
#include <QString>

#include <cstdint>

namespace tellvane {

// A log file read back as fixed records of 47 bytes (a 45-character message
// line and CR LF). Record n, counting from 1, starts at byte (n - 1) x 47; a
// record beyond the end reads as an empty line. Only single records are read,
// never the whole file.
class LogReader {
public:
    // Closes any file open before. False when the file cannot be opened.
    bool open(const QString& fileName);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

    // The file length divided by 47, rounded to the nearest whole number.
    std::int32_t recordCount() const;
    // The record's 47 characters (fewer for a short last record); empty beyond the end.
    // Throws Failure(DeviceIoError) when the file cannot be read.
    QString record(std::int64_t number);

    static std::int32_t recordCountFor(std::int64_t fileBytes);

private:
    QFile m_file;
};

}  // namespace tellvane
