#include "core/Failure.h"

namespace tellvane {

namespace {
const char* descriptionOf(FailureCode code)
{
    switch (code) {
    case FailureCode::Overflow: return "Overflow";
    case FailureCode::SubscriptOutOfRange: return "Subscript out of range";
    case FailureCode::TypeMismatch: return "Type mismatch";
    case FailureCode::BadFileNameOrNumber: return "Bad file name or number";
    case FailureCode::FileNotFound: return "File not found";
    case FailureCode::DeviceIoError: return "Device I/O error";
    case FailureCode::DiskFull: return "Disk full";
    case FailureCode::PermissionDenied: return "Permission denied";
    case FailureCode::PathNotFound: return "Path not found";
    case FailureCode::InvalidPropertyValue: return "Invalid property value";
    case FailureCode::PropertyNotSupported: return "Object doesn't support this property";
    }
    return "Application-defined or object-defined error";
}
}  // namespace

QString failureDescription(FailureCode code)
{
    return QString::fromLatin1(descriptionOf(code));
}

const char* Failure::what() const noexcept
{
    return descriptionOf(m_code);
}

}  // namespace tellvane
