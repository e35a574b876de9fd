#pragma once

#include "diagnostics/DecodedValue.h"
#include "diagnostics/IndicatorInfo.h"
#include "plot/TimeLine.h"
#include "plot/ValueScale.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace tellvane {

// Record: every value a board's screen decodes, written as a row of CSV
// (time, name, raw, value; see ValueCsv.h and ValueScale) from open to close,
// on one time line (the first value's: see TimeLine). Rows are written a
// block at a time, and at least once a second of the frames' time. A file
// that cannot be made or written is reported, and the recording ends.
class ValueRecorder {
public:
    static constexpr qsizetype kBlockBytes = 1 << 16;
    static constexpr std::int64_t kFlushUs = 1'000'000;

    // What a row says of a value, by its number (DecodedValue::cntrlIndex):
    // its name, and how its value comes from the raw number (as a plot's
    // series has it).
    struct Column {
        QByteArray name;
        ValueScale scale;
    };
    // The indicators of the screen recorded: their captions name the rows.
    explicit ValueRecorder(const std::vector<IndicatorInfo>& indicators);
    // Values named and scaled by these columns (the signals of databases).
    explicit ValueRecorder(std::vector<Column> columns);
    // The screen was built again: its indicators name the rows from now on.
    void setIndicators(const std::vector<IndicatorInfo>& indicators);
    ~ValueRecorder();

    ValueRecorder(const ValueRecorder&) = delete;
    ValueRecorder& operator=(const ValueRecorder&) = delete;

    // Makes the file and writes the header. Never over a file that exists:
    // then the name with -2, -3 ... before ".csv" (see createOwnFile).
    bool open(const QString& fileName);
    void record(const DecodedValue& value);
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    std::int64_t rows() const { return m_rows; }
    QString fileName() const { return m_file.fileName(); }
    const TimeLine& timeLine() const { return m_timeLine; }

private:
    bool writeBlock();
    void fail(int errorNumber);

    QFile m_file;
    std::vector<Column> m_columns;  // by control number
    TimeLine m_timeLine;
    QByteArray m_block;
    std::int64_t m_rows = 0;
    std::int64_t m_lastWriteUs = 0;
};

}  // namespace tellvane
