#include "app/ErrorLog.h"

#include "core/ErrorLines.h"

namespace tellvane {

ErrorLog::ErrorLog(QObject* parent)
    : QObject(parent), m_lines(LineListModel::Bound::DropOldest, kLineLimit)
{
}

void ErrorLog::print(const QString& message)
{
    // PrintError runs inside other operations' error handlers: the count
    // saturates rather than overflowing.
    if (m_count < kCountLimit)
        ++m_count;
    emit countChanged(m_count);
    emit showRequested();
    const QStringList parts = splitErrorMessage(message);
    for (const QString& line : parts)
        m_lines.append(line);
}

void ErrorLog::clear()
{
    m_lines.clear();
    m_count = 0;
    emit countChanged(0);
}

void ErrorLog::windowClosed()
{
    m_lines.clear();
}

}  // namespace tellvane
