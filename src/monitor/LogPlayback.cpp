#include "monitor/LogPlayback.h"

#include "can/LinkInterfaces.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/LineListModel.h"
#include "monitor/MessageLine.h"

#include <cmath>
#include <limits>

namespace tellvane {

LogPlayback::LogPlayback(LineListModel& list, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_list(list), m_dialogs(dialogs)
{
    connect(&m_stepTimer, &QTimer::timeout, this, &LogPlayback::logFileStep);
    connect(&m_scanTimer, &QTimer::timeout, this, &LogPlayback::scanSlice);
}

namespace {
void reportOpenFailure(const LogReader& reader, const QString& fileName)
{
    // A pipe or a device may never end: only files are played back.
    reportFailure(Failure(reader.failure()), QStringLiteral("OpenReadLogFile"),
                  QStringLiteral(" with Filename=") + fileName
                      + (reader.notRegular() ? QStringLiteral(" (not a regular file)") : QString()));
}
}  // namespace

bool LogPlayback::openReadLogFile(const QString& fileName)
{
    cancelOpen();
    auto reader = std::make_unique<LogReader>();
    if (!reader->open(fileName)) {
        reportOpenFailure(*reader, fileName);
        return false;
    }
    adopt(std::move(reader));
    return true;
}

void LogPlayback::adopt(std::unique_ptr<LogReader> reader)
{
    m_reader = std::move(reader);
    m_line = m_lineSource ? m_lineSource() : 1;
    m_turns.reset();
}

bool LogPlayback::beginOpenReadLogFile(const QString& fileName)
{
    cancelOpen();
    m_opening = std::make_unique<LogReader>();
    if (!m_opening->start(fileName)) {
        reportOpenFailure(*m_opening, fileName);
        m_opening.reset();
        return false;
    }
    scanSlice();
    if (m_opening) {
        emit openProgress(m_opening->scannedBytes(), m_opening->sizeBytes());
        m_scanTimer.start(0);
    }
    return true;
}

void LogPlayback::scanSlice()
{
    if (!m_opening)
        return;
    const LogReader::Scan scanned = m_opening->scan(m_scanSlice);
    if (scanned == LogReader::Scan::More) {
        if (m_scanTimer.isActive())
            emit openProgress(m_opening->scannedBytes(), m_opening->sizeBytes());
        return;
    }
    m_scanTimer.stop();
    std::unique_ptr<LogReader> reader = std::move(m_opening);
    const QString fileName = reader->fileName();
    if (scanned == LogReader::Scan::Failed) {
        reportOpenFailure(*reader, fileName);
        emit openFinished(fileName, false);
        return;
    }
    adopt(std::move(reader));
    emit openFinished(fileName, true);
}

void LogPlayback::cancelOpen()
{
    m_scanTimer.stop();
    if (std::unique_ptr<LogReader> reader = std::move(m_opening))
        emit openFinished(reader->fileName(), false);
}

void LogPlayback::closeReadLogFile()
{
    m_reader->close();
}

void LogPlayback::setSelectedIndex(int index)
{
    if (index < -1 || index >= static_cast<int>(m_list.size()))
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    emit selectionChanged(index);
}

void LogPlayback::readLogFile(std::int16_t start)
{
    try {
        if (!m_reader->isOpen())
            return;
        if (start <= 0) {
            scrollByOne();
            return;
        }
        m_recordCount = m_reader->recordCount();
        emit recordCountChanged(m_recordCount);
        m_list.clear();
        m_selected = -1;
        for (int n = start; n < start + kWindowRecords; ++n)
            m_list.append(m_reader->record(n));
        m_list.flush();
        m_currentRecord = start + kWindowRecords - 1;
        emit selectionChanged(-1);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ReadLogFile"));
    }
}

void LogPlayback::scrollByOne()
{
    if (m_currentRecord < std::numeric_limits<std::int32_t>::max())
        ++m_currentRecord;
    if (m_currentRecord > m_recordCount)
        return;
    const QString next = m_reader->record(m_currentRecord);
    m_list.removeFirst();
    // The selection stays on its line, which is now one row higher.
    if (m_selected >= 0) {
        --m_selected;
        emit selectionChanged(m_selected);
    }
    m_list.appendNow(next);
}

void LogPlayback::logFileStep()
{
    try {
        const int selected = m_selected;
        if (selected < 7) {
            const int next = selected + 1;
            if (!m_list.textAt(next).isEmpty()) {
                setSelectedIndex(next);
                processLogMessage();
            } else {
                m_dialogs.beep();
                m_stepTimer.stop();
            }
            return;
        }
        readLogFile(0);
        int next = m_selected + 1;
        const int count = static_cast<int>(m_list.size());
        if (next >= count) {
            next = count - 1;
            m_dialogs.beep();
            m_stepTimer.stop();
        }
        setSelectedIndex(next);
        processLogMessage();
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("LogFileStep"));
    }
}

void LogPlayback::processLogMessage()
{
    try {
        const ParsedLine parsed = parseMessageLine(m_list.textAt(m_selected));
        switch (parsed.status) {
        case LineParse::Empty:
            return;
        case LineParse::WrongLength:
            printError(QStringLiteral("Error in logged message, wrong length!"));
            return;
        case LineParse::IncorrectDataLength:
            printError(QStringLiteral("Error in logged message, incorrect data length!"));
            return;
        case LineParse::Message:
            if (m_router) {
                // The line's own time goes with it, on the file's own time
                // line, for those that plot values over time; nothing else of
                // the routing reads it.
                CanMessage message = parsed.message;
                // A time beyond any a log holds counts as 0.
                double seconds = messageLineTime(m_list.textAt(m_selected)).value_or(0.0);
                if (!(seconds >= 0.0 && seconds <= 1e10))
                    seconds = 0.0;
                message.line = m_line;
                message.time = static_cast<double>(m_turns.unwrapUs(std::llround(seconds * 1e6))) / 1e6;
                m_router->processCanMessage(message);
            }
            return;
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ProcessLogMessage"));
    }
}

void LogPlayback::play()
{
    m_stepTimer.setInterval(kPlayIntervalMs);
    m_stepTimer.start();
}

void LogPlayback::runFullSpeed()
{
    m_stepTimer.setInterval(kFullSpeedIntervalMs);
    m_stepTimer.start();
}

void LogPlayback::stop()
{
    m_stepTimer.stop();
}

}  // namespace tellvane
