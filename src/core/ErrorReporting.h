#pragma once

#include "core/Failure.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tellvane {

// The one sink for errors and warnings: the error list in the program, a
// collector in tests. It is the only program-wide mutable value; the app
// installs it once at start-up.
using ErrorSink = std::function<void(const QString&)>;

void installErrorSink(ErrorSink sink);
void printError(const QString& message);

// Keeps every message reported while it lives, in order; with passOn, each
// also reaches the sink that was installed before, as it would have without.
class ErrorCapture {
public:
    ErrorCapture(QStringList& into, bool passOn);
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

private:
    ErrorSink m_previous;
};

// "An unexpected error 6'Overflow' occured within Name" + context.
QString unexpectedErrorText(const Failure& failure, const QString& operation,
                            const QString& context = QString());

// "An unexpected error 6'Overflow" + ending, for the few operations that word
// the end of their report themselves.
QString unexpectedErrorTextWithEnding(const Failure& failure, const QString& ending);

// Reports a failure under the operation's name; the usual handler body.
void reportFailure(const Failure& failure, const QString& operation,
                   const QString& context = QString());

}  // namespace tellvane
