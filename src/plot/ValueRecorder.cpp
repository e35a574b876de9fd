#include "plot/ValueRecorder.h"

#include "core/ErrorReporting.h"
#include "core/OutputFile.h"
#include "plot/ValueCsv.h"

#include <cerrno>

namespace tellvane {

ValueRecorder::ValueRecorder(const std::vector<IndicatorInfo>& indicators)
{
    setIndicators(indicators);
    m_block.reserve(kBlockBytes + 256);
}

ValueRecorder::ValueRecorder(std::vector<Column> columns) : m_columns(std::move(columns))
{
    m_block.reserve(kBlockBytes + 256);
}

void ValueRecorder::setIndicators(const std::vector<IndicatorInfo>& indicators)
{
    m_columns.clear();
    for (const IndicatorInfo& info : indicators) {
        if (info.cntrlIndex < 0)
            continue;
        const auto index = static_cast<std::size_t>(info.cntrlIndex);
        if (m_columns.size() <= index)
            m_columns.resize(index + 1);
        m_columns[index] = {csv::field(info.caption), ValueScale::of(info)};
    }
}

ValueRecorder::~ValueRecorder()
{
    close();
}

bool ValueRecorder::open(const QString& fileName)
{
    close();
    m_rows = 0;
    m_timeLine = TimeLine();
    int errorNumber = 0;
    if (createOwnFile(m_file, fileName, QLatin1Char('-'), errorNumber).isEmpty()) {
        reportFailure(Failure(fileFailureOf(errorNumber, FailureCode::BadFileNameOrNumber)), QStringLiteral("Record"),
                      QStringLiteral(" with Filename=") + fileName);
        return false;
    }
    m_block = QByteArray(csv::kHeader);
    m_lastWriteUs = 0;
    return writeBlock();
}

void ValueRecorder::record(const DecodedValue& value)
{
    if (!m_file.isOpen() || !m_timeLine.take(value.time.line))
        return;
    const std::int64_t timeUs = value.time.us;
    const auto index = static_cast<std::size_t>(value.cntrlIndex);
    if (value.cntrlIndex >= 0 && index < m_columns.size() && !m_columns[index].name.isEmpty()) {
        const Column& c = m_columns[index];
        csv::appendRow(m_block, timeUs, c.name, value.raw, c.scale.valueOf(value.raw),
                       c.scale.kind() == ValueScale::Kind::Hex);
    } else {
        csv::appendRow(m_block, timeUs, QByteArrayLiteral("Control ") + QByteArray::number(value.cntrlIndex), value.raw,
                       value.value);
    }
    ++m_rows;
    if (m_block.size() >= kBlockBytes || timeUs - m_lastWriteUs >= kFlushUs || timeUs < m_lastWriteUs) {
        m_lastWriteUs = timeUs;
        writeBlock();
    }
}

bool ValueRecorder::writeBlock()
{
    if (m_block.isEmpty())
        return true;
    errno = 0;
    const bool written = m_file.write(m_block) == m_block.size() && m_file.flush();
    m_block.clear();
    if (!written)
        fail(errno);
    return written;
}

void ValueRecorder::fail(int errorNumber)
{
    const QString name = m_file.fileName();
    m_file.close();
    reportFailure(Failure(fileFailureOf(errorNumber, FailureCode::DeviceIoError)), QStringLiteral("Record"),
                  QStringLiteral(" with Filename=") + name);
}

void ValueRecorder::close()
{
    if (!m_file.isOpen())
        return;
    if (writeBlock())
        m_file.close();
}

}  // namespace tellvane
