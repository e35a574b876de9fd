#include "monitor/MessageLogger.h"

#include "core/ErrorReporting.h"
#include "core/LineListModel.h"
#include "monitor/MessageLine.h"

#include <QTimer>

namespace tellvane {

MessageLogger::MessageLogger(LineListModel& list, QObject* parent)
    : QObject(parent), m_list(list), m_decimalSeparator(timeDecimalSeparator())
{
}

void MessageLogger::logCanMessage(const CanMessage& message)
{
    if (!m_options.displayLive && !m_options.saveToFile)
        return;  // called for every message on the bus: no work when nobody looks
    try {
        const QString line = formatMessageLine(message, m_decimalSeparator);
        if (m_options.displayLive && m_listAvailable)
            m_list.append(monitorListItem(line, m_options.showAscii ? asciiText(message) : QString()));
        if (m_options.saveToFile && m_saveLog.isOpen()) {
            m_saveLog.writeLine(line);
            scheduleFlush();
        }
    } catch (const Failure& failure) {
        reportFileError(failure);
    }
}

void MessageLogger::openSaveLogFile()
{
    try {
        const QString asked = m_saveLog.fileName();
        m_saveLog.open();
        if (m_saveLog.fileName() != asked) {
            printError(QStringLiteral("The save log file ") + asked
                       + QStringLiteral(" is another program's: this run saves to ") + m_saveLog.fileName());
            emit saveFileNameChanged(m_saveLog.fileName());
        }
    } catch (const Failure& failure) {
        reportFileError(failure);
    }
}

void MessageLogger::closeSaveLogFile()
{
    try {
        m_saveLog.close();
    } catch (const Failure& failure) {
        reportFileError(failure);
    }
}

void MessageLogger::flushSaveLog()
{
    m_flushScheduled = false;
    try {
        m_saveLog.flush();
    } catch (const Failure& failure) {
        reportFileError(failure);
    }
}

void MessageLogger::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QTimer::singleShot(0, this, &MessageLogger::flushSaveLog);
}

void MessageLogger::reportFileError(const Failure& failure)
{
    // The same failure on every message is reported once, until another one occurs.
    if (failure.number() == m_lastSaveError)
        return;
    m_lastSaveError = failure.number();
    printError(QStringLiteral("A file error ") + QString::number(failure.number()) + QStringLiteral(" occurred '")
               + failure.description()
               + QStringLiteral("' while trying to save to log file.  Make sure \\SavedData directory exists"));
}

}  // namespace tellvane
