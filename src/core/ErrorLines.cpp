#include "core/ErrorLines.h"

namespace tellvane {

QStringList splitErrorMessage(const QString& message)
{
    constexpr int kLine = 65;
    QStringList lines;
    if (message.size() < kLine + 1) {
        lines.append(message);
        return lines;
    }
    lines.append(message.left(kLine));
    QString rest = message.mid(kLine);
    while (rest.size() >= 76) {
        lines.append(QStringLiteral("-->") + rest.left(kLine));
        rest = rest.mid(kLine);
    }
    if (!rest.isEmpty())
        lines.append(QStringLiteral("-->") + rest);
    return lines;
}

}  // namespace tellvane
