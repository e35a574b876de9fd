#include "diagnostics/ItemReading.h"

#include "core/Failure.h"
#include "core/Numbers.h"

#include <QRegularExpression>

namespace tellvane::config {

double readNumber(const QString& item)
{
    return leadingNumber(item);
}

std::uint8_t readByte(const QString& item)
{
    return toByte(leadingNumber(item));
}

double readStrictNumber(const QString& item)
{
    static const QRegularExpression decimal(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?\\s*$"));
    static const QRegularExpression radix(QStringLiteral("^\\s*&([hH][0-9a-fA-F]+|[oO][0-7]+)\\s*$"));
    if (!decimal.match(item).hasMatch() && !radix.match(item).hasMatch())
        throw Failure(FailureCode::TypeMismatch);
    return leadingNumber(item);
}

std::int32_t readWholeStrict(const QString& item)
{
    return toInt32(readStrictNumber(item));
}

std::int32_t colourFromCode(const QString& code)
{
    struct Named {
        const char* code;
        std::int32_t value;
    };
    static const Named named[] = {
        {"LG", 0x00FF00}, {"DG", 0x008000}, {"LY", 0x00FFFF}, {"DY", 0x00C0C0}, {"LR", 0x0000FF},
        {"DR", 0x0000C0}, {"LE", 0xC0C0C0}, {"DE", 0x808080}, {"BL", 0x000000}, {"WH", 0xFFFFFF},
    };
    if (code.size() == 2) {
        for (const Named& n : named) {
            if (code.compare(QLatin1String(n.code), Qt::CaseInsensitive) == 0)
                return n.value;
        }
    }
    return toInt32(leadingNumber(code));
}

}  // namespace tellvane::config
