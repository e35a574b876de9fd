#include "core/Failure.h"

#include <cerrno>

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
    case FailureCode::FileAlreadyExists: return "File already exists";
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

FailureCode fileFailureOf(int errorNumber, FailureCode otherwise)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
        return FailureCode::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EWOULDBLOCK:  // a lock another program holds
        return FailureCode::PermissionDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return FailureCode::DiskFull;
    case EEXIST:
        return FailureCode::FileAlreadyExists;
    default:
        return otherwise;
    }
}

const char* Failure::what() const noexcept
{
    return descriptionOf(m_code);
}

}  // namespace tellvane
