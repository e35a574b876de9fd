#pragma once

#include <QString>

#include <exception>

namespace tellvane {

// Run-time failure numbers. Every operation that can fail throws a Failure with
// one of these; the operation's single handler turns it into an error-list line.
enum class FailureCode : int {
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    DeviceIoError = 57,
    FileAlreadyExists = 58,
    DiskFull = 61,
    PermissionDenied = 70,
    PathNotFound = 76,
    InvalidPropertyValue = 380,
    PropertyNotSupported = 438,
};

// The fixed description of a failure number, as shown in the error list.
QString failureDescription(FailureCode code);

// The failure of opening or writing a file, by the system's reason (errno),
// so that one fault gives one number wherever a file is written; `otherwise`
// for a reason that has none of its own.
FailureCode fileFailureOf(int errorNumber, FailureCode otherwise);

class Failure : public std::exception {
public:
    explicit Failure(FailureCode code) : m_code(code) {}

    FailureCode code() const { return m_code; }
    int number() const { return static_cast<int>(m_code); }
    QString description() const { return failureDescription(m_code); }
    const char* what() const noexcept override;

private:
    FailureCode m_code;
};

}  // namespace tellvane
