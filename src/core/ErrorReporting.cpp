#include "core/ErrorReporting.h"

#include <QLoggingCategory>

#include <utility>

namespace tellvane {

Q_LOGGING_CATEGORY(lcErrors, "tellvane.errors")

namespace {
ErrorSink& sinkSlot()
{
    static ErrorSink sink;
    return sink;
}
}  // namespace

void installErrorSink(ErrorSink sink)
{
    sinkSlot() = std::move(sink);
}

ErrorCapture::ErrorCapture(QStringList& into, bool passOn) : m_previous(sinkSlot())
{
    sinkSlot() = [&into, passOn, previous = m_previous](const QString& message) {
        into.append(message);
        if (!passOn)
            return;
        if (previous)
            previous(message);
        else
            qCWarning(lcErrors).noquote() << message;
    };
}

ErrorCapture::~ErrorCapture()
{
    sinkSlot() = std::move(m_previous);
}

void printError(const QString& message)
{
    if (const auto& sink = sinkSlot())
        sink(message);
    else
        qCWarning(lcErrors).noquote() << message;
}

QString unexpectedErrorTextWithEnding(const Failure& failure, const QString& ending)
{
    return QStringLiteral("An unexpected error ") + QString::number(failure.number()) + QLatin1Char('\'')
        + failure.description() + ending;
}

QString unexpectedErrorText(const Failure& failure, const QString& operation, const QString& context)
{
    return unexpectedErrorTextWithEnding(failure, QStringLiteral("' occured within ") + operation + context);
}

void reportFailure(const Failure& failure, const QString& operation, const QString& context)
{
    printError(unexpectedErrorText(failure, operation, context));
}

}  // namespace tellvane
