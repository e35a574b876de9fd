#include "plot/TimeLine.h"

#include <QLocale>
#include <QStringList>

namespace tellvane {

namespace {
QString values(std::uint64_t n)
{
    return QLocale().toString(static_cast<qulonglong>(n)) + (n == 1 ? QStringLiteral(" value") : QStringLiteral(" values"));
}
}  // namespace

QString TimeLine::leftOutText() const
{
    QStringList parts;
    if (m_leftOutFromBus > 0)
        parts << values(m_leftOutFromBus) + QStringLiteral(" from the bus");
    if (m_leftOutFromLogs > 0)
        parts << values(m_leftOutFromLogs)
                     + (m_line && *m_line != 0 ? QStringLiteral(" of another played log") : QStringLiteral(" of a played log"));
    return parts.isEmpty() ? QString() : parts.join(QStringLiteral(" and ")) + QStringLiteral(" left out");
}

QString TimeLine::followedText() const
{
    if (!m_line)
        return {};
    return *m_line == 0 ? QStringLiteral("the bus") : QStringLiteral("a played log");
}

}  // namespace tellvane
